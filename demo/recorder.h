// Recording without a display: the presenter that takes every frame the demo
// presents, writes the frames of the chosen stretch of time (numbered PNG
// files, or raw frames piped to ffmpeg for one MP4 with the music), feeds the
// contact sheet, and then moves the virtual clock on by one frame, so the
// timeline runs at exactly the recording's frame rate however long a frame
// takes to draw.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>

#include "demo/contact_sheet.h"
#include "demo/options.h"
#include "gfx/presenter.h"

namespace demo {

// Virtual counts per frame: the counter runs at fps * kCountsPerFrame per
// second, so every frame time is a whole number of counts.
constexpr int64_t kCountsPerFrame = 1000;

class Recorder : public gfx::Presenter {
public:
    // Prepares the outputs of `options` (creates the frame directory, starts
    // ffmpeg) and switches the counter to virtual time starting at 0. The music
    // file, when it exists, is added to a video. Returns null with a one-line
    // message when an output cannot be opened.
    static std::shared_ptr<Recorder> Create(const Options& options, const std::string& musicFile,
                                            std::string* error);
    ~Recorder() override;

    HRESULT Present(const gfx::PresentedFrame& frame) override;

    // Ends the outputs (waits for ffmpeg, writes the contact sheet) and prints
    // a summary line. Returns false with a message when anything failed.
    bool Finish(std::string* error);

    uint64_t FramesPresented() const { return frameNumber_; }
    uint64_t FramesWritten() const { return written_; }

    // The frame to show after frame `frame` when skipping ahead to `from`:
    // up to a second ahead, but never past the first frame of `fromFrame` and
    // never past the first frame at or after a scene limit, so every scene
    // change happens in the same frame as when no frame is skipped. From the
    // last limit on, frames follow one by one.
    static int64_t NextFrame(int64_t frame, int64_t fromFrame, int fps);
    // The first frame whose clock reading (in single precision, as the demo
    // reads it) is at least `seconds`.
    static int64_t FirstFrameAt(double seconds, int fps);

private:
    Recorder() = default;
    HRESULT WriteFrame(const gfx::PresentedFrame& frame);
    // "frame n of N, elapsed, estimate" on the terminal, at most 4 times a second.
    void ShowProgress(bool force);
    void Fail(const std::string& message);

    Options options_;
    int64_t frameNumber_ = 0;  // frames presented so far
    int64_t frame_ = 0;        // timeline frame of the next Present
    int64_t fromFrame_ = 0;
    int64_t toFrame_ = -1;
    uint64_t written_ = 0;
    std::string directory_;
    pid_t encoder_ = -1;
    int encoderInput_ = -1;
    std::optional<ContactSheet> sheet_;
    std::string error_;
    bool progress_ = false;  // standard error is a terminal
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point lastProgress_{};
    int64_t expectedFrames_ = 1;  // frames the stretch should give
};

// The full path of an executable found on PATH, or "".
std::string FindOnPath(const std::string& program);

}  // namespace demo
