#include <cstdio>

#include "demo/winmain.h"

// Placeholder until the driver lands: the demo has nothing to show yet.
int RunWinMainFromArgs(int, char**) {
    std::fprintf(stderr, "cinderglow: the demo driver is not built yet\n");
    return 1;
}
