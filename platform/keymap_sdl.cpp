// SDL key codes to virtual-key codes.
#include <SDL.h>

#include "platform/window.h"

namespace platform {
namespace {

struct KeyPair {
    SDL_Keycode sdl;
    UINT vk;
};

constexpr KeyPair kKeys[] = {
    {SDLK_BACKSPACE, VK_BACK},    {SDLK_TAB, VK_TAB},
    {SDLK_RETURN, VK_RETURN},     {SDLK_KP_ENTER, VK_RETURN},
    {SDLK_PAUSE, VK_PAUSE},       {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_ESCAPE, VK_ESCAPE},     {SDLK_SPACE, VK_SPACE},
    {SDLK_PAGEUP, VK_PRIOR},      {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END},           {SDLK_HOME, VK_HOME},
    {SDLK_LEFT, VK_LEFT},         {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT},       {SDLK_DOWN, VK_DOWN},
    {SDLK_INSERT, VK_INSERT},     {SDLK_DELETE, VK_DELETE},
    {SDLK_KP_MULTIPLY, VK_MULTIPLY}, {SDLK_KP_PLUS, VK_ADD},
    {SDLK_KP_MINUS, VK_SUBTRACT}, {SDLK_KP_PERIOD, VK_DECIMAL},
    {SDLK_KP_DIVIDE, VK_DIVIDE},  {SDLK_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDLK_SCROLLLOCK, VK_SCROLL}, {SDLK_LSHIFT, VK_SHIFT},
    {SDLK_RSHIFT, VK_SHIFT},      {SDLK_LCTRL, VK_CONTROL},
    {SDLK_RCTRL, VK_CONTROL},     {SDLK_LALT, VK_MENU},
    {SDLK_RALT, VK_MENU},         {SDLK_SEMICOLON, VK_OEM_1},
    {SDLK_EQUALS, VK_OEM_PLUS},   {SDLK_COMMA, VK_OEM_COMMA},
    {SDLK_MINUS, VK_OEM_MINUS},   {SDLK_PERIOD, VK_OEM_PERIOD},
    {SDLK_SLASH, VK_OEM_2},       {SDLK_BACKQUOTE, VK_OEM_3},
    {SDLK_LEFTBRACKET, VK_OEM_4}, {SDLK_BACKSLASH, VK_OEM_5},
    {SDLK_RIGHTBRACKET, VK_OEM_6}, {SDLK_QUOTE, VK_OEM_7},
};

}  // namespace

UINT VirtualKeyFromSdlKey(int32_t sdlKey) {
    // Letters and digits: SDL uses the lower-case ASCII code, virtual keys the
    // upper-case one.
    if (sdlKey >= SDLK_a && sdlKey <= SDLK_z) return static_cast<UINT>('A' + (sdlKey - SDLK_a));
    if (sdlKey >= SDLK_0 && sdlKey <= SDLK_9) return static_cast<UINT>(sdlKey);
    if (sdlKey >= SDLK_F1 && sdlKey <= SDLK_F12) return VK_F1 + static_cast<UINT>(sdlKey - SDLK_F1);
    if (sdlKey >= SDLK_KP_1 && sdlKey <= SDLK_KP_9) return VK_NUMPAD0 + 1 + static_cast<UINT>(sdlKey - SDLK_KP_1);
    if (sdlKey == SDLK_KP_0) return VK_NUMPAD0;
    for (const KeyPair& k : kKeys)
        if (k.sdl == sdlKey) return k.vk;
    return 0;
}

UINT KeyMessage(UINT virtualKey, bool altHeld, bool down) {
    bool system = altHeld || virtualKey == VK_MENU || virtualKey == VK_F1 + 9;
    if (system) return down ? WM_SYSKEYDOWN : WM_SYSKEYUP;
    return down ? WM_KEYDOWN : WM_KEYUP;
}

}  // namespace platform
