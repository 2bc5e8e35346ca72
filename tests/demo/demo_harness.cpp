#include "demo_harness.h"

#include <cmath>
#include <memory>

#include "demo/clock.h"
#include "demo/winmain.h"
#include "gfx/presenter.h"
#include "platform/clock.h"
#include "platform/mci.h"
#include "platform/random.h"

namespace demo_test {
namespace {

constexpr int64_t kCountsPerSecond = 1000000;

int64_t Counts(double seconds) { return static_cast<int64_t>(std::llround(seconds * kCountsPerSecond)); }

class ScriptedPresenter : public gfx::Presenter {
public:
    ScriptedPresenter(const RunSettings& settings, RunResult* result) : settings_(settings), result_(result) {}

    void Drawn(demo::SceneObject object) { pending_.push_back(object); }

    HRESULT Present(const gfx::PresentedFrame& frame) override {
        Frame record;
        record.clock = getTheTime();
        record.state = demo_state;
        record.draws = std::move(pending_);
        pending_.clear();
        record.allBlack = record.draws.empty() && AllBlack(frame);
        result_->frames.push_back(std::move(record));

        for (size_t i = 0; i < settings_.inputs.size(); ++i) {
            const Input& in = settings_.inputs[i];
            if (injected_.size() <= i) injected_.resize(settings_.inputs.size(), false);
            if (injected_[i] || result_->frames.back().clock < in.at) continue;
            injected_[i] = true;
            if (in.key)
                platform::InjectKeyPress(nullptr, in.key);
            else
                platform::InjectClose(nullptr);
        }
        if (result_->frames.size() >= settings_.maxFrames) {
            result_->hitFrameLimit = true;
            PostQuitMessage(0);
        }
        platform::AdvanceVirtualClock(Counts(settings_.frameStep));
        return S_OK;
    }

private:
    static bool AllBlack(const gfx::PresentedFrame& frame) {
        for (UINT y = 0; y < frame.height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(frame.pixels + size_t(y) * frame.pitch);
            for (UINT x = 0; x < frame.width; ++x)
                if (row[x] != 0xFF000000u) return false;
        }
        return frame.width > 0;
    }

    const RunSettings& settings_;
    RunResult* result_;
    std::vector<demo::SceneObject> pending_;
    std::vector<bool> injected_;
};

}  // namespace

RunResult RunDemo(const RunSettings& settings) {
    RunResult result;
    result.step = settings.frameStep;
    platform::SetHeadless(true);
    platform::ResetWindowSystem();
    platform::SetMusicOutput(platform::MusicOutput::Silent);
    platform::crt::srand(1);
    platform::UseVirtualClock(kCountsPerSecond, Counts(settings.startClock));

    auto presenter = std::make_shared<ScriptedPresenter>(settings, &result);
    demo::SetSceneObserver([&](demo::SceneEvent event, demo::SceneObject object) {
        if (event == demo::SceneEvent::Rendered) {
            presenter->Drawn(object);
            return;
        }
        result.events.emplace_back(event, object);
        // The loading step creates Fire first: its time passes there.
        if (event == demo::SceneEvent::Created && object == demo::SceneObject::Fire)
            platform::AdvanceVirtualClock(Counts(settings.loadingTime));
    });
    gfx::SetDefaultPresenter(presenter);

    result.exitCode = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);

    gfx::SetDefaultPresenter(nullptr);
    demo::SetSceneObserver(nullptr);
    platform::ResetWindowSystem();
    platform::UseRealClock();
    return result;
}

int FirstFrameInState(const RunResult& run, int state) {
    for (size_t i = 0; i < run.frames.size(); ++i)
        if (run.frames[i].state == state) return static_cast<int>(i);
    return -1;
}

}  // namespace demo_test
