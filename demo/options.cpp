#include "demo/options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "demo/timeline.h"

namespace demo {
namespace {

constexpr int kMaxFps = 240;
// A day: far beyond the timeline, small enough that frame counts fit easily.
constexpr double kMaxSeconds = 86400.0;

bool EndsWith(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != suffix[i]) return false;
    }
    return true;
}

bool ParseNumber(const std::string& text, double* value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    return ec == std::errc() && ptr == end && std::isfinite(*value);
}

}  // namespace

bool Options::RecordsVideo() const { return EndsWith(record, ".mp4"); }

bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= args.size()) {
                *error = arg + " needs a value";
                return false;
            }
            *out = args[++i];
            return true;
        };
        auto seconds = [&](double* out) {
            std::string text;
            if (!value(&text)) return false;
            if (!ParseNumber(text, out) || *out < 0 || *out > kMaxSeconds) {
                *error = arg + " wants seconds from 0 to 86400, not \"" + text + "\"";
                return false;
            }
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--version") {
            options->version = true;
        } else if (arg == "--stats") {
            options->stats = true;
        } else if (arg == "--window") {
            options->window = true;
        } else if (arg == "--record") {
            if (!value(&options->record)) return false;
            if (options->record.empty()) {
                *error = "--record needs a directory or a .mp4 file name";
                return false;
            }
        } else if (arg == "--contact-sheet") {
            if (!value(&options->contactSheet)) return false;
            if (options->contactSheet.empty()) {
                *error = "--contact-sheet needs a file name";
                return false;
            }
        } else if (arg == "--fps") {
            std::string text;
            if (!value(&text)) return false;
            double fps = 0;
            if (!ParseNumber(text, &fps) || fps != std::floor(fps) || fps < 1 || fps > kMaxFps) {
                *error = "--fps wants a whole number from 1 to 240, not \"" + text + "\"";
                return false;
            }
            options->fps = static_cast<int>(fps);
        } else if (arg == "--from") {
            if (!seconds(&options->from)) return false;
        } else if (arg == "--to") {
            if (!seconds(&options->to)) return false;
        } else {
            *error = "unknown option \"" + arg + "\" (see --help)";
            return false;
        }
    }
    if (options->from >= kDemoLength) {
        char text[96];
        std::snprintf(text, sizeof(text), "--from %g is past the demo's end (it lasts %g s)", options->from,
                      double(kDemoLength));
        *error = text;
        return false;
    }
    if (options->to >= 0 && options->to <= options->from) {
        *error = "--to must be later than --from";
        return false;
    }
    bool timed = options->from > 0 || options->to >= 0;
    if (timed && !options->Offscreen()) {
        *error = "--from and --to apply to --record and --contact-sheet";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "Usage: cinderglow [options]\n"
           "Runs the Cinderglow demo: an intro, three fire scenes and an outro, about a\n"
           "minute and a half. Escape jumps to the outro; any other key quits.\n"
           "It reads its images, shaders and music from the working folder when they\n"
           "are there, else from ../share/cinderglow seen from the program's folder,\n"
           "where installing puts them.\n"
           "\n"
           "Options:\n"
           "  --window             show the demo in an 800 x 600 window instead of full screen\n"
           "  --record OUT         render without a display, on a clock that advances one\n"
           "                       frame at a time, with the music off; write the frames as\n"
           "                       OUT/frame_00000.png ... or, when OUT ends in .mp4 and\n"
           "                       ffmpeg is installed, one video with the music\n"
           "  --fps N              frames per second of a recording (default 30)\n"
           "  --from S             start writing at S seconds into the demo (default 0)\n"
           "  --to S               stop at S seconds (default: the demo's own end)\n"
           "  --contact-sheet F    write one PNG image of thumbnails taken evenly across\n"
           "                       the recorded run (alone, or with --record)\n"
           "  --stats              at exit, print per scene the frames drawn, frames per\n"
           "                       second and the 50th and 99th percentile frame times\n"
           "  --version            print the version and exit\n"
           "  --help               show this text\n";
}

}  // namespace demo
