// Windows, window classes and the message queue. One thread, one queue.
//
// A window here is a record with a class (its window procedure) and, when a
// display is in use, an SDL window behind it. Without a display, windows are
// records only: messages still flow through the same queue, so programs and
// tests run the same code with and without a screen. Input from the display
// (keys, the close button, exposure) and input injected by tests arrive the
// same way: as WM_KEYDOWN with virtual-key codes, WM_CLOSE, WM_PAINT.
#pragma once

#include "platform/modules.h"
#include "platform/wintypes.h"

struct HMENU__;
using HMENU = HMENU__*;
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;
using ATOM = WORD;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// Messages.
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_USER = 0x0400;

// Window styles and show commands.
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWDEFAULT = 10;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

// PeekMessage options.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// Virtual-key codes.
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_SHIFT = 0x10;
constexpr UINT VK_CONTROL = 0x11;
constexpr UINT VK_MENU = 0x12;
constexpr UINT VK_PAUSE = 0x13;
constexpr UINT VK_CAPITAL = 0x14;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;
// '0'..'9' and 'A'..'Z' are their ASCII codes.
constexpr UINT VK_NUMPAD0 = 0x60;
constexpr UINT VK_MULTIPLY = 0x6A;
constexpr UINT VK_ADD = 0x6B;
constexpr UINT VK_SUBTRACT = 0x6D;
constexpr UINT VK_DECIMAL = 0x6E;
constexpr UINT VK_DIVIDE = 0x6F;
constexpr UINT VK_F1 = 0x70;
constexpr UINT VK_NUMLOCK = 0x90;
constexpr UINT VK_SCROLL = 0x91;
constexpr UINT VK_LSHIFT = 0xA0;
constexpr UINT VK_RSHIFT = 0xA1;
constexpr UINT VK_LCONTROL = 0xA2;
constexpr UINT VK_RCONTROL = 0xA3;
constexpr UINT VK_LMENU = 0xA4;
constexpr UINT VK_RMENU = 0xA5;
constexpr UINT VK_OEM_1 = 0xBA;       // ;:
constexpr UINT VK_OEM_PLUS = 0xBB;    // =+
constexpr UINT VK_OEM_COMMA = 0xBC;   // ,<
constexpr UINT VK_OEM_MINUS = 0xBD;   // -_
constexpr UINT VK_OEM_PERIOD = 0xBE;  // .>
constexpr UINT VK_OEM_2 = 0xBF;       // /?
constexpr UINT VK_OEM_3 = 0xC0;       // `~
constexpr UINT VK_OEM_4 = 0xDB;       // [{
constexpr UINT VK_OEM_5 = 0xDC;       // backslash |
constexpr UINT VK_OEM_6 = 0xDD;       // ]}
constexpr UINT VK_OEM_7 = 0xDE;       // '"

ATOM RegisterClassA(const WNDCLASSA* windowClass);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);

// Creates a window of a registered class and sends it WM_NCCREATE and
// WM_CREATE. Returns null for an unknown class. With a display in use, an SDL
// window of the given size is created (hidden until ShowWindow).
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
// Sends WM_DESTROY and WM_NCDESTROY, then removes the window.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// Shows or hides the window; showing marks it for painting (WM_PAINT).
BOOL ShowWindow(HWND window, int showCommand);
// The desktop: a window that always exists and is the parent of top-level ones.
HWND GetDesktopWindow();

// Takes the next message for `window` (null: any window of this thread) in the
// order: posted messages, the quit request, input, painting. Returns FALSE when
// there is none. Never waits.
BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Posts WM_CHAR for key presses that produce a character.
BOOL TranslateMessage(const MSG* msg);
// Calls the window procedure of the message's window and returns its result.
LRESULT DispatchMessageA(const MSG* msg);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Default handling: WM_CLOSE destroys the window, WM_PAINT validates it,
// everything else returns 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Asks the message loop to end: the next PeekMessageA that finds no posted
// message returns WM_QUIT with the exit code in wParam.
void PostQuitMessage(int exitCode);
// Marks the window (null rectangle: all of it) as painted.
BOOL ValidateRect(HWND window, const RECT* rect);
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);

namespace platform {

// Whether windows get a screen. Decided once, on first use: true when SDL's
// video subsystem starts (a display is reachable) unless SetHeadless(true) was
// called before.
bool DisplayInUse();
// Forces windows without a screen (tests, recording). Call before creating
// windows; returns the previous setting.
bool SetHeadless(bool headless);
// The reason the display could not be opened ("" when it could or when
// headless was chosen).
const char* DisplayError();

// Adds input as if it came from the user: a key press (WM_KEYDOWN with the
// virtual key, then WM_KEYUP) or a press of the close button (WM_CLOSE).
// Null window: the most recently created live window.
void InjectKeyPress(HWND window, UINT virtualKey);
void InjectClose(HWND window);

// Drops all windows, classes, queued messages and the quit request (tests).
void ResetWindowSystem();

// Shows an image of width x height 32-bit pixels (0xAARRGGBB in memory as a
// native uint32_t, rows `pitch` bytes apart) in the window, scaled to fit the
// window's client area with black bars where the aspect ratios differ.
// Returns S_OK, or D3DERR_INVALIDCALL for a bad window or arguments; without a
// display it does nothing and returns S_OK.
HRESULT PresentToWindow(HWND window, const void* pixels, int width, int height, int pitch);
// Full screen: a borderless window covering the desktop at its resolution (no
// change of display mode). Otherwise a normal window of its created size.
HRESULT SetWindowFullscreen(HWND window, bool fullscreen);
// When set, top-level windows go full screen as soon as they are shown, so a
// program that will present full screen covers the desktop from its start.
void SetShowFullscreen(bool fullscreen);

// The desktop's size and refresh rate. Without a display: 800 x 600 at 60 Hz,
// and the result is false.
bool GetDesktopSize(int* width, int* height, int* refreshRate);

// Maps an SDL key code to a virtual-key code (0 when it has none).
UINT VirtualKeyFromSdlKey(int32_t sdlKey);
// The message a key press or release arrives as: system keys (Alt itself,
// any key while Alt is held, and F10) come as WM_SYSKEYDOWN / WM_SYSKEYUP,
// which window procedures normally leave to DefWindowProcA; all others as
// WM_KEYDOWN / WM_KEYUP.
UINT KeyMessage(UINT virtualKey, bool altHeld, bool down);

// Where letterboxing places an image of imageW x imageH inside a target of
// targetW x targetH: the largest rectangle with the image's aspect ratio,
// centred. Written to x, y, w, h.
void LetterboxRect(int imageW, int imageH, int targetW, int targetH, int* x, int* y, int* w, int* h);

}  // namespace platform
