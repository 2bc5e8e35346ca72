// The owner of the graphics root objects: the Direct3D object and the device.
#pragma once

#include "gfx/d3d9.h"

class dx {
public:
    dx() = default;
    ~dx();
    dx(const dx&) = delete;
    dx& operator=(const dx&) = delete;

    // Creates the device for `window`: a back buffer of width x height in
    // D3DFMT_A8R8G8B8 with a 24-bit depth / 8-bit stencil buffer. Full screen
    // (windowed false) presents immediately, without waiting for the retrace.
    // Results are not reported: a failed creation leaves `device` null.
    void initDx3D(HWND window, int width, int height, bool windowed);

    // The pointers start out null (rather than undefined) so that destroying an
    // owner whose initialisation never ran or failed releases nothing.
    IDirect3D9* d3d = nullptr;
    D3DDISPLAYMODE displayMode{};
    D3DPRESENT_PARAMETERS presentParams{};
    IDirect3DDevice9* device = nullptr;
};
