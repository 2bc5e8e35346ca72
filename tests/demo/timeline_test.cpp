// The scene logic against a hand-set clock: exact limits and the outro's
// whole-second start.
#include <gtest/gtest.h>

#include "demo/timeline.h"

namespace {

float g_now = 0.0f;
float Now() { return g_now; }

TEST(Timeline, LimitsAreInclusiveAndTheCounterMovesInTheFrameThatPassesThem) {
    int state = demo::kStateIntro;
    demo::Timeline timeline(state, Now);
    g_now = 500.0f;
    timeline.Start();
    struct Step {
        float t;
        int stateBefore;
        int drawsExpected;
        int stateAfter;
    } steps[] = {
        {13.99f, 1, 1, 1}, {14.0f, 1, 0, 2}, {24.99f, 2, 3, 2}, {25.0f, 2, 0, 3},
        {49.9f, 3, 3, 3},  {50.0f, 3, 0, 4}, {89.99f, 4, 3, 4}, {90.0f, 4, 0, 10},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.t);
        ASSERT_EQ(state, s.stateBefore);
        g_now = 500.0f + s.t;
        demo::SceneStep step = timeline.Step();
        EXPECT_EQ(step.drawCount, s.drawsExpected);
        EXPECT_EQ(step.linearMagFilter, s.stateBefore == demo::kStateFire2);
        EXPECT_EQ(state, s.stateAfter);
    }
}

TEST(Timeline, OutroRunsToSixWholeSecondsAfterItsTruncatedStart) {
    struct Case {
        float start;      // clock in the first outro frame
        float lastShown;  // still below the end
        float end;        // the first reading that ends it
    } cases[] = {
        {1000.0f, 1005.99f, 1006.0f},   // six seconds
        {1000.9f, 1005.99f, 1006.0f},   // a little over five
        {7.5f, 12.99f, 13.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        int state = demo::kStateOutro;
        demo::Timeline timeline(state, Now);
        g_now = c.start;
        demo::SceneStep step = timeline.Step();
        EXPECT_EQ(timeline.OutroStart(), static_cast<int>(c.start));
        EXPECT_EQ(step.drawCount, 1);
        EXPECT_EQ(step.draws[0], demo::SceneObject::Outro);
        g_now = c.lastShown;
        timeline.Step();
        EXPECT_EQ(state, demo::kStateOutro);
        // A second Escape puts the counter back to 10; the start stays.
        state = demo::kStateOutro;
        g_now = c.end;
        step = timeline.Step();
        EXPECT_EQ(state, demo::kStateEnd) << "the frame that reaches the end still draws the outro";
        EXPECT_EQ(step.drawCount, 1);
        step = timeline.Step();
        EXPECT_TRUE(step.postQuit);
        EXPECT_EQ(step.draws[0], demo::SceneObject::Outro);
        EXPECT_EQ(timeline.OutroStart(), static_cast<int>(c.start));
    }
}

TEST(Timeline, LoadingStepAndUnusedStates) {
    int state = demo::kStateLoad;
    demo::Timeline timeline(state, Now);
    demo::SceneStep step = timeline.Step();
    EXPECT_TRUE(step.load);
    EXPECT_EQ(state, demo::kStateIntro);
    ASSERT_EQ(step.drawCount, 1);
    EXPECT_EQ(step.draws[0], demo::SceneObject::Intro);
    for (int unused = 5; unused <= 9; ++unused) {
        state = unused;
        step = timeline.Step();
        EXPECT_EQ(step.drawCount, 0);
        EXPECT_FALSE(step.load || step.postQuit);
        EXPECT_EQ(state, unused);
    }
}

}  // namespace
