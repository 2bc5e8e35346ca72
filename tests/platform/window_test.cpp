#include <gtest/gtest.h>

#include <vector>

#include "platform/window.h"

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
};
std::vector<Seen> g_seen;
bool g_quitOnDestroy = true;
int g_destroyAgainResult = -1;

LRESULT TestProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_seen.push_back({message, wParam});
    if (message == WM_DESTROY) g_destroyAgainResult = DestroyWindow(window);
    if (message == WM_DESTROY && g_quitOnDestroy) PostQuitMessage(7);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT RefuseCreation(HWND, UINT, WPARAM, LPARAM) { return 0; }  // WM_NCCREATE 0: refuse

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetHeadless(true);
        platform::ResetWindowSystem();
        g_seen.clear();
        g_quitOnDestroy = true;
        WNDCLASSA wc{};
        wc.lpfnWndProc = TestProc;
        wc.lpszClassName = "testWindow";
        ASSERT_NE(RegisterClassA(&wc), 0);
        window = CreateWindowExA(0, "TESTWINDOW", "t", WS_OVERLAPPEDWINDOW, 100, 100, 800, 600, GetDesktopWindow(),
                                 nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { platform::ResetWindowSystem(); }

    // Drains the queue the way a main loop does; returns the messages taken.
    std::vector<UINT> Drain(bool* quit = nullptr, int* code = nullptr) {
        std::vector<UINT> taken;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            taken.push_back(msg.message);
            if (msg.message == WM_QUIT) {
                if (quit) *quit = true;
                if (code) *code = static_cast<int>(msg.wParam);
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (taken.size() > 100) break;
        }
        return taken;
    }

    HWND window = nullptr;
};

TEST_F(WindowTest, CreationSendsCreateMessagesAndRegistrationIsOncePerName) {
    ASSERT_GE(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, WM_NCCREATE);
    EXPECT_EQ(g_seen[1].message, WM_CREATE);
    WNDCLASSA again{};
    again.lpfnWndProc = TestProc;
    again.lpszClassName = "TestWindow";
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(CreateWindowExA(0, "noSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);

    WNDCLASSA refusing{};
    refusing.lpfnWndProc = RefuseCreation;
    refusing.lpszClassName = "refusing";
    RegisterClassA(&refusing);
    EXPECT_EQ(CreateWindowExA(0, "refusing", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_TRUE(IsWindow(GetDesktopWindow()));
}

TEST_F(WindowTest, PaintIsPendingFromShowUntilValidated) {
    EXPECT_TRUE(Drain().empty());  // hidden: nothing to paint
    ShowWindow(window, SW_SHOWDEFAULT);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_PAINT);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_PAINT) << "painting stays pending until the window is validated";
    ValidateRect(window, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(Drain(), std::vector<UINT>{WM_PAINT}) << "DefWindowProcA validates";
}

TEST_F(WindowTest, KeyPressArrivesAsVirtualKeyAndTranslatesToCharacter) {
    g_seen.clear();
    platform::InjectKeyPress(nullptr, 'Q');
    std::vector<UINT> taken = Drain();
    EXPECT_EQ(taken, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].wParam, WPARAM{'Q'});
    EXPECT_EQ(g_seen[1].wParam, WPARAM{'q'});

    platform::InjectKeyPress(window, VK_ESCAPE);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_KEYDOWN);
    EXPECT_EQ(msg.wParam, WPARAM{VK_ESCAPE});
    EXPECT_EQ(msg.hwnd, window);
}

TEST_F(WindowTest, QuitComesAfterPostedMessagesAndCarriesTheExitCode) {
    PostQuitMessage(3);
    PostMessageA(window, WM_USER, 1, 0);
    PostMessageA(window, WM_USER, 2, 0);
    bool quit = false;
    int code = -1;
    EXPECT_EQ(Drain(&quit, &code), (std::vector<UINT>{WM_USER, WM_USER, WM_QUIT}));
    EXPECT_TRUE(quit);
    EXPECT_EQ(code, 3);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit request is taken once";

    PostQuitMessage(4);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "PM_NOREMOVE leaves it queued";
    EXPECT_EQ(msg.wParam, WPARAM{4});
}

TEST_F(WindowTest, CloseDestroysTheWindowAndTheQuitIsTakenInTheSameDrain) {
    g_seen.clear();
    platform::InjectClose(window);
    platform::InjectKeyPress(window, 'A');  // queued behind the close: dropped with the window
    bool quit = false;
    int code = -1;
    std::vector<UINT> taken = Drain(&quit, &code);
    EXPECT_TRUE(quit);
    EXPECT_EQ(code, 7);
    EXPECT_FALSE(IsWindow(window));
    std::vector<UINT> procSaw;
    for (const Seen& s : g_seen) procSaw.push_back(s.message);
    EXPECT_EQ(taken, (std::vector<UINT>{WM_CLOSE, WM_QUIT}));
    EXPECT_EQ(procSaw, (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(g_destroyAgainResult, FALSE) << "destroying from inside WM_DESTROY is refused, not recursive";
}

TEST_F(WindowTest, DestroyedWindowsTakeNoMessagesAndRejectPresentation) {
    PostMessageA(window, WM_USER, 0, 0);
    g_quitOnDestroy = false;
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 0);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    uint32_t pixel = 0;
    EXPECT_EQ(platform::PresentToWindow(window, &pixel, 1, 1, 4), D3DERR_INVALIDCALL);
}

TEST_F(WindowTest, HeadlessPresentationChecksArguments) {
    std::vector<uint32_t> pixels(4 * 3);
    EXPECT_EQ(platform::PresentToWindow(window, pixels.data(), 4, 3, 16), S_OK);
    EXPECT_EQ(platform::PresentToWindow(window, pixels.data(), 4, 3, 8), D3DERR_INVALIDCALL);
    EXPECT_EQ(platform::PresentToWindow(window, nullptr, 4, 3, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(platform::PresentToWindow(window, pixels.data(), 0, 3, 16), D3DERR_INVALIDCALL);
    EXPECT_EQ(platform::SetWindowFullscreen(window, true), S_OK);
    EXPECT_FALSE(platform::DisplayInUse());
}

TEST(Letterbox, FitsTheImageCentredWithItsAspectRatio) {
    struct Case {
        int imageW, imageH, targetW, targetH, x, y, w, h;
    } cases[] = {
        {800, 600, 800, 600, 0, 0, 800, 600},      // same size
        {800, 600, 1920, 1080, 240, 0, 1440, 1080},  // wide screen: bars left and right
        {800, 600, 1024, 1280, 0, 256, 1024, 768},   // tall screen: bars above and below
        {800, 600, 1600, 1200, 0, 0, 1600, 1200},    // exact scale
        {800, 600, 1366, 768, 171, 0, 1024, 768},    // odd margin
        {800, 600, 0, 600, 0, 0, 0, 0},              // no target
    };
    for (const Case& c : cases) {
        int x, y, w, h;
        platform::LetterboxRect(c.imageW, c.imageH, c.targetW, c.targetH, &x, &y, &w, &h);
        EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{c.x, c.y, c.w, c.h}))
            << c.targetW << "x" << c.targetH;
    }
}

TEST(KeyMap, SdlKeysBecomeVirtualKeys) {
    // SDL key codes by their published values: printable keys are their
    // lower-case character, others scancode | 1 << 30.
    constexpr int32_t kScancodeBit = 1 << 30;
    struct Case {
        int32_t sdl;
        UINT vk;
    } cases[] = {
        {27, VK_ESCAPE},  {'a', 'A'},          {'z', 'Z'},          {'0', '0'},         {'9', '9'},
        {' ', VK_SPACE},  {'\r', VK_RETURN},   {58 | kScancodeBit, VK_F1},              {69 | kScancodeBit, VK_F1 + 11},
        {82 | kScancodeBit, VK_UP},            {98 | kScancodeBit, VK_NUMPAD0},         {89 | kScancodeBit, VK_NUMPAD0 + 1},
        {225 | kScancodeBit, VK_SHIFT},        {'-', VK_OEM_MINUS}, {0x7fffff, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::VirtualKeyFromSdlKey(c.sdl), c.vk) << c.sdl;
}

TEST(KeyMap, AltAndF10AreSystemKeys) {
    EXPECT_EQ(platform::KeyMessage('A', false, true), WM_KEYDOWN);
    EXPECT_EQ(platform::KeyMessage(VK_ESCAPE, false, false), WM_KEYUP);
    EXPECT_EQ(platform::KeyMessage(VK_MENU, false, true), WM_SYSKEYDOWN);
    EXPECT_EQ(platform::KeyMessage(VK_TAB, true, true), WM_SYSKEYDOWN) << "Alt+Tab";
    EXPECT_EQ(platform::KeyMessage(VK_F1 + 3, true, false), WM_SYSKEYUP) << "Alt+F4";
    EXPECT_EQ(platform::KeyMessage(VK_F1 + 9, false, true), WM_SYSKEYDOWN) << "F10";
    EXPECT_EQ(platform::KeyMessage(VK_CONTROL, false, true), WM_KEYDOWN);
}

}  // namespace
