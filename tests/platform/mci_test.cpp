#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/mci.h"

namespace {

const std::string kMusic = std::string(KILN_SOURCE_DIR) + "/assets/m.mp3";

std::string Send(const std::string& command, MCIERROR* error = nullptr) {
    char reply[128] = "untouched";
    MCIERROR e = mciSendStringA(command.c_str(), reply, sizeof(reply), nullptr);
    if (error) *error = e;
    return reply;
}

MCIERROR Command(const std::string& command) { return mciSendStringA(command.c_str(), nullptr, 0, nullptr); }

class MciSilentTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMusicOutput(platform::MusicOutput::Silent);
        platform::UseVirtualClock(1000, 0);
        Command("close all");
    }
    void TearDown() override {
        Command("close all");
        platform::UseRealClock();
    }
};

TEST_F(MciSilentTest, TheDemoCommandsOpenAndPlay) {
    MCIERROR error = 1;
    std::string id = Send("open \"" + kMusic + "\" type mpegvideo alias music", &error);
    EXPECT_EQ(error, 0u);
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
    EXPECT_EQ(Send("status music mode"), "stopped");
    EXPECT_EQ(Command("play music from 0"), 0u);
    EXPECT_EQ(Send("status music mode"), "playing");
    platform::AdvanceVirtualClock(2500);
    EXPECT_EQ(Send("status music position"), "2500");
    EXPECT_EQ(Command("PAUSE Music"), 0u) << "words are not case-sensitive";
    EXPECT_EQ(Send("status music mode"), "paused");
    platform::AdvanceVirtualClock(1000);
    EXPECT_EQ(Command("play music"), 0u) << "play without from resumes";
    EXPECT_EQ(Send("status music mode"), "playing");
    EXPECT_EQ(Send("status music position"), "2500");
    EXPECT_EQ(Command("stop music"), 0u);
    EXPECT_EQ(Send("status music mode"), "stopped");
    EXPECT_EQ(Command("play music from 1000 wait notify"), 0u);
    EXPECT_EQ(Send("status music position"), "1000");
    EXPECT_EQ(Command("close music"), 0u);
    EXPECT_EQ(Send("status music mode", &error), "");
    EXPECT_EQ(error, MCIERR_INVALID_DEVICE_NAME);
}

TEST_F(MciSilentTest, FaultyCommandsGiveTheirErrorCodes) {
    ASSERT_EQ(Command("open \"" + kMusic + "\" type mpegvideo alias music"), 0u);
    struct Case {
        const char* command;
        MCIERROR error;
    } cases[] = {
        {"", MCIERR_MISSING_COMMAND_STRING},
        {"   ", MCIERR_MISSING_COMMAND_STRING},
        {"dance music", MCIERR_UNRECOGNIZED_COMMAND},
        {"play", MCIERR_MISSING_DEVICE_NAME},
        {"play nothing", MCIERR_INVALID_DEVICE_NAME},
        {"play music from", MCIERR_MISSING_PARAMETER},
        {"play music from ten", MCIERR_BAD_INTEGER},
        {"play music from -5", MCIERR_BAD_INTEGER},
        {"play music loudly", MCIERR_UNRECOGNIZED_KEYWORD},
        {"status music", MCIERR_MISSING_PARAMETER},
        {"status music colour", MCIERR_UNRECOGNIZED_KEYWORD},
        {"set music time format frames", MCIERR_BAD_TIME_FORMAT},
        {"open missing_file.mp3 alias other", MCIERR_FILE_NOT_FOUND},
        {"open m.mp3 type jukebox alias other", MCIERR_INVALID_DEVICE_NAME},
        {"open m.mp3 alias", MCIERR_MISSING_STRING_ARGUMENT},
        {"open \"unterminated.mp3 alias other", MCIERR_NO_CLOSING_QUOTE},
        {"open", MCIERR_MISSING_DEVICE_NAME},
        {"open . alias dir", MCIERR_INVALID_FILE},
    };
    for (const Case& c : cases) EXPECT_EQ(Command(c.command), c.error) << c.command;
    EXPECT_EQ(Command(("open \"" + kMusic + "\" alias MUSIC").c_str()), MCIERR_DUPLICATE_ALIAS);
    EXPECT_EQ(mciSendStringA(nullptr, nullptr, 0, nullptr), MCIERR_MISSING_COMMAND_STRING);

    char tiny[4];
    EXPECT_EQ(mciSendStringA("status music mode", tiny, sizeof(tiny), nullptr), MCIERR_PARAM_OVERFLOW);
    EXPECT_EQ(Send("set music time format ms"), "");
    EXPECT_EQ(Send("status music time format"), "milliseconds");
}

TEST_F(MciSilentTest, QuotedNamesAndTheElementAsDeviceName) {
    std::string path = testing::TempDir() + "/song with spaces.mp3";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not really music", f);
    std::fclose(f);
    EXPECT_EQ(Command("open \"" + path + "\""), 0u);
    EXPECT_EQ(Command("play \"" + path + "\""), 0u) << "without an alias the element names the device";
    EXPECT_EQ(Send("status \"" + path + "\" mode"), "playing");
    EXPECT_EQ(Command("close all"), 0u);
    EXPECT_EQ(Command("stop \"" + path + "\""), MCIERR_INVALID_DEVICE_NAME);
    std::remove(path.c_str());
}

TEST(MciErrors, TextsForKnownCodes) {
    char text[256];
    EXPECT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, text, sizeof(text)));
    EXPECT_NE(std::string(text).find("Cannot find the specified file"), std::string::npos);
    char small[8];
    EXPECT_TRUE(mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, small, sizeof(small)));
    EXPECT_EQ(std::string(small), "Cannot ");
    EXPECT_FALSE(mciGetErrorStringA(12345, text, sizeof(text)));
    EXPECT_FALSE(mciGetErrorStringA(0, nullptr, 10));
}

// The sound device path, on SDL's dummy audio driver so no hardware is needed.
TEST(MciSpeakers, DecodesAndPlaysTheMusicOrFailsCleanlyWithoutADevice) {
    platform::SetMusicOutput(platform::MusicOutput::Speakers);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    MCIERROR error = 1;
    Send("open \"" + kMusic + "\" type mpegvideo alias music", &error);
    ASSERT_EQ(error, 0u);
    EXPECT_EQ(Command("play music from 0"), 0u);
    EXPECT_EQ(Send("status music mode"), "playing");
    long length = std::stol(Send("status music length"));
    EXPECT_GT(length, 10000) << "the track is decoded and lasts more than ten seconds";
    EXPECT_EQ(Command("play music from 999999999"), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Command("stop music"), 0u);
    EXPECT_EQ(Send("status music mode"), "stopped");
    EXPECT_EQ(Command("close music"), 0u);

    // A file that is no music: the device opens but the decoder refuses it.
    std::string path = testing::TempDir() + "/noise.mp3";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("definitely not an mp3 stream", f);
    std::fclose(f);
    EXPECT_EQ(Command("open \"" + path + "\" type mpegvideo alias noise"), MCIERR_INVALID_FILE);
    std::remove(path.c_str());

    // No audio device: the command fails with an error, nothing else happens.
    setenv("SDL_AUDIODRIVER", "no_such_driver", 1);
    EXPECT_EQ(Command("open \"" + kMusic + "\" type mpegvideo alias music"), MCIERR_HARDWARE);
    unsetenv("SDL_AUDIODRIVER");
    platform::SetMusicOutput(platform::MusicOutput::Silent);
}

}  // namespace
