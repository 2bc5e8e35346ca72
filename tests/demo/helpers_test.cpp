// The demo's clock and random helpers, its command-line options and its frame statistics.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "demo/clock.h"
#include "demo/frame_stats.h"
#include "demo/options.h"
#include "demo/random.h"
#include "demo/timeline.h"
#include "platform/clock.h"
#include "platform/random.h"

namespace {

TEST(DemoClock, AllFourReadTheCounterInSeconds) {
    platform::UseVirtualClock(4, 10);
    EXPECT_EQ(getTheTime(), 2.5f);
    EXPECT_EQ(getTime(), 2.5f);
    EXPECT_EQ(getTime2(), 2.5f);
    EXPECT_EQ(getTime3(), 2.5f);
    platform::AdvanceVirtualClock(1);
    EXPECT_EQ(getTheTime(), 2.75f);
    platform::UseRealClock();
    float a = getTheTime();
    EXPECT_GT(a, 0.0f);
    EXPECT_GE(getTime(), a);
}

TEST(DemoRandom, RndScalesTheGeneratorToTheUnitInterval) {
    platform::crt::srand(1);
    EXPECT_FLOAT_EQ(Rnd(), 41.0f / 32767.0f);
    EXPECT_FLOAT_EQ(Rnd(), 18467.0f / 32767.0f);
    float lowest = 2, highest = -1;
    for (int i = 0; i < 100000; ++i) {
        float r = Rnd();
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    EXPECT_GE(lowest, 0.0f);
    EXPECT_LE(highest, 1.0f);
    EXPECT_EQ(highest, 1.0f) << "32767 maps to exactly 1";
    EXPECT_LT(lowest, 0.001f);
    platform::crt::srand(1);
}

TEST(DemoOptions, ParsesTheRecordingOptions) {
    demo::Options o;
    std::string error;
    ASSERT_TRUE(demo::ParseOptions({"--record", "out.MP4", "--fps", "25", "--from", "12.5", "--to", "20",
                                    "--contact-sheet", "s.png"},
                                   &o, &error))
        << error;
    EXPECT_EQ(o.record, "out.MP4");
    EXPECT_TRUE(o.RecordsVideo());
    EXPECT_EQ(o.fps, 25);
    EXPECT_EQ(o.from, 12.5);
    EXPECT_EQ(o.to, 20.0);
    EXPECT_TRUE(o.Offscreen());

    demo::Options plain;
    ASSERT_TRUE(demo::ParseOptions({"--window"}, &plain, &error));
    EXPECT_TRUE(plain.window);
    EXPECT_FALSE(plain.Offscreen());
    EXPECT_EQ(plain.fps, 30);
    demo::Options dir;
    ASSERT_TRUE(demo::ParseOptions({"--record", "frames/"}, &dir, &error));
    EXPECT_FALSE(dir.RecordsVideo());
}

TEST(DemoOptions, RejectsBadValuesWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--record"},
        {"--record", ""},
        {"--record", "x", "--fps", "0"},
        {"--record", "x", "--fps", "2.5"},
        {"--record", "x", "--fps", "1e9"},
        {"--record", "x", "--fps", "abc"},
        {"--record", "x", "--from", "-1"},
        {"--record", "x", "--from", "nan"},
        {"--record", "x", "--to", "inf"},
        {"--record", "x", "--from", "10", "--to", "5"},
        {"--from", "3"},  // timing without a recording
        {"--contact-sheet"},
    };
    for (const auto& args : bad) {
        demo::Options o;
        std::string error;
        EXPECT_FALSE(demo::ParseOptions(args, &o, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
    EXPECT_NE(std::string(demo::UsageText()).find("--record OUT"), std::string::npos);
}

TEST(DemoOptions, FromPastTheEndIsAnError) {
    for (const char* from : {"97", "120", "86400"}) {
        demo::Options o;
        std::string error;
        EXPECT_FALSE(demo::ParseOptions({"--record", "x", "--from", from}, &o, &error)) << from;
        EXPECT_NE(error.find("past the demo's end"), std::string::npos) << error;
    }
    demo::Options o;
    std::string error;
    EXPECT_TRUE(demo::ParseOptions({"--record", "x", "--from", "95", "--stats", "--version"}, &o, &error)) << error;
    EXPECT_TRUE(o.stats);
    EXPECT_TRUE(o.version);
}

// Frames of 10, 10, 10 and 40 ms in the intro and one of 20 ms in the outro
// (state 11 counts as the outro).
TEST(DemoFrameStats, PerSceneCountsRatesAndPercentiles) {
    demo::FrameStats stats(nullptr);
    for (double t : {0.010, 0.040, 0.010, 0.010}) stats.Add(demo::kStateIntro, t);
    stats.Add(demo::kStateEnd, 0.020);
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    stats.Print(out);
    std::fclose(out);
    const std::string table(text, size);
    std::free(text);
    EXPECT_NE(table.find("intro           4     57.1      10.00      40.00"), std::string::npos) << table;
    EXPECT_NE(table.find("outro           1     50.0      20.00      20.00"), std::string::npos) << table;
    EXPECT_LT(table.find("intro"), table.find("outro")) << "timeline order";
    EXPECT_EQ(table.find("fire"), std::string::npos) << "scenes without frames have no row";
}

}  // namespace
