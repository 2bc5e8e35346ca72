// Start-up glue: the program's options, the choice between screen and
// recording, and the call of WinMain as the platform's start-up makes it.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/data_folder.h"
#include "demo/frame_stats.h"
#include "demo/options.h"
#include "demo/recorder.h"
#include "demo/window_presenter.h"
#include "demo/winmain.h"
#include "gfx/presenter.h"
#include "platform/mci.h"
#include "platform/modules.h"
#include "platform/window.h"

namespace {

constexpr const char* kMusicFile = "m.mp3";

// The command line after the program name, words separated by spaces.
std::string CommandLineAfterProgram(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

int CallWinMain(int argc, char** argv) {
    std::string commandLine = CommandLineAfterProgram(argc, argv);
    return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}

// Moves into the data folder when the working folder does not hold the data.
// Output paths are made absolute first, so they still name what the user
// meant. Returns false with a message when the folder cannot be entered.
bool EnterDataFolder(demo::Options* options, std::string* error) {
    std::string folder = demo::FindDataFolder();
    if (folder.empty()) return true;
    std::error_code ec;
    for (std::string* path : {&options->record, &options->contactSheet})
        if (!path->empty()) *path = std::filesystem::absolute(*path, ec).string();
    if (chdir(folder.c_str()) != 0) {
        *error = "cannot enter the data folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

int ReadSceneCounter() { return demo_state; }

// Runs WinMain with `presenter` taking the frames, through `stats` when
// frame statistics were asked for.
int RunWithPresenter(int argc, char** argv, std::shared_ptr<gfx::Presenter> presenter,
                     const std::shared_ptr<demo::FrameStats>& stats) {
    if (stats) {
        stats->SetNext(presenter);
        presenter = stats;
    }
    gfx::SetDefaultPresenter(presenter);
    int code = CallWinMain(argc, argv);
    gfx::SetDefaultPresenter(nullptr);
    return code;
}

}  // namespace

int RunWinMainFromArgs(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    demo::Options options;
    std::string error;
    if (!demo::ParseOptions(args, &options, &error)) {
        std::fprintf(stderr, "cinderglow: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(demo::UsageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("cinderglow %s\n", KILN_VERSION);
        return 0;
    }
    auto stats = options.stats ? std::make_shared<demo::FrameStats>(&ReadSceneCounter) : nullptr;
    if (!EnterDataFolder(&options, &error)) {
        std::fprintf(stderr, "cinderglow: %s\n", error.c_str());
        return 1;
    }

    if (!options.Offscreen()) {
        if (!platform::DisplayInUse()) {
            std::fprintf(stderr, "cinderglow: no display to show the demo on (%s); try --record OUT to render it to files\n",
                         platform::DisplayError());
            return 1;
        }
        // The device is full screen: on today's desktops a borderless window
        // over the whole desktop with the image letterboxed, without a change
        // of display mode. --window keeps the window as created.
        platform::SetShowFullscreen(!options.window);
        int code = RunWithPresenter(argc, argv, std::make_shared<demo::WindowPresenter>(), stats);
        if (stats) stats->Print(stdout);
        return code;
    }

    platform::SetHeadless(true);
    platform::SetMusicOutput(platform::MusicOutput::Silent);
    auto recorder = demo::Recorder::Create(options, kMusicFile, &error);
    if (!recorder) {
        std::fprintf(stderr, "cinderglow: %s\n", error.c_str());
        return 1;
    }
    int code = RunWithPresenter(argc, argv, recorder, stats);
    // The recording ends its progress line first, so the table stands apart.
    bool finished = recorder->Finish(&error);
    if (stats) stats->Print(stdout);
    if (!finished) {
        std::fprintf(stderr, "cinderglow: %s\n", error.c_str());
        return 1;
    }
    return code;
}
