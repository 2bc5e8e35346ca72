// Fuzz target: the whole load of an image file into a device texture, as the
// demo does it: every decoder in its trial order, the fit to the device, the
// conversion of the top level and the generation of the mip chain; and the
// cube and volume loads over the same bytes.
#include <cstdint>

#include "texture/kltexture.h"

namespace {

// Claimed sizes above this many pixels are read for their header only, so a
// run stays fast; the decoders' own bounds are covered by the decoder targets.
constexpr uint64_t kMaxLoadPixels = 1u << 16;

IDirect3DDevice9* Device() {
    static IDirect3DDevice9* device = [] {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = pp.BackBufferHeight = 16;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        IDirect3DDevice9* created = nullptr;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                          &created);
        d3d->Release();
        return created;
    }();
    return device;
}

template <typename T>
void Drop(T* object) {
    if (object) object->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IDirect3DDevice9* device = Device();
    if (!device || size > UINT32_MAX) return 0;
    ImageFileInfo info;
    if (FAILED(ImageInfoFromFileImage(data, UINT(size), &info))) return 0;
    if (uint64_t{info.Width} * info.Height * (info.Depth ? info.Depth : 1) > kMaxLoadPixels) return 0;

    IDirect3DTexture9* texture = nullptr;
    TextureFromFileImage(device, data, UINT(size), &texture);
    Drop(texture);
    texture = nullptr;
    // The image's own size and format, with box filtering and a colour key.
    TextureFromFileImage(device, data, UINT(size), kKeepSourceSize, kKeepSourceSize, kUseDefault, 0, D3DFMT_UNKNOWN,
                         D3DPOOL_MANAGED, kUseDefault, kUseDefault, 0xFF000000, nullptr, nullptr, &texture);
    Drop(texture);
    IDirect3DCubeTexture9* cube = nullptr;
    CubeTextureFromFileImage(device, data, UINT(size), &cube);
    Drop(cube);
    IDirect3DVolumeTexture9* volume = nullptr;
    VolumeTextureFromFileImage(device, data, UINT(size), &volume);
    Drop(volume);
    return 0;
}
