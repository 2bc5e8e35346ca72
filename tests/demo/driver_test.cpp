// The timeline as the running program shows it: WinMain on a virtual clock,
// frames taken by a scripted presenter, input injected as the user would.
#include <gtest/gtest.h>

#include <cmath>

#include "demo/timeline.h"
#include "demo_harness.h"

namespace {

using demo::SceneObject;
using demo_test::Frame;
using demo_test::RunDemo;
using demo_test::RunResult;
using demo_test::RunSettings;
using Draws = std::vector<SceneObject>;

const Draws kIntro = {SceneObject::Intro};
const Draws kFire2Scene = {SceneObject::Logo, SceneObject::Fire2, SceneObject::Scroller};
const Draws kFire3Scene = {SceneObject::Logo, SceneObject::Fire3, SceneObject::Scroller};
const Draws kFireScene = {SceneObject::Logo, SceneObject::Fire, SceneObject::Scroller};
const Draws kOutro = {SceneObject::Outro};

// The states the run went through, each run of equal states collapsed.
std::vector<int> StateSequence(const RunResult& run) {
    std::vector<int> states;
    for (const Frame& f : run.frames)
        if (states.empty() || states.back() != f.state) states.push_back(f.state);
    return states;
}

// The frame in which input scripted for time `at` was injected.
size_t FrameOfInput(const RunResult& run, double at) {
    for (size_t i = 0; i < run.frames.size(); ++i)
        if (run.frames[i].clock >= at) return i;
    return run.frames.size();
}

// Checks the outro: it starts in frame `first`, whose clock fixes its start in
// whole seconds; it lasts until the first frame at least six of those seconds
// later, which moves on to state 11; the frame after that is the last.
void ExpectOutro(const RunResult& run, int first, const char* what) {
    SCOPED_TRACE(what);
    ASSERT_GE(first, 0);
    const double start = run.frames[first].clock;
    const double wholeStart = std::trunc(start);
    int end = -1;
    for (size_t i = first; i < run.frames.size(); ++i) {
        EXPECT_EQ(run.frames[i].draws, kOutro) << "frame " << i;
        if (run.frames[i].state == demo::kStateEnd && end < 0) end = static_cast<int>(i);
    }
    ASSERT_GT(end, first);
    EXPECT_GE(run.frames[end].clock, wholeStart + 6.0);
    EXPECT_LT(run.frames[end - 1].clock, wholeStart + 6.0);
    double shown = run.frames[end].clock - start;
    EXPECT_GT(shown, 5.0);
    EXPECT_LE(shown, 6.0 + run.step + 1e-3);
    EXPECT_EQ(static_cast<size_t>(end + 2), run.frames.size()) << "the state 11 frame quits";
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Driver, NaturalRunFollowsTheTimelineAndShutsDownInOrder) {
    RunSettings settings;
    settings.startClock = 1000.0;
    RunResult run = RunDemo(settings);
    ASSERT_FALSE(run.hitFrameLimit);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(StateSequence(run), (std::vector<int>{1, 2, 3, 4, 10, 11}));
    ASSERT_FALSE(run.frames.empty());
    EXPECT_EQ(run.frames[0].draws, kIntro) << "the loading frame shows the intro";

    struct Limit {
        int state;
        float limit;
        const Draws* before;
    } limits[] = {{2, demo::kIntroEnd, &kIntro},
                  {3, demo::kFire2End, &kFire2Scene},
                  {4, demo::kFire3End, &kFire3Scene},
                  {10, demo::kFireEnd, &kFireScene}};
    for (const Limit& l : limits) {
        SCOPED_TRACE(l.state);
        int at = demo_test::FirstFrameInState(run, l.state);
        ASSERT_GT(at, 0);
        const Frame& passing = run.frames[at];
        EXPECT_GE(passing.clock - 1000.0, l.limit);
        EXPECT_LT(run.frames[at - 1].clock - 1000.0, l.limit);
        EXPECT_TRUE(passing.draws.empty()) << "nothing is drawn where a limit passes";
        EXPECT_TRUE(passing.allBlack) << "that frame is the cleared black target";
        EXPECT_EQ(run.frames[at - 1].draws, *l.before);
    }
    ExpectOutro(run, demo_test::FirstFrameInState(run, 10) + 1, "natural end");

    using demo::SceneEvent;
    const std::vector<SceneObject> order = {SceneObject::Intro, SceneObject::Fire,  SceneObject::Fire2,
                                            SceneObject::Fire3, SceneObject::Logo,  SceneObject::Scroller,
                                            SceneObject::Outro};
    std::vector<SceneObject> created, destroyed;
    for (const auto& [event, object] : run.events)
        (event == SceneEvent::Created ? created : destroyed).push_back(object);
    EXPECT_EQ(created, order);
    EXPECT_EQ(destroyed, order) << "destroyed in the order of creation";
}

TEST(Driver, EscapeInEachSceneJumpsToTheOutro) {
    struct Case {
        double at;
        int state;
    } cases[] = {{3.37, 1}, {17.5, 2}, {31.91, 3}, {88.2, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        RunSettings settings;
        settings.startClock = 1000.3;
        settings.inputs = {{1000.3 + c.at, VK_ESCAPE}};
        RunResult run = RunDemo(settings);
        ASSERT_FALSE(run.hitFrameLimit);
        const int pressed = static_cast<int>(FrameOfInput(run, 1000.3 + c.at));
        ASSERT_GT(pressed, 0);
        EXPECT_EQ(run.frames[pressed].state, c.state);
        EXPECT_EQ(run.frames[pressed + 1].state, demo::kStateOutro);
        ExpectOutro(run, pressed + 1, "after Escape");
    }
}

TEST(Driver, EscapeDuringTheOutroOrInTheLastFrameDoesNotLengthenIt) {
    RunSettings base;
    base.startClock = 1000.75;
    base.inputs = {{1020.0, VK_ESCAPE}};
    RunResult baseline = RunDemo(base);
    ASSERT_FALSE(baseline.hitFrameLimit);
    const int outro = demo_test::FirstFrameInState(baseline, demo::kStateOutro);
    const int last = demo_test::FirstFrameInState(baseline, demo::kStateEnd);
    ASSERT_GT(last, outro);

    RunSettings during = base;
    during.inputs.push_back({baseline.frames[outro].clock + 3.0, VK_ESCAPE});
    RunResult again = RunDemo(during);
    EXPECT_EQ(again.frames.size(), baseline.frames.size());
    ExpectOutro(again, outro, "Escape during the outro");

    // Escape in the frame that reaches state 11: the counter goes back to 10,
    // but the outro's start stays, so the very next frame ends it again.
    RunSettings atEnd = base;
    atEnd.inputs.push_back({baseline.frames[last].clock, VK_ESCAPE});
    RunResult late = RunDemo(atEnd);
    ASSERT_FALSE(late.hitFrameLimit);
    EXPECT_EQ(late.exitCode, 0);
    EXPECT_LE(late.frames.size(), baseline.frames.size() + 1);
    EXPECT_LE(late.frames.back().clock - baseline.frames.back().clock, base.frameStep + 1e-3);
    for (size_t i = outro; i < late.frames.size(); ++i) EXPECT_EQ(late.frames[i].draws, kOutro);
}

TEST(Driver, AnyOtherKeyOrClosingTheWindowQuitsAtOnce) {
    struct Case {
        UINT key;  // 0: the close button
        double at;
    } cases[] = {{'A', 20.0}, {VK_SPACE, 5.0}, {VK_F1, 0.5}, {VK_SHIFT, 14.0}, {0, 30.0}, {'Q', 93.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " at " << c.at);
        RunSettings settings;
        settings.frameStep = 0.25;
        settings.inputs = {{1000.0 + c.at, c.key}};
        RunResult run = RunDemo(settings);
        ASSERT_FALSE(run.hitFrameLimit);
        EXPECT_EQ(run.exitCode, 0);
        ASSERT_FALSE(run.frames.empty());
        EXPECT_EQ(FrameOfInput(run, 1000.0 + c.at), run.frames.size() - 1) << "the run ends in the frame of the input";
        if (c.at < demo::kFireEnd) {
            EXPECT_EQ(demo_test::FirstFrameInState(run, demo::kStateOutro), -1);
        }
    }
}

TEST(Driver, LoadingTimeCountsAgainstTheIntro) {
    RunSettings slow;
    slow.loadingTime = 20.0;
    RunResult run = RunDemo(slow);
    ASSERT_GE(run.frames.size(), 3u);
    EXPECT_EQ(run.frames[0].draws, kIntro) << "the intro is seen once, in the first frame";
    EXPECT_NEAR(run.frames[0].clock - 1000.0, 20.0, 1e-3);
    EXPECT_EQ(run.frames[1].state, 2);
    EXPECT_TRUE(run.frames[1].allBlack);
    EXPECT_EQ(run.frames[2].draws, kFire2Scene);

    RunSettings slower;
    slower.loadingTime = 95.0;
    run = RunDemo(slower);
    ASSERT_GE(run.frames.size(), 6u);
    EXPECT_EQ(run.frames[0].draws, kIntro);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_TRUE(run.frames[i].draws.empty()) << i;
        EXPECT_TRUE(run.frames[i].allBlack) << i;
    }
    EXPECT_EQ(run.frames[4].state, demo::kStateOutro) << "states 2 to 4 pass with one black frame each";
    ExpectOutro(run, 5, "after a long load");
}

}  // namespace
