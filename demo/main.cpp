// Program entry: hands control to WinMain as the platform's start-up would.
#include "demo/winmain.h"

int main(int argc, char** argv) { return RunWinMainFromArgs(argc, argv); }
