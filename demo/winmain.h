// The demo's entry point, its window procedure and the start-up glue.
#pragma once

#include "platform/window.h"

// The scene counter: 0 loading, 1 intro, 2 to 4 the fire scenes, 10 outro,
// 11 the last frame. Written by the main loop and by MsgProc (Escape: 10).
extern int demo_state;

// Opens the window, creates the device, runs the timeline until the quit
// request and shuts down. Returns 0 (1 when no graphics device can be made).
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// The demo window's procedure: WM_DESTROY and any key but Escape ask to quit,
// Escape jumps to the outro, WM_PAINT validates the window.
LRESULT MsgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Parses the program's own options (--window, --record ...) and then calls
// WinMain with the module instance, no previous instance, the command line
// after the program name and SW_SHOWDEFAULT. Returns WinMain's exit code, or
// a non-zero code when the options or a recording fail.
int RunWinMainFromArgs(int argc, char** argv);
