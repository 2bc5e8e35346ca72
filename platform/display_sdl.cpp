// The screen behind windows: SDL2 windows, a renderer per window that shows
// presented images scaled and letterboxed, and SDL events turned into window
// input.
#include <SDL.h>

#include <map>
#include <vector>

#include "platform/display_backend.h"

namespace platform::display {
namespace {

struct Screen {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureW = 0;
    int textureH = 0;
};

std::map<SDL_Window*, Screen>& Screens() {
    static std::map<SDL_Window*, Screen> screens;
    return screens;
}

Screen* Find(void* screenWindow) {
    auto it = Screens().find(static_cast<SDL_Window*>(screenWindow));
    return it == Screens().end() ? nullptr : &it->second;
}

bool g_open = false;

// Key repeat sets bit 30 of lParam ("was down"); released keys set bits 30 and
// 31; the repeat count in the low word is always 1.
LPARAM KeyLParam(const SDL_KeyboardEvent& key) {
    LPARAM scan = static_cast<LPARAM>(key.keysym.scancode & 0xFF) << 16;
    if (key.type == SDL_KEYUP) return static_cast<LPARAM>(0xC0000001u) | scan;
    return 1 | scan | (key.repeat ? (LPARAM{1} << 30) : 0);
}

// The display servers to try, in order, when the user has not named an SDL
// video driver: the ones the environment points to, then the console. Naming
// them keeps SDL from falling back to drivers that draw nowhere and from
// probing servers that cannot be there.
std::vector<const char*> DisplayCandidates() {
    std::vector<const char*> candidates;
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    const char* x11 = SDL_getenv("DISPLAY");
    if (wayland && *wayland) candidates.push_back("wayland");
    if (x11 && *x11) candidates.push_back("x11");
    candidates.push_back("KMSDRM");
    return candidates;
}

bool StartVideo(std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        *error = SDL_GetError();
        return false;
    }
    if (SDL_GetNumVideoDisplays() < 1) {
        *error = "the display server reports no screen";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

}  // namespace

bool Open(std::string* error) {
    if (g_open) return true;
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    if (requested && *requested) {
        g_open = StartVideo(error);
        return g_open;
    }
    for (const char* driver : DisplayCandidates()) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
        g_open = StartVideo(error);
        if (g_open) break;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, nullptr);
    if (!g_open) *error = "no X11, Wayland or console display was found";
    return g_open;
}

void Close() {
    if (!g_open) return;
    for (auto& [window, screen] : Screens()) {
        if (screen.texture) SDL_DestroyTexture(screen.texture);
        if (screen.renderer) SDL_DestroyRenderer(screen.renderer);
        SDL_DestroyWindow(window);
    }
    Screens().clear();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    g_open = false;
}

void* CreateScreenWindow(const char* title, int x, int y, int width, int height) {
    if (!g_open) return nullptr;
    int px = x < 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : x;
    int py = y < 0 ? static_cast<int>(SDL_WINDOWPOS_CENTERED) : y;
    SDL_Window* window = SDL_CreateWindow(title, px, py, width, height, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (!window) return nullptr;
    Screen screen;
    screen.window = window;
    // No SDL_RENDERER_PRESENTVSYNC: presentation is immediate.
    screen.renderer = SDL_CreateRenderer(window, -1, 0);
    if (!screen.renderer) screen.renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    Screens()[window] = screen;
    return window;
}

void DestroyScreenWindow(void* screenWindow) {
    Screen* screen = Find(screenWindow);
    if (!screen) return;
    if (screen->texture) SDL_DestroyTexture(screen->texture);
    if (screen->renderer) SDL_DestroyRenderer(screen->renderer);
    SDL_DestroyWindow(screen->window);
    Screens().erase(screen->window);
}

void ShowScreenWindow(void* screenWindow, bool visible) {
    Screen* screen = Find(screenWindow);
    if (!screen) return;
    if (visible) {
        SDL_ShowWindow(screen->window);
        SDL_RaiseWindow(screen->window);
        // Black until the first image arrives, rather than whatever the
        // screen held.
        if (screen->renderer) {
            SDL_SetRenderDrawColor(screen->renderer, 0, 0, 0, 255);
            SDL_RenderClear(screen->renderer);
            SDL_RenderPresent(screen->renderer);
        }
    } else {
        SDL_HideWindow(screen->window);
    }
}

bool SetScreenFullscreen(void* screenWindow, bool fullscreen) {
    Screen* screen = Find(screenWindow);
    if (!screen) return false;
    if (fullscreen) {
        // Full screen is a request to the window manager; without one (a bare
        // X server, a kiosk) nothing would change. So the window first covers
        // its display by itself: no border, placed and sized to the display.
        SDL_Rect bounds;
        int display = SDL_GetWindowDisplayIndex(screen->window);
        if (display >= 0 && SDL_GetDisplayBounds(display, &bounds) == 0) {
            SDL_SetWindowBordered(screen->window, SDL_FALSE);
            SDL_SetWindowPosition(screen->window, bounds.x, bounds.y);
            SDL_SetWindowSize(screen->window, bounds.w, bounds.h);
        }
    }
    // FULLSCREEN_DESKTOP keeps the desktop's mode: no mode switch.
    if (SDL_SetWindowFullscreen(screen->window, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return false;
    SDL_ShowCursor(fullscreen ? SDL_DISABLE : SDL_ENABLE);
    return true;
}

bool PresentOnScreen(void* screenWindow, const void* pixels, int width, int height, int pitch) {
    Screen* screen = Find(screenWindow);
    if (!screen || !screen->renderer) return false;
    if (!screen->texture || screen->textureW != width || screen->textureH != height) {
        if (screen->texture) SDL_DestroyTexture(screen->texture);
        screen->texture =
            SDL_CreateTexture(screen->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
        if (!screen->texture) return false;
        // The image is opaque whatever its alpha channel holds.
        SDL_SetTextureBlendMode(screen->texture, SDL_BLENDMODE_NONE);
        screen->textureW = width;
        screen->textureH = height;
    }
    if (SDL_UpdateTexture(screen->texture, nullptr, pixels, pitch) != 0) return false;
    int outW = 0, outH = 0;
    if (SDL_GetRendererOutputSize(screen->renderer, &outW, &outH) != 0) return false;
    SDL_Rect dst;
    LetterboxRect(width, height, outW, outH, &dst.x, &dst.y, &dst.w, &dst.h);
    SDL_SetRenderDrawColor(screen->renderer, 0, 0, 0, 255);
    SDL_RenderClear(screen->renderer);
    SDL_RenderCopy(screen->renderer, screen->texture, nullptr, &dst);
    SDL_RenderPresent(screen->renderer);
    return true;
}

bool IsModifier(SDL_Keycode key) {
    switch (key) {
        case SDLK_LCTRL: case SDLK_RCTRL: case SDLK_LSHIFT: case SDLK_RSHIFT:
        case SDLK_LALT: case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: return true;
        default: return false;
    }
}

void Poll(const std::function<void(const ScreenInput&)>& deliver) {
    if (!g_open) return;
    SDL_Event event;
    // On gaining focus SDL reports modifiers that are held down (say, Alt
    // while switching windows) as fresh presses. They were pressed elsewhere,
    // so they are not passed on as key presses in this window.
    bool justFocused = false;
    while (SDL_PollEvent(&event)) {
        bool focusEvent = event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED;
        bool heldOver = justFocused && event.type == SDL_KEYDOWN && !event.key.repeat && IsModifier(event.key.keysym.sym);
        justFocused = focusEvent || heldOver;
        switch (event.type) {
            case SDL_KEYDOWN:
            case SDL_KEYUP: {
                if (heldOver) break;
                // Keys without a virtual-key code of their own still arrive, as
                // 0xFF, the code the platform gives such keys.
                UINT vk = VirtualKeyFromSdlKey(event.key.keysym.sym);
                if (vk == 0) vk = 0xFF;
                bool altHeld = (event.key.keysym.mod & KMOD_ALT) != 0;
                void* screen = SDL_GetWindowFromID(event.key.windowID);
                deliver({screen, KeyMessage(vk, altHeld, event.type == SDL_KEYDOWN), vk, KeyLParam(event.key)});
                break;
            }
            case SDL_WINDOWEVENT: {
                void* screen = SDL_GetWindowFromID(event.window.windowID);
                if (!screen) break;
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) deliver({screen, WM_CLOSE, 0, 0});
                if (event.window.event == SDL_WINDOWEVENT_EXPOSED) deliver({screen, WM_PAINT, 0, 0});
                if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                    LPARAM size = (static_cast<LPARAM>(event.window.data2 & 0xFFFF) << 16) |
                                  static_cast<LPARAM>(event.window.data1 & 0xFFFF);
                    deliver({screen, WM_SIZE, 0, size});
                }
                break;
            }
            case SDL_QUIT:  // interrupt signal or the session ending: close every window
                deliver({nullptr, WM_CLOSE, 0, 0});
                break;
            default: break;
        }
    }
}

bool DesktopSize(int* width, int* height, int* refreshRate) {
    if (!g_open) return false;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    *width = mode.w;
    *height = mode.h;
    *refreshRate = mode.refresh_rate;
    return true;
}

}  // namespace platform::display
