#include "demo/timeline.h"

namespace demo {
namespace {

SceneStep Draw(std::initializer_list<SceneObject> objects) {
    SceneStep step;
    for (SceneObject o : objects) step.draws[step.drawCount++] = o;
    return step;
}

}  // namespace

SceneStep Timeline::TimedStep(float limit, int next, std::initializer_list<SceneObject> draws) {
    float t = clock_() - startTime_;
    if (t < limit) return Draw(draws);
    // The frame in which the limit passes draws nothing: it shows the cleared
    // target.
    state_ = next;
    return SceneStep{};
}

SceneStep Timeline::Step() {
    switch (state_) {
        case kStateLoad: {
            state_ = kStateIntro;
            SceneStep step = Draw({SceneObject::Intro});
            step.load = true;
            return step;
        }
        case kStateIntro: return TimedStep(kIntroEnd, kStateFire2, {SceneObject::Intro});
        case kStateFire2: {
            SceneStep step =
                TimedStep(kFire2End, kStateFire3, {SceneObject::Logo, SceneObject::Fire2, SceneObject::Scroller});
            step.linearMagFilter = true;
            return step;
        }
        case kStateFire3:
            return TimedStep(kFire3End, kStateFire, {SceneObject::Logo, SceneObject::Fire3, SceneObject::Scroller});
        case kStateFire:
            return TimedStep(kFireEnd, kStateOutro, {SceneObject::Logo, SceneObject::Fire, SceneObject::Scroller});
        case kStateOutro: {
            if (!outroStarted_) {
                outroStart_ = static_cast<int>(clock_());  // truncation toward zero
                outroStarted_ = true;
            }
            float u = clock_() - static_cast<float>(outroStart_);
            if (u >= kOutroLength) state_ = kStateEnd;
            return Draw({SceneObject::Outro});
        }
        case kStateEnd: {
            SceneStep step = Draw({SceneObject::Outro});
            step.postQuit = true;
            return step;
        }
        default: return SceneStep{};
    }
}

}  // namespace demo
