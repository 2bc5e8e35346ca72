// Device, messages and PNG output shared by the texture commands.
#include "texture_tool.h"

#include <png.h>

IDirect3DDevice9* CreateToolDevice() {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return nullptr;
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = pp.BackBufferHeight = 16;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    d3d->Release();
    return device;
}

const char* LoadResultText(HRESULT hr) {
    switch (hr) {
    case ERR_INVALID_DATA:
        return "not an image the loader reads, or the file cannot be opened";
    case D3DERR_INVALIDCALL:
        return "empty file or invalid request (such as a size the device cannot hold)";
    case D3DERR_NOTAVAILABLE:
        return "no device format can hold the image";
    case E_OUTOFMEMORY:
        return "out of memory";
    case E_FAIL:
        return "the pixels cannot be converted";
    default:
        return "loading failed";
    }
}

bool WritePngFromArgb(const std::string& path, const void* pixels, int pitch, UINT width, UINT height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_BGRA;  // bytes of 0xAARRGGBB in memory order
    return png_image_write_to_file(&image, path.c_str(), 0, pixels, pitch, nullptr) != 0;
}
