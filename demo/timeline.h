// The timeline: which scene step each frame runs, chosen by the scene counter
// and the clock. It decides; the driver (winmain.cpp) carries the decision out
// on the device. Kept apart from the window and the device so it can be run
// against any clock.
#pragma once

#include "demo/scene.h"

namespace demo {

// Scene counter values.
constexpr int kStateLoad = 0;
constexpr int kStateIntro = 1;
constexpr int kStateFire2 = 2;
constexpr int kStateFire3 = 3;
constexpr int kStateFire = 4;
constexpr int kStateOutro = 10;
constexpr int kStateEnd = 11;

// Seconds after the start time at which states 1 to 4 end, and the length of
// the outro counted from its start in whole seconds.
constexpr float kIntroEnd = 14.0f;
constexpr float kFire2End = 25.0f;
constexpr float kFire3End = 50.0f;
constexpr float kFireEnd = 90.0f;
constexpr float kOutroLength = 6.0f;
// No frame of the demo comes later than this: the outro starts at the whole
// second of the clock at or just before kFireEnd and lasts kOutroLength; one
// more second covers that rounding and the closing frame.
constexpr float kDemoLength = kFireEnd + kOutroLength + 1.0f;

// What one frame's scene step does. The driver runs it in this order: the
// sampler states of the loading step, the linear magnification filter, the
// draws in order, then (loading step) the music and the creation of every
// other object, and finally the quit request.
struct SceneStep {
    bool load = false;
    bool linearMagFilter = false;
    SceneObject draws[3] = {};
    int drawCount = 0;
    bool postQuit = false;
};

class Timeline {
public:
    // `state` is the scene counter shared with the window procedure; `clock`
    // returns seconds.
    Timeline(int& state, float (*clock)()) : state_(state), clock_(clock) {}

    // Takes the start time; states 1 to 4 are measured from it.
    void Start() { startTime_ = clock_(); }
    float StartTime() const { return startTime_; }

    // Runs the scene logic of one frame: reads the clock where the state needs
    // it, moves the counter on when a limit has passed, and says what to draw.
    SceneStep Step();

    // The outro's start in whole seconds of the clock, fixed by the first
    // frame in state 10 and kept from then on (a second Escape does not move
    // it). -1 before that frame.
    int OutroStart() const { return outroStarted_ ? outroStart_ : -1; }

private:
    SceneStep TimedStep(float limit, int next, std::initializer_list<SceneObject> draws);

    int& state_;
    float (*clock_)();
    float startTime_ = 0.0f;
    bool outroStarted_ = false;
    int outroStart_ = 0;
};

}  // namespace demo
