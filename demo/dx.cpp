#include "demo/dx.h"

#include <cstring>

dx::~dx() {
    if (d3d) d3d->Release();
    if (device) device->Release();
}

void dx::initDx3D(HWND window, int width, int height, bool windowed) {
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return;
    d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &displayMode);

    std::memset(&presentParams, 0, sizeof(presentParams));
    presentParams.BackBufferWidth = static_cast<UINT>(width);
    presentParams.BackBufferHeight = static_cast<UINT>(height);
    presentParams.BackBufferFormat = D3DFMT_A8R8G8B8;
    presentParams.BackBufferCount = 1;
    presentParams.MultiSampleType = D3DMULTISAMPLE_NONE;
    presentParams.MultiSampleQuality = 0;
    presentParams.SwapEffect = D3DSWAPEFFECT_FLIP;
    presentParams.hDeviceWindow = window;
    presentParams.Windowed = windowed ? TRUE : FALSE;
    presentParams.EnableAutoDepthStencil = TRUE;
    presentParams.AutoDepthStencilFormat = D3DFMT_D24S8;
    presentParams.Flags = 0;
    if (!windowed) {
        presentParams.FullScreen_RefreshRateInHz = D3DPRESENT_RATE_DEFAULT;
        presentParams.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    }

    d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &presentParams,
                      &device);
}
