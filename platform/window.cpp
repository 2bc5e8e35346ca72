#include "platform/window.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/display_backend.h"

struct HWND__ {
    std::string className;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    DWORD style = 0;
    std::string title;
    int width = 0;
    int height = 0;
    bool visible = false;
    bool needsPaint = false;
    bool destroying = false;  // WM_DESTROY is being sent: a second DestroyWindow is refused
    void* screen = nullptr;
};

namespace {

struct WindowClass {
    WNDPROC proc;
    HINSTANCE instance;
};

// The thread's window system: classes, live windows and the message queue.
struct WindowSystem {
    std::map<std::string, WindowClass> classes;  // key: lower-case class name
    std::vector<std::unique_ptr<HWND__>> windows;
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quitPosted = false;
    int quitCode = 0;
    DWORD messageTime = 0;
};

WindowSystem& System() {
    static WindowSystem system;
    return system;
}

HWND__& Desktop() {
    static HWND__ desktop = [] {
        HWND__ d;
        d.className = "#32769";
        d.visible = true;
        return d;
    }();
    return desktop;
}

bool g_showFullscreen = false;

enum class DisplayState { Undecided, Headless, Open, Failed };
DisplayState g_display = DisplayState::Undecided;
std::string g_displayError;

std::string Lower(const char* text) {
    std::string s = text ? text : "";
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsLive(HWND window) {
    const auto& windows = System().windows;
    return window && std::any_of(windows.begin(), windows.end(), [&](const auto& w) { return w.get() == window; });
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = ++System().messageTime;
    return msg;
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window && msg.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

// Takes the first matching message of a queue.
bool TakeFrom(std::deque<MSG>& queue, MSG* out, HWND window, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!Matches(*it, window, filterMin, filterMax)) continue;
        *out = *it;
        if (remove) queue.erase(it);
        return true;
    }
    return false;
}

HWND WindowOfScreen(void* screen) {
    for (const auto& w : System().windows)
        if (w->screen == screen) return w.get();
    return nullptr;
}

void PollScreen() {
    if (!platform::DisplayInUse()) return;
    platform::display::Poll([](const platform::display::ScreenInput& in) {
        auto& system = System();
        if (!in.screenWindow) {
            for (const auto& w : system.windows) system.input.push_back(MakeMessage(w.get(), in.message, in.wParam, in.lParam));
            return;
        }
        HWND window = WindowOfScreen(in.screenWindow);
        if (!window) return;
        if (in.message == WM_PAINT) {
            window->needsPaint = true;
            return;
        }
        system.input.push_back(MakeMessage(window, in.message, in.wParam, in.lParam));
    });
}

// The character a key produces, for WM_CHAR (0: none).
char CharacterOfKey(UINT vk) {
    if (vk >= 'A' && vk <= 'Z') return static_cast<char>(vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9') return static_cast<char>(vk);
    switch (vk) {
        case VK_SPACE: return ' ';
        case VK_RETURN: return '\r';
        case VK_ESCAPE: return 0x1B;
        case VK_BACK: return 0x08;
        case VK_TAB: return '\t';
        default: return 0;
    }
}

HWND InjectionTarget(HWND window) {
    if (window) return window;
    auto& windows = System().windows;
    return windows.empty() ? nullptr : windows.back().get();
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) return 0;
    auto& classes = System().classes;
    std::string key = Lower(windowClass->lpszClassName);
    if (key.empty() || classes.count(key)) return 0;
    classes[key] = WindowClass{windowClass->lpfnWndProc, windowClass->hInstance};
    return static_cast<ATOM>(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    auto& system = System();
    std::string key = Lower(className);
    for (const auto& w : system.windows)
        if (Lower(w->className.c_str()) == key) return FALSE;
    return system.classes.erase(key) ? TRUE : FALSE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                     HWND, HMENU, HINSTANCE instance, LPVOID) {
    auto& system = System();
    auto cls = system.classes.find(Lower(className));
    if (cls == system.classes.end()) return nullptr;
    auto record = std::make_unique<HWND__>();
    record->className = className;
    record->proc = cls->second.proc;
    record->instance = instance ? instance : cls->second.instance;
    record->style = style;
    record->title = windowName ? windowName : "";
    record->width = width == CW_USEDEFAULT || width <= 0 ? 640 : width;
    record->height = height == CW_USEDEFAULT || height <= 0 ? 480 : height;
    HWND window = record.get();
    system.windows.push_back(std::move(record));

    if (window->proc(window, WM_NCCREATE, 0, 0) == 0 || window->proc(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if (platform::DisplayInUse()) {
        window->screen = platform::display::CreateScreenWindow(window->title.c_str(), x == CW_USEDEFAULT ? -1 : x,
                                                               y == CW_USEDEFAULT ? -1 : y, window->width,
                                                               window->height);
    }
    if (style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    return window;
}

BOOL DestroyWindow(HWND window) {
    if (!IsLive(window) || window->destroying) return FALSE;
    window->destroying = true;
    window->proc(window, WM_DESTROY, 0, 0);
    window->proc(window, WM_NCDESTROY, 0, 0);
    auto& system = System();
    if (window->screen) platform::display::DestroyScreenWindow(window->screen);
    auto addressed = [&](const MSG& m) { return m.hwnd == window; };
    system.posted.erase(std::remove_if(system.posted.begin(), system.posted.end(), addressed), system.posted.end());
    system.input.erase(std::remove_if(system.input.begin(), system.input.end(), addressed), system.input.end());
    auto& windows = system.windows;
    windows.erase(std::remove_if(windows.begin(), windows.end(), [&](const auto& w) { return w.get() == window; }),
                  windows.end());
    return TRUE;
}

BOOL IsWindow(HWND window) { return window == &Desktop() || IsLive(window) ? TRUE : FALSE; }

BOOL ShowWindow(HWND window, int showCommand) {
    if (!IsLive(window)) return FALSE;
    BOOL wasVisible = window->visible ? TRUE : FALSE;
    bool visible = showCommand != SW_HIDE;
    if (visible != window->visible) {
        window->visible = visible;
        window->proc(window, WM_SHOWWINDOW, visible ? TRUE : FALSE, 0);
        if (IsLive(window) && window->screen) {
            platform::display::ShowScreenWindow(window->screen, visible);
            if (visible && g_showFullscreen) platform::display::SetScreenFullscreen(window->screen, true);
        }
    }
    if (visible && IsLive(window)) window->needsPaint = true;
    return wasVisible;
}

HWND GetDesktopWindow() { return &Desktop(); }

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (!msg) return FALSE;
    auto& system = System();
    bool remove = (removeFlags & PM_REMOVE) != 0;
    PollScreen();
    if (TakeFrom(system.posted, msg, window, filterMin, filterMax, remove)) return TRUE;
    bool quitWanted = (filterMin == 0 && filterMax == 0) || (WM_QUIT >= filterMin && WM_QUIT <= filterMax);
    if (system.quitPosted && quitWanted) {
        *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(system.quitCode), 0);
        if (remove) system.quitPosted = false;
        return TRUE;
    }
    if (TakeFrom(system.input, msg, window, filterMin, filterMax, remove)) return TRUE;
    for (const auto& w : system.windows) {
        if (!w->visible || !w->needsPaint) continue;
        MSG paint = MakeMessage(w.get(), WM_PAINT, 0, 0);
        if (!Matches(paint, window, filterMin, filterMax)) continue;
        *msg = paint;  // stays pending until the window is validated
        return TRUE;
    }
    return FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    char c = CharacterOfKey(static_cast<UINT>(msg->wParam));
    if (c) System().posted.push_back(MakeMessage(msg->hwnd, WM_CHAR, static_cast<unsigned char>(c), msg->lParam));
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !IsLive(msg->hwnd)) return 0;
    return msg->hwnd->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLive(window)) return 0;
    return window->proc(window, message, wParam, lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !IsLive(window)) return FALSE;
    System().posted.push_back(MakeMessage(window, message, wParam, lParam));
    return TRUE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_NCCREATE: return TRUE;
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_PAINT: ValidateRect(window, nullptr); return 0;
        default: return 0;
    }
}

void PostQuitMessage(int exitCode) {
    auto& system = System();
    system.quitPosted = true;
    system.quitCode = exitCode;
}

BOOL ValidateRect(HWND window, const RECT*) {
    if (!IsLive(window)) return FALSE;
    window->needsPaint = false;
    return TRUE;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
    if (!IsLive(window)) return FALSE;
    window->needsPaint = true;
    return TRUE;
}

namespace platform {

bool DisplayInUse() {
    if (g_display == DisplayState::Undecided) {
        g_display = display::Open(&g_displayError) ? DisplayState::Open : DisplayState::Failed;
    }
    return g_display == DisplayState::Open;
}

bool SetHeadless(bool headless) {
    bool previous = g_display == DisplayState::Headless;
    if (headless) {
        if (g_display == DisplayState::Open) display::Close();
        g_display = DisplayState::Headless;
        g_displayError.clear();
    } else if (g_display == DisplayState::Headless) {
        g_display = DisplayState::Undecided;
    }
    return previous;
}

const char* DisplayError() { return g_displayError.c_str(); }

void SetShowFullscreen(bool fullscreen) { g_showFullscreen = fullscreen; }

void InjectKeyPress(HWND window, UINT virtualKey) {
    HWND target = InjectionTarget(window);
    if (!IsLive(target)) return;
    auto& input = System().input;
    input.push_back(MakeMessage(target, WM_KEYDOWN, virtualKey, 1));
    input.push_back(MakeMessage(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u)));
}

void InjectClose(HWND window) {
    HWND target = InjectionTarget(window);
    if (!IsLive(target)) return;
    System().input.push_back(MakeMessage(target, WM_CLOSE, 0, 0));
}

void ResetWindowSystem() {
    auto& system = System();
    for (const auto& w : system.windows)
        if (w->screen) display::DestroyScreenWindow(w->screen);
    system.windows.clear();
    system.classes.clear();
    system.posted.clear();
    system.input.clear();
    system.quitPosted = false;
    system.quitCode = 0;
}

HRESULT PresentToWindow(HWND window, const void* pixels, int width, int height, int pitch) {
    if (!IsLive(window) || !pixels || width <= 0 || height <= 0 || pitch < width * 4) return D3DERR_INVALIDCALL;
    if (!window->screen) return S_OK;
    return display::PresentOnScreen(window->screen, pixels, width, height, pitch) ? S_OK : E_FAIL;
}

HRESULT SetWindowFullscreen(HWND window, bool fullscreen) {
    if (!IsLive(window)) return D3DERR_INVALIDCALL;
    if (!window->screen) return S_OK;
    return display::SetScreenFullscreen(window->screen, fullscreen) ? S_OK : E_FAIL;
}

bool GetDesktopSize(int* width, int* height, int* refreshRate) {
    if (DisplayInUse() && display::DesktopSize(width, height, refreshRate)) return true;
    *width = 800;
    *height = 600;
    *refreshRate = 60;
    return false;
}

void LetterboxRect(int imageW, int imageH, int targetW, int targetH, int* x, int* y, int* w, int* h) {
    if (imageW <= 0 || imageH <= 0 || targetW <= 0 || targetH <= 0) {
        *x = *y = *w = *h = 0;
        return;
    }
    // Compare targetW / targetH with imageW / imageH without rounding.
    long long wide = static_cast<long long>(targetW) * imageH;
    long long tall = static_cast<long long>(targetH) * imageW;
    if (wide >= tall) {  // target is wider: bars left and right
        *h = targetH;
        *w = static_cast<int>(tall / imageH);
    } else {  // target is taller: bars above and below
        *w = targetW;
        *h = static_cast<int>(wide / imageW);
    }
    *x = (targetW - *w) / 2;
    *y = (targetH - *h) / 2;
}

}  // namespace platform
