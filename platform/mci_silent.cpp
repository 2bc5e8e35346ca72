// The silent music output: device states without sound. Time runs on the
// high-resolution counter, so a virtual clock moves positions too.
#include <sys/stat.h>

#include "platform/clock.h"
#include "platform/mci_output.h"

namespace platform::mci {
namespace {

int64_t NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<int64_t>(static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart));
}

class SilentTrack final : public Track {
public:
    MCIERROR Play(int64_t fromMs) override {
        playing_ = true;
        paused_ = false;
        startedAt_ = NowMs() - fromMs;
        return 0;
    }
    void Pause() override {
        if (!playing_) return;
        heldAt_ = PositionMs();
        playing_ = false;
        paused_ = true;
    }
    void Resume() override {
        if (paused_) Play(heldAt_);
    }
    void Stop() override {
        heldAt_ = PositionMs();
        playing_ = paused_ = false;
    }
    bool Playing() const override { return playing_; }
    bool Paused() const override { return paused_; }
    int64_t PositionMs() const override { return playing_ ? NowMs() - startedAt_ : heldAt_; }
    int64_t LengthMs() const override { return 0; }
    void WaitUntilDone() override {}

private:
    bool playing_ = false;
    bool paused_ = false;
    int64_t startedAt_ = 0;
    int64_t heldAt_ = 0;
};

}  // namespace

std::unique_ptr<Track> OpenSilentTrack(const std::string& path, MCIERROR* error) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) {
        *error = MCIERR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = MCIERR_INVALID_FILE;
        return nullptr;
    }
    return std::make_unique<SilentTrack>();
}

}  // namespace platform::mci
