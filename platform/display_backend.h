// Internal seam between the window system (records, queue, dispatch) and the
// screen behind it (SDL). Only platform/ includes this.
#pragma once

#include <functional>
#include <string>

#include "platform/window.h"

namespace platform::display {

// Starts the video subsystem. Returns false and sets *error when no display
// can be reached.
bool Open(std::string* error);
void Close();

// A screen window; null when it could not be made.
void* CreateScreenWindow(const char* title, int x, int y, int width, int height);
void DestroyScreenWindow(void* screenWindow);
void ShowScreenWindow(void* screenWindow, bool visible);
bool SetScreenFullscreen(void* screenWindow, bool fullscreen);
bool PresentOnScreen(void* screenWindow, const void* pixels, int width, int height, int pitch);

// What the screen reports between two polls, already in window terms.
struct ScreenInput {
    void* screenWindow;  // null: addressed to every window (quit request)
    UINT message;        // WM_KEYDOWN, WM_KEYUP, WM_CLOSE, WM_SIZE, WM_PAINT
    WPARAM wParam;
    LPARAM lParam;
};
// Drains the screen's event queue without waiting.
void Poll(const std::function<void(const ScreenInput&)>& deliver);

bool DesktopSize(int* width, int* height, int* refreshRate);

}  // namespace platform::display
