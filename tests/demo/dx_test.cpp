// The device owner's presentation parameters, full screen and windowed.
#include <gtest/gtest.h>

#include "demo/dx.h"
#include "platform/window.h"

namespace {

LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(DeviceOwner, FullScreenPresentsImmediatelyAndWindowedKeepsTheDefaults) {
    platform::SetHeadless(true);
    platform::ResetWindowSystem();
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "dxTest";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "dxTest", "", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(window, nullptr);

    for (bool windowed : {false, true}) {
        SCOPED_TRACE(windowed);
        dx owner;
        owner.initDx3D(window, 800, 600, windowed);
        ASSERT_NE(owner.d3d, nullptr);
        ASSERT_NE(owner.device, nullptr);
        const D3DPRESENT_PARAMETERS& p = owner.presentParams;
        EXPECT_EQ(p.BackBufferWidth, 800u);
        EXPECT_EQ(p.BackBufferHeight, 600u);
        EXPECT_EQ(p.BackBufferFormat, D3DFMT_A8R8G8B8);
        EXPECT_EQ(p.BackBufferCount, 1u);
        EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_FLIP);
        EXPECT_EQ(p.hDeviceWindow, window);
        EXPECT_EQ(p.Windowed, windowed ? TRUE : FALSE);
        EXPECT_TRUE(p.EnableAutoDepthStencil);
        EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D24S8);
        EXPECT_EQ(p.Flags, 0u);
        EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
        EXPECT_EQ(p.PresentationInterval, windowed ? 0u : D3DPRESENT_INTERVAL_IMMEDIATE);
        EXPECT_GT(owner.displayMode.Width, 0u) << "the adapter's mode is kept";

        D3DSURFACE_DESC desc{};
        IDirect3DSurface9* back = nullptr;
        ASSERT_EQ(owner.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
        back->GetDesc(&desc);
        back->Release();
        EXPECT_EQ(desc.Width, 800u);
        EXPECT_EQ(desc.Height, 600u);
    }
    dx unused;  // never initialised: destroys without releasing anything
    platform::ResetWindowSystem();
}

}  // namespace
