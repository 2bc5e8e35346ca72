// The program's command-line options.
#pragma once

#include <string>
#include <vector>

namespace demo {

struct Options {
    bool help = false;
    bool version = false;
    bool stats = false;       // frame statistics per scene at exit
    bool window = false;      // an 800 x 600 window instead of full screen
    std::string record;       // output directory, or a .mp4 file; empty: show on screen
    std::string contactSheet; // PNG file of thumbnails across the run
    int fps = 30;
    double from = 0.0;        // seconds of the timeline to start writing at
    double to = -1.0;         // seconds to stop at; negative: the natural end

    // Whether the run renders off screen on a virtual clock.
    bool Offscreen() const { return !record.empty() || !contactSheet.empty(); }
    bool RecordsVideo() const;
};

// Parses argv[1..]. Returns false with a one-line message in *error for an
// unknown option, a missing or malformed value, or values out of range.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

// The text printed for --help.
const char* UsageText();

}  // namespace demo
