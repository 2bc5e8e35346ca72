// The parameter set of one texture creation request, filled by every entry
// point and handed to the common routine.
#pragma once

#include "platform/files.h"
#include "texture/kltexture.h"

struct TextureRequest {
    IDirect3DDevice9* device = nullptr;
    const void* data = nullptr;
    UINT size = 0;
    UINT width = kUseDefault, height = kUseDefault, depth = kUseDefault;
    UINT mipLevels = kUseDefault;
    DWORD usage = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = kUseDefault;
    DWORD mipFilter = kUseDefault;
    D3DCOLOR colorKey = 0;
    ImageFileInfo* info = nullptr;
    PALETTEENTRY* palette = nullptr;
    DWORD resourceType = D3DRTYPE_TEXTURE;  // kUseDefault: the image's own
    IDirect3DBaseTexture9** out = nullptr;
};

HRESULT CreateTextureFromRequest(const TextureRequest& request);

// The bytes of a named file or module resource, held while a request runs.
class FileBytes {
public:
    HRESULT OpenFile(LPCSTR name);
    HRESULT OpenFile(LPCWSTR name);
    HRESULT OpenResource(HMODULE module, LPCSTR name);
    HRESULT OpenResource(HMODULE module, LPCWSTR name);
    const void* data() const { return data_; }
    UINT size() const { return size_; }

private:
    platform::MappedFile file_;
    const void* data_ = nullptr;
    UINT size_ = 0;
};
