// Runs the demo's WinMain without a display on a virtual clock and records
// what every presented frame showed: the clock, the scene counter after the
// frame, which objects were drawn, and whether the image was the cleared
// black. Scripted input (keys, the close button) is injected at given times.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "demo/scene.h"
#include "platform/window.h"

namespace demo_test {

struct Frame {
    double clock;  // seconds, as the demo reads them, when the frame was presented
    int state;     // demo_state after the frame's scene step
    std::vector<demo::SceneObject> draws;
    bool allBlack;  // every pixel 0xFF000000 (checked for frames without draws)
};

struct Input {
    double at;    // injected in the first frame presented at or after this time
    UINT key;     // virtual key; 0 for a press of the close button
};

struct RunSettings {
    double startClock = 1000.0;  // counter reading at program start, seconds
    double frameStep = 0.1;      // virtual seconds per presented frame
    double loadingTime = 0.0;    // seconds the loading step takes
    std::vector<Input> inputs;
    size_t maxFrames = 20000;    // a runaway loop fails the test instead of hanging
};

struct RunResult {
    int exitCode = -1;
    std::vector<Frame> frames;
    std::vector<std::pair<demo::SceneEvent, demo::SceneObject>> events;  // creations and destructions
    bool hitFrameLimit = false;
    double step = 0;  // the frame step of the run
};

RunResult RunDemo(const RunSettings& settings);

// Index of the first frame whose state after the step is `state`; -1 if none.
int FirstFrameInState(const RunResult& run, int state);

}  // namespace demo_test
