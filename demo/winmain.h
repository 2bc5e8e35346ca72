// The demo's entry point and the start-up glue that calls it.
#pragma once

// Parses the program's own options (--window, --record ...) and then calls
// WinMain with the module instance, no previous instance, the command line
// after the program name and SW_SHOWDEFAULT. Returns WinMain's exit code.
int RunWinMainFromArgs(int argc, char** argv);
