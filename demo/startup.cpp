// Start-up glue: the program's options, the choice between screen and
// recording, and the call of WinMain as the platform's start-up makes it.
#include <cstdio>
#include <string>
#include <vector>

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
        gfx::SetDefaultPresenter(std::make_shared<demo::WindowPresenter>());
        return CallWinMain(argc, argv);
    }

    platform::SetHeadless(true);
    platform::SetMusicOutput(platform::MusicOutput::Silent);
    auto recorder = demo::Recorder::Create(options, kMusicFile, &error);
    if (!recorder) {
        std::fprintf(stderr, "cinderglow: %s\n", error.c_str());
        return 1;
    }
    gfx::SetDefaultPresenter(recorder);
    int code = CallWinMain(argc, argv);
    gfx::SetDefaultPresenter(nullptr);
    if (!recorder->Finish(&error)) {
        std::fprintf(stderr, "cinderglow: %s\n", error.c_str());
        return 1;
    }
    return code;
}
