#include "demo/frame_stats.h"

#include <algorithm>
#include <cmath>

#include "demo/timeline.h"

namespace demo {
namespace {

// The scene a counter value belongs to, in timeline order: the closing frame
// (state 11) is part of the outro.
int SceneOf(int state) { return state == kStateEnd ? kStateOutro : state; }

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& sorted, double p) {
    size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * double(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

const char* SceneName(int state) {
    switch (SceneOf(state)) {
        case kStateLoad: return "loading";
        case kStateIntro: return "intro";
        case kStateFire2: return "fire 1";
        case kStateFire3: return "fire 2";
        case kStateFire: return "fire 3";
        case kStateOutro: return "outro";
        default: return "other";
    }
}

FrameStats::FrameStats(int (*scene)()) : scene_(scene), last_(std::chrono::steady_clock::now()) {}

HRESULT FrameStats::Present(const gfx::PresentedFrame& frame) {
    auto now = std::chrono::steady_clock::now();
    Add(scene_(), std::chrono::duration<double>(now - last_).count());
    last_ = now;
    return next_ ? next_->Present(frame) : S_OK;
}

void FrameStats::Add(int state, double seconds) { times_[SceneOf(state)].push_back(seconds); }

void FrameStats::Print(FILE* out) const {
    std::fprintf(out, "%-8s %8s %8s %10s %10s\n", "scene", "frames", "fps", "p50 ms", "p99 ms");
    for (const auto& [state, times] : times_) {
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        double total = 0;
        for (double t : sorted) total += t;
        std::fprintf(out, "%-8s %8zu %8.1f %10.2f %10.2f\n", SceneName(state), sorted.size(),
                     total > 0 ? double(sorted.size()) / total : 0.0, 1000 * Percentile(sorted, 50),
                     1000 * Percentile(sorted, 99));
    }
}

}  // namespace demo
