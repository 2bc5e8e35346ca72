// Runs the llvmpipe reference frame (a separate program drawing a frame shaped
// like the demo's heaviest one through Mesa's llvmpipe) and reads its frames
// per second, so a benchmark can print our figures against it in one run.
// The program is built only when the EGL and GLES development files are
// installed; without it the reference is reported as unavailable.
#pragma once

#include <cstdio>
#include <string>

namespace benchref {

// Frames per second of the reference with `threads` rasterising threads
// (0: llvmpipe's default, one per core), or a negative value when the
// reference program is not built or did not report.
inline double ReferenceFps(unsigned threads, int frames = 200) {
#ifdef KILN_REFERENCE_PROGRAM
    std::string command = "EGL_PLATFORM=surfaceless LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe ";
    if (threads > 0) command += "LP_NUM_THREADS=" + std::to_string(threads) + " ";
    command += std::string("'") + KILN_REFERENCE_PROGRAM + "' " + std::to_string(frames) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1.0;
    double fps = -1.0;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) {
        double value = 0;
        if (std::sscanf(line, "llvmpipe_fps %lf", &value) == 1) fps = value;
    }
    pclose(pipe);
    return fps;
#else
    (void)threads, (void)frames;
    return -1.0;
#endif
}

}  // namespace benchref
