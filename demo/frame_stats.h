// --stats: a presenter that passes every frame on and notes how long each
// frame took (wall-clock time since the previous one) and which scene drew
// it, then prints per scene the frames drawn, the frames per second and the
// 50th and 99th percentile frame times.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "gfx/presenter.h"

namespace demo {

class FrameStats : public gfx::Presenter {
public:
    // `scene` reads the scene counter at each frame.
    explicit FrameStats(int (*scene)());
    // The presenter that shows or records the frames (null: none).
    void SetNext(std::shared_ptr<gfx::Presenter> next) { next_ = std::move(next); }

    HRESULT Present(const gfx::PresentedFrame& frame) override;

    // Notes one frame of `seconds` in scene `state` (what Present does).
    void Add(int state, double seconds);
    // A table with one row per scene in timeline order.
    void Print(FILE* out) const;

private:
    std::shared_ptr<gfx::Presenter> next_;
    int (*scene_)();
    std::chrono::steady_clock::time_point last_;
    std::map<int, std::vector<double>> times_;  // seconds per frame by scene, in timeline order
};

// The name of a scene counter value in the statistics ("intro", "fire 1", ...).
const char* SceneName(int state);

}  // namespace demo
