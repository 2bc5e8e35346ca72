// Recording without a display: frame stepping, PNG frames, the contact sheet
// and the video pipe (through a stand-in encoder that keeps what it is given).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "demo/recorder.h"
#include "demo/timeline.h"
#include "demo/winmain.h"
#include "platform/clock.h"
#include "platform/window.h"

namespace {

namespace fs = std::filesystem;

int Record(std::vector<std::string> args) {
    platform::ResetWindowSystem();
    args.insert(args.begin(), "cinderglow");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    int code = RunWinMainFromArgs(static_cast<int>(argv.size()), argv.data());
    platform::ResetWindowSystem();
    platform::UseRealClock();
    return code;
}

fs::path FreshDir(const std::string& name) {
    fs::path dir = fs::path(testing::TempDir()) / ("cinderglow_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Width and height from a PNG header; zeros when it is not a PNG.
std::pair<uint32_t, uint32_t> PngSize(const fs::path& path) {
    std::string bytes = ReadFile(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
               uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
    };
    return {be32(16), be32(20)};
}

TEST(RecorderStepping, SkippingAheadKeepsEverySceneChangeInItsFrame) {
    const float limits[] = {demo::kIntroEnd, demo::kFire2End, demo::kFire3End, demo::kFireEnd};
    for (int fps : {7, 30, 60}) {
        for (double from : {0.0, 13.99, 14.0, 37.5, 89.5, 91.0, 96.0}) {
            SCOPED_TRACE(testing::Message() << fps << " fps from " << from);
            const int64_t fromFrame = demo::Recorder::FirstFrameAt(from, fps);
            std::vector<int64_t> visited = {0};
            while (visited.back() < fromFrame) {
                int64_t next = demo::Recorder::NextFrame(visited.back(), fromFrame, fps);
                ASSERT_GT(next, visited.back());
                ASSERT_LE(next - visited.back(), fps) << "at most a second per step";
                visited.push_back(next);
            }
            EXPECT_EQ(visited.back(), fromFrame) << "lands on the first recorded frame";
            for (float limit : limits) {
                int64_t at = demo::Recorder::FirstFrameAt(limit, fps);
                if (at <= fromFrame) {
                    EXPECT_TRUE(std::find(visited.begin(), visited.end(), at) != visited.end()) << limit;
                }
            }
            int64_t outro = demo::Recorder::FirstFrameAt(demo::kFireEnd, fps);
            for (size_t i = 1; i < visited.size(); ++i)
                if (visited[i - 1] >= outro) {
                    EXPECT_EQ(visited[i], visited[i - 1] + 1);
                }
            EXPECT_EQ(demo::Recorder::NextFrame(fromFrame, fromFrame, fps), fromFrame + 1);
        }
    }
    // The first frame at a time compares in single precision, as the demo does.
    EXPECT_EQ(demo::Recorder::FirstFrameAt(14.0, 30), 420);
    EXPECT_EQ(demo::Recorder::FirstFrameAt(0.0, 30), 0);
    EXPECT_EQ(demo::Recorder::FirstFrameAt(25.01, 10), 251);
}

TEST(Recording, WritesNumberedPngFramesOfTheChosenStretch) {
    fs::path dir = FreshDir("frames") / "nested";
    ASSERT_EQ(Record({"--record", dir.string(), "--fps", "4", "--from", "13", "--to", "16"}), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 12u) << "seconds 13 to 16 at 4 frames per second";
    EXPECT_EQ(names.front(), "frame_00000.png");
    EXPECT_EQ(names.back(), "frame_00011.png");
    EXPECT_EQ(PngSize(dir / names.front()), std::make_pair(800u, 600u));
}

TEST(Recording, ContactSheetOfAWholeRun) {
    fs::path sheet = FreshDir("sheet") / "sheet.png";
    ASSERT_EQ(Record({"--contact-sheet", sheet.string(), "--fps", "2"}), 0);
    EXPECT_EQ(PngSize(sheet), std::make_pair(6u * 200 + 7 * 4, 4u * 150 + 5 * 4));
}

TEST(Recording, VideoGoesThroughTheEncoderWithTheMusic) {
    // A stand-in encoder: keeps its arguments and the raw frames it receives.
    fs::path bin = FreshDir("bin");
    fs::path encoder = bin / "ffmpeg";
    {
        std::ofstream script(encoder);
        script << "#!/bin/sh\nfor a; do last=\"$a\"; done\nprintf '%s\\n' \"$@\" > \"$last.args\"\ncat > \"$last\"\n";
    }
    fs::permissions(encoder, fs::perms::owner_all);
    fs::path work = FreshDir("video");
    { std::ofstream(work / "m.mp3") << "music"; }
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const fs::path oldDir = fs::current_path();
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    fs::current_path(work);
    int code = Record({"--record", "demo.mp4", "--fps", "5", "--from", "1", "--to", "3"});
    fs::current_path(oldDir);
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(code, 0);

    EXPECT_EQ(fs::file_size(work / "demo.mp4"), 10u * 800 * 600 * 4) << "ten raw 800 x 600 BGRA frames";
    std::string args = ReadFile(work / "demo.mp4.args");
    for (const char* expected : {"rawvideo\n", "bgra\n", "800x600\n", "-framerate\n5\n", "-ss\n1.000\n-i\nm.mp3\n",
                                 "apad\n", "-shortest\n"})
        EXPECT_NE(args.find(expected), std::string::npos) << expected;
}

TEST(Recording, UnusableOutputsFailWithAMessage) {
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", FreshDir("empty_path").c_str(), 1);
    int code = Record({"--record", (FreshDir("novideo") / "x.mp4").string(), "--to", "1"});
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(code, 1) << "no encoder installed";

    fs::path file = FreshDir("blocked") / "file";
    { std::ofstream(file) << "x"; }
    EXPECT_EQ(Record({"--record", file.string(), "--to", "1"}), 1) << "a file where the directory should be";
    EXPECT_EQ(Record({"--record", "x", "--fps", "0"}), 2) << "bad option";
    const fs::path late = FreshDir("late") / "out";
    EXPECT_EQ(Record({"--record", late.string(), "--from", "98"}), 2) << "past the end";
    EXPECT_FALSE(fs::exists(late)) << "nothing made for a refused run";
}

TEST(Recording, ANewRecordingRemovesTheFramesOfAnEarlierOne) {
    fs::path dir = FreshDir("stale");
    for (const char* name : {"frame_00000.png", "frame_00007.png", "frame_7.png", "notes.txt"})
        std::ofstream(dir / name) << "earlier";
    ASSERT_EQ(Record({"--record", dir.string(), "--fps", "2", "--from", "13", "--to", "14"}), 0);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame_00000.png", "frame_00001.png", "frame_7.png", "notes.txt"}))
        << "only files named like the recorder's own frames are removed";
    EXPECT_EQ(PngSize(dir / "frame_00000.png"), std::make_pair(800u, 600u)) << "the old frame 0 was replaced";
}

// Runs the program in `dir` and returns what it printed (both streams) and
// its exit code.
std::pair<std::string, int> RunProgramIn(const fs::path& dir, const std::string& args) {
    std::string command = "cd '" + dir.string() + "' && '" CINDERGLOW_BIN "' " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    char chunk[4096];
    size_t n;
    while (pipe && (n = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) out.append(chunk, n);
    int status = pipe ? pclose(pipe) : -1;
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

size_t CountLines(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.substr(at, end - at).find(part) != std::string::npos) ++count;
    }
    return count;
}

TEST(Recording, MissingDataFilesAreNamedOneLineEach) {
    fs::path dir = FreshDir("nodata");
    auto [out, code] = RunProgramIn(dir, "--record frames --fps 2 --from 13 --to 14 --stats");
    EXPECT_EQ(code, 0) << out;
    EXPECT_TRUE(fs::exists(dir / "frames" / "frame_00001.png")) << "the run goes on as before: " << out;
    // What the run tries to read: each vertex shader (a failed one leaves its
    // pixel shader unread), each image, the music.
    for (const char* file : {"Simple.vhl", "Fire.vhl", "Fire2.vhl", "Fire3.vhl", "Scroller.vhl", "intro.png",
                             "logo.png", "scrolltext.png", "outro.png", "fire7.png", "m.mp3"})
        EXPECT_EQ(CountLines(out, std::string(" ") + file + ":"), 1u) << file << " in:\n" << out;
    EXPECT_EQ(CountLines(out, "cinderglow: cannot "), 11u) << out;
    // --stats: the table at exit, after the recording's summary line; the
    // run draws the intro up to 14 s, where its last frame (the one the
    // recording stops at) passes into the first fire scene.
    EXPECT_LT(out.find("cinderglow: 2 frames"), out.find("scene      frames      fps     p50 ms     p99 ms")) << out;
    EXPECT_EQ(CountLines(out, "intro   "), 1u) << out;
    EXPECT_EQ(CountLines(out, "fire 1          1 "), 1u) << out;
    EXPECT_EQ(CountLines(out, "outro   "), 0u) << out;
}

TEST(Recording, AShaderThatDoesNotCompileIsReportedWithTheCompilerMessages) {
    fs::path dir = FreshDir("badshader");
    for (const auto& entry : fs::directory_iterator(fs::path(KILN_SOURCE_DIR) / "assets"))
        if (entry.is_regular_file()) fs::create_symlink(entry.path(), dir / entry.path().filename());
    fs::remove(dir / "Fire.phl");
    std::ofstream(dir / "Fire.phl") << "float4 ps_main() : COLOR { return undefined_colour; }\n";
    auto [out, code] = RunProgramIn(dir, "--record frames --fps 2 --from 13 --to 14");
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(CountLines(out, "cinderglow: cannot "), 1u) << out;
    EXPECT_EQ(CountLines(out, "cinderglow: cannot compile Fire.phl: compile failed"), 1u) << out;
    EXPECT_EQ(CountLines(out, "Fire.phl(1): error X3004: undeclared identifier 'undefined_colour'"), 1u)
        << "the compiler's messages follow: " << out;
}

}  // namespace
