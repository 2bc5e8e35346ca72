// A software device for texture tests, and small helpers to read levels back.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "texture/kltexture.h"

namespace textest {

inline IDirect3DDevice9* CreateTestDevice() {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return nullptr;
    D3DPRESENT_PARAMETERS pp = {};
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device);
    d3d->Release();
    return device;
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        device_ = CreateTestDevice();
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        if (device_) device_->Release();
    }
    IDirect3DDevice9* device_ = nullptr;
};

// The 32-bit pixels of one level of an A8R8G8B8 or X8R8G8B8 texture, row by row.
inline std::vector<uint32_t> ReadLevel32(IDirect3DTexture9* texture, UINT level, UINT* width = nullptr,
                                         UINT* height = nullptr) {
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked;
    std::vector<uint32_t> out;
    if (FAILED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) return out;
    out.resize(size_t{desc.Width} * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y)
        memcpy(out.data() + size_t{y} * desc.Width, static_cast<const uint8_t*>(locked.pBits) + size_t{y} * locked.Pitch,
               desc.Width * 4);
    texture->UnlockRect(level);
    if (width) *width = desc.Width;
    if (height) *height = desc.Height;
    return out;
}

// Writes bytes to a file under the build tree and returns its path.
inline std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = std::string(KILN_BINARY_DIR) + "/texture_test_" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f) {
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    return path;
}

}  // namespace textest
