// Recorded frames of the whole demo at fixed virtual times, compared with the
// reference pictures in golden/ within a tolerance: a change that breaks the
// picture (a shader, the compiler, the loader or the device) fails here.
// Set KILN_UPDATE_GOLDEN=1 to rewrite the references after an intended change.
#include <gtest/gtest.h>

#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<png_byte> rgba;
};

bool ReadPng(const std::string& path, Image* image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->rgba.resize(PNG_IMAGE_SIZE(png));
    return png_image_finish_read(&png, nullptr, image->rgba.data(), 0, nullptr) != 0;
}

// The recorded seconds checked, one per part of the timeline.
struct Moment {
    int second;
    const char* name;
};
const Moment kMoments[] = {{10, "intro"}, {20, "fire2"}, {40, "fire3"}, {70, "fire"}, {93, "outro"}};

class GoldenFrames : public ::testing::Test {
protected:
    // Records the demo once for all cases: one frame a second from 9 s to 95 s.
    static void SetUpTestSuite() {
        dir_ = testing::TempDir() + "/golden_run_" + std::to_string(getpid());
        std::filesystem::create_directories(dir_);
        std::string assets = std::string(KILN_SOURCE_DIR) + "/assets";
        std::vector<std::string> args{CINDERGLOW_BIN, "--record", dir_, "--fps", "1", "--from", "9", "--to", "95"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, assets.c_str());
        pid_t pid = 0;
        status_ = -1;
        if (posix_spawn(&pid, CINDERGLOW_BIN, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }

    static std::string FrameAt(int second) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%05d.png", second - 9);
        return dir_ + name;
    }

    static std::string dir_;
    static int status_;
};

std::string GoldenFrames::dir_;
int GoldenFrames::status_ = -1;

TEST_F(GoldenFrames, RecordedTimelineMatchesReferences) {
    ASSERT_EQ(status_, 0) << "recording failed";
    const bool update = std::getenv("KILN_UPDATE_GOLDEN") != nullptr;
    for (const Moment& m : kMoments) {
        SCOPED_TRACE(m.name);
        const std::string golden = std::string(KILN_SOURCE_DIR) + "/tests/demo/golden/" + m.name + ".png";
        if (update) {
            std::filesystem::copy_file(FrameAt(m.second), golden, std::filesystem::copy_options::overwrite_existing);
            continue;
        }
        Image got, want;
        ASSERT_TRUE(ReadPng(FrameAt(m.second), &got));
        ASSERT_TRUE(ReadPng(golden, &want)) << golden;
        ASSERT_EQ(got.width, want.width);
        ASSERT_EQ(got.height, want.height);
        // Rounding may differ between builds; a broken picture differs a lot.
        size_t far = 0;
        double sum = 0;
        for (size_t i = 0; i < got.rgba.size(); ++i) {
            int d = std::abs(static_cast<int>(got.rgba[i]) - static_cast<int>(want.rgba[i]));
            sum += d;
            far += d > 16;
        }
        const double mean = sum / static_cast<double>(got.rgba.size());
        EXPECT_LT(mean, 1.5) << "mean channel difference";
        EXPECT_LT(static_cast<double>(far) / got.rgba.size(), 0.01) << "share of channels off by more than 16";
    }
}

// The references are not blank: each moment shows its own picture.
TEST_F(GoldenFrames, ReferencesShowDifferentScenes) {
    std::vector<Image> images;
    for (const Moment& m : kMoments) {
        Image image;
        ASSERT_TRUE(ReadPng(std::string(KILN_SOURCE_DIR) + "/tests/demo/golden/" + m.name + ".png", &image));
        size_t lit = 0;
        for (size_t i = 0; i < image.rgba.size(); i += 4) lit += image.rgba[i] + image.rgba[i + 1] > 60;
        EXPECT_GT(lit, 2000u) << m.name;
        images.push_back(std::move(image));
    }
    for (size_t a = 0; a < images.size(); ++a)
        for (size_t b = a + 1; b < images.size(); ++b) EXPECT_NE(images[a].rgba, images[b].rgba);
}

}  // namespace
