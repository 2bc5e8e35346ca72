// Image file writers: the bitmap layout down to its padding, every bitmap and
// DDS format read back bit-exact through our own reader and loader, JPEG
// within a stated PSNR, DDS mip chains, cube faces and volumes, and the
// refusals that must leave no file behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/texture/texture_test_device.h"
#include "texture/decoders/dds_format.h"
#include "texture/decoders/image_writer.h"
#include "texture/decoders/source_image.h"
#include "texture/pixels/format_table.h"
#include "texture/pixels/pixel_converter.h"

using textest::DeviceTest;

namespace {

using Bytes = std::vector<uint8_t>;

std::string TempPath(const std::string& name) { return std::string(KILN_BINARY_DIR) + "/writer_test_" + name; }

Bytes ReadFile(const std::string& path) {
    Bytes bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

bool FileExists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

uint32_t Le32(const Bytes& b, size_t at) { return ReadLe32(b.data() + at); }

// Fills every storage row of a locked rectangle with bytes from a seeded
// generator, so that each level and face differs.
void FillRandom(const D3DLOCKED_RECT& locked, uint32_t rowBytes, uint32_t rows, uint32_t seed) {
    for (uint32_t y = 0; y < rows; ++y) {
        BYTE* row = static_cast<BYTE*>(locked.pBits) + size_t{y} * locked.Pitch;
        for (uint32_t x = 0; x < rowBytes; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = static_cast<BYTE>(seed >> 24);
        }
    }
}

Bytes StorageBytes(const D3DLOCKED_RECT& locked, uint32_t rowBytes, uint32_t rows) {
    Bytes out;
    for (uint32_t y = 0; y < rows; ++y) {
        const BYTE* row = static_cast<const BYTE*>(locked.pBits) + size_t{y} * locked.Pitch;
        out.insert(out.end(), row, row + rowBytes);
    }
    return out;
}

// The storage rows of a whole surface.
Bytes SurfaceBytes(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc;
    surface->GetDesc(&desc);
    D3DLOCKED_RECT locked;
    Bytes out;
    if (SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        out = StorageBytes(locked, StorageRowBytes(desc.Format, desc.Width), StorageRowCount(desc.Format, desc.Height));
        surface->UnlockRect();
    }
    surface->Release();
    return out;
}

Bytes LevelBytes(IDirect3DTexture9* tex, UINT level) {
    IDirect3DSurface9* s = nullptr;
    return SUCCEEDED(tex->GetSurfaceLevel(level, &s)) ? SurfaceBytes(s) : Bytes{};
}

Bytes FaceBytes(IDirect3DCubeTexture9* tex, UINT face, UINT level) {
    IDirect3DSurface9* s = nullptr;
    return SUCCEEDED(tex->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, &s)) ? SurfaceBytes(s)
                                                                                           : Bytes{};
}

Bytes VolumeBytes(IDirect3DVolumeTexture9* tex, UINT level) {
    D3DVOLUME_DESC desc;
    tex->GetLevelDesc(level, &desc);
    D3DLOCKED_BOX locked;
    if (FAILED(tex->LockBox(level, &locked, nullptr, D3DLOCK_READONLY))) return {};
    Bytes out;
    for (UINT z = 0; z < desc.Depth; ++z) {
        const D3DLOCKED_RECT slice = {locked.RowPitch, static_cast<BYTE*>(locked.pBits) + size_t{z} * locked.SlicePitch};
        const Bytes part = StorageBytes(slice, StorageRowBytes(desc.Format, desc.Width), desc.Height);
        out.insert(out.end(), part.begin(), part.end());
    }
    tex->UnlockBox(level);
    return out;
}

// Fills every level with seeded random bytes.
void RandomizeTexture(IDirect3DTexture9* tex, uint32_t seed) {
    for (UINT level = 0; level < tex->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc;
        tex->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked;
        ASSERT_EQ(tex->LockRect(level, &locked, nullptr, 0), S_OK);
        FillRandom(locked, StorageRowBytes(desc.Format, desc.Width), StorageRowCount(desc.Format, desc.Height),
                   seed + level);
        tex->UnlockRect(level);
    }
}

// Colours that cover every channel value range, for formats whose unused
// bits must come from the encoder to round-trip.
void Scatter(KLVECTOR4* out, const KLVECTOR2* c, const KLVECTOR2*, LPVOID) {
    const float x = c->x, y = c->y;
    *out = {std::fmod(x * 7.3f + y, 1.0f), std::fmod(y * 5.1f + x * 0.3f, 1.0f), std::fmod(x * y * 11.0f, 1.0f),
            std::fmod(x * 3.0f + y * 2.0f, 1.0f)};
}

class ImageWriters : public DeviceTest {
protected:
    IDirect3DTexture9* Scratch(UINT w, UINT h, UINT levels, D3DFORMAT format) {
        IDirect3DTexture9* tex = nullptr;
        device_->CreateTexture(w, h, levels, 0, format, D3DPOOL_SCRATCH, &tex, nullptr);
        return tex;
    }
    // Loads a file back at its own size, one level, in `format`, unfiltered.
    IDirect3DTexture9* LoadBack(const std::string& path, D3DFORMAT format, PALETTEENTRY* palette = nullptr) {
        IDirect3DTexture9* tex = nullptr;
        const HRESULT hr = TextureFromNamedFileA(device_, path.c_str(), kKeepSourceSize, kKeepSourceSize, 1, 0, format,
                                                 D3DPOOL_SCRATCH, TexFilterNone, TexFilterNone, 0, nullptr, palette,
                                                 &tex);
        EXPECT_EQ(hr, S_OK) << path;
        return tex;
    }
};

TEST_F(ImageWriters, ThreeByTwoRgbBitmapPadsRowsAndFile) {
    IDirect3DTexture9* tex = Scratch(3, 2, 1, D3DFMT_R8G8B8);
    ASSERT_NE(tex, nullptr);
    RandomizeTexture(tex, 7);
    const Bytes pixels = LevelBytes(tex, 0);
    IDirect3DSurface9* surface = nullptr;
    tex->GetSurfaceLevel(0, &surface);
    const std::string bmp = TempPath("3x2.bmp"), dib = TempPath("3x2.dib");
    ASSERT_EQ(SaveSurfaceToNamedFileA(bmp.c_str(), ImageFileBmp, surface, nullptr, nullptr), S_OK);
    ASSERT_EQ(SaveSurfaceToNamedFileA(dib.c_str(), ImageFileDib, surface, nullptr, nullptr), S_OK);
    surface->Release();
    tex->Release();

    const Bytes file = ReadFile(bmp);
    ASSERT_EQ(file.size(), 80u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Le32(file, 2), 80u);
    EXPECT_EQ(Le32(file, 10), 54u);  // pixel offset
    EXPECT_EQ(Le32(file, 14), 40u);
    EXPECT_EQ(Le32(file, 18), 3u);
    EXPECT_EQ(Le32(file, 22), 2u);  // positive: bottom-up
    EXPECT_EQ(ReadLe16(file.data() + 28), 24u);
    EXPECT_EQ(Le32(file, 38), 2834u);
    // Bottom row first, 9 pixel bytes and 3 zero bytes each, then 2 zero bytes.
    for (int row = 0; row < 2; ++row) {
        const size_t at = 54 + 12 * row;
        const size_t source = (1 - row) * 9;
        EXPECT_TRUE(std::equal(pixels.begin() + source, pixels.begin() + source + 9, file.begin() + at)) << row;
        EXPECT_EQ(file[at + 9] | file[at + 10] | file[at + 11], 0) << row;
    }
    EXPECT_EQ(file[78] | file[79], 0);
    // The same without the 14-byte file header: 40 + 24 bytes, already aligned.
    const Bytes headerless = ReadFile(dib);
    ASSERT_EQ(headerless.size(), 64u);
    EXPECT_TRUE(std::equal(headerless.begin(), headerless.end(), file.begin() + 14));
}

// Every format of the bitmap list comes back bit-exact through the loader.
TEST_F(ImageWriters, EveryBitmapFormatRoundTripsBitExact) {
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i * 7), BYTE(255 - i), BYTE(i ^ 0x5A), 255};
    for (const D3DFORMAT* f = WritableFormats(ImageFileBmp); *f != D3DFMT_UNKNOWN; ++f) {
        SCOPED_TRACE(FormatName(*f));
        IDirect3DTexture9* tex = Scratch(5, 3, 1, *f);
        ASSERT_NE(tex, nullptr);
        const bool palettised = *f == D3DFMT_P8;
        if (palettised)
            RandomizeTexture(tex, 3);
        else
            ASSERT_EQ(FillTexture(tex, Scatter, nullptr), S_OK);
        const Bytes before = LevelBytes(tex, 0);
        const std::string path = TempPath(std::string(FormatName(*f)) + ".bmp");
        ASSERT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileBmp, tex, palettised ? palette : nullptr), S_OK);
        tex->Release();
        PALETTEENTRY loaded[256] = {};
        IDirect3DTexture9* back = LoadBack(path, *f, loaded);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(LevelBytes(back, 0), before);
        if (palettised) {
            EXPECT_EQ(std::memcmp(loaded, palette, sizeof(palette)), 0);
        }
        back->Release();
        std::remove(path.c_str());
    }
}

// Every DDS format, block and pair formats included, is written as stored
// and read back bit-exact by our DDS reader.
TEST_F(ImageWriters, EveryDdsFormatRoundTripsBitExact) {
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i * 3), BYTE(i * 5), BYTE(255 - i)};
    int written = 0;
    for (const D3DFORMAT* f = WritableFormats(ImageFileDds); *f != D3DFMT_UNKNOWN; ++f) {
        SCOPED_TRACE(FormatName(*f) ? FormatName(*f) : "?");
        IDirect3DTexture9* tex = Scratch(8, 6, 1, *f);
        if (!tex) {
            // Depth formats are not texture formats on this device.
            EXPECT_EQ(FindFormatTraits(*f)->cls, FormatClass::DepthStencil);
            continue;
        }
        RandomizeTexture(tex, 11);
        const Bytes before = LevelBytes(tex, 0);
        const std::string path = TempPath("format.dds");
        ASSERT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileDds, tex, IsPaletteFormat(*f) ? palette : nullptr),
                  S_OK);
        tex->Release();
        const Bytes file = ReadFile(path);
        SourceImage image;
        ASSERT_EQ(ReadImageFile(&image, file.data(), file.size(), nullptr, true), S_OK);
        EXPECT_EQ(image.format, *f);
        EXPECT_EQ(image.width, 8u);
        EXPECT_EQ(image.height, 6u);
        ASSERT_EQ(file.size(), 128 + (IsPaletteFormat(*f) ? 1024 : 0) + before.size());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), image.pixels));
        if (IsPaletteFormat(*f)) {
            EXPECT_EQ(std::memcmp(image.palette, palette, sizeof(palette)), 0);
        }
        ++written;
    }
    EXPECT_GE(written, 46);
}

TEST_F(ImageWriters, CubeAsDdsHasSixFacesPerLevelAndAsBitmapOnlyTheFirst) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &cube, nullptr), S_OK);
    ASSERT_EQ(cube->GetLevelCount(), 4u);
    for (UINT face = 0; face < 6; ++face)
        for (UINT level = 0; level < 4; ++level) {
            D3DLOCKED_RECT locked;
            const auto f = static_cast<D3DCUBEMAP_FACES>(face);
            ASSERT_EQ(cube->LockRect(f, level, &locked, nullptr, 0), S_OK);
            FillRandom(locked, (8 >> level) * 4, 8 >> level, face * 10 + level);
            cube->UnlockRect(f, level);
        }
    const std::string dds = TempPath("cube.dds"), bmp = TempPath("cube.bmp");
    ASSERT_EQ(SaveTextureToNamedFileA(dds.c_str(), ImageFileDds, cube, nullptr), S_OK);
    ASSERT_EQ(SaveTextureToNamedFileA(bmp.c_str(), ImageFileBmp, cube, nullptr), S_OK);

    const Bytes file = ReadFile(dds);
    ASSERT_EQ(file.size(), 128u + 6 * 4 * (64 + 16 + 4 + 1));
    EXPECT_EQ(Le32(file, 8), 0x1007u | 0x20000u);
    EXPECT_EQ(Le32(file, 28), 4u);
    EXPECT_EQ(Le32(file, 112), 0xFE00u);
    EXPECT_EQ(Le32(file, 108), 0x1000u | 0x2u | 0x400008u | 0x8u);
    // Face 0's four levels come first, then face 1.
    const Bytes face1 = FaceBytes(cube, 1, 0);
    EXPECT_TRUE(std::equal(face1.begin(), face1.end(), file.begin() + 128 + 4 * 85));
    IDirect3DCubeTexture9* back = nullptr;
    ASSERT_EQ(CubeTextureFromNamedFileA(device_, dds.c_str(), kKeepSourceSize, kUseDefault, 0, D3DFMT_UNKNOWN,
                                        D3DPOOL_SCRATCH, TexFilterNone, TexFilterNone, 0, nullptr, nullptr, &back),
              S_OK);
    ASSERT_EQ(back->GetLevelCount(), 4u);
    for (UINT face = 0; face < 6; ++face)
        for (UINT level = 0; level < 4; ++level)
            EXPECT_EQ(FaceBytes(back, face, level), FaceBytes(cube, face, level)) << face << "/" << level;
    back->Release();

    // The bitmap holds level 0 of face 0 only: 14 + 40 + 8 * 8 * 4 bytes.
    EXPECT_EQ(ReadFile(bmp).size(), 310u + 2);
    IDirect3DTexture9* flat = LoadBack(bmp, D3DFMT_A8R8G8B8);
    ASSERT_NE(flat, nullptr);
    EXPECT_EQ(LevelBytes(flat, 0), FaceBytes(cube, 0, 0));
    flat->Release();
    cube->Release();
}

TEST_F(ImageWriters, VolumeTextureAsDdsKeepsEverySliceAndLevel) {
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 2, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &volume, nullptr), S_OK);
    ASSERT_EQ(volume->GetLevelCount(), 3u);
    for (UINT level = 0; level < 3; ++level) {
        D3DLOCKED_BOX locked;
        ASSERT_EQ(volume->LockBox(level, &locked, nullptr, 0), S_OK);
        D3DVOLUME_DESC desc;
        volume->GetLevelDesc(level, &desc);
        for (UINT z = 0; z < desc.Depth; ++z) {
            const D3DLOCKED_RECT slice = {locked.RowPitch,
                                          static_cast<BYTE*>(locked.pBits) + size_t{z} * locked.SlicePitch};
            FillRandom(slice, desc.Width * 4, desc.Height, 100 * level + z);
        }
        volume->UnlockBox(level);
    }
    const std::string path = TempPath("volume.dds");
    ASSERT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileDds, volume, nullptr), S_OK);
    const Bytes file = ReadFile(path);
    ASSERT_GE(file.size(), 128u);
    EXPECT_EQ(Le32(file, 8), 0x1007u | 0x20000u | 0x800000u);
    EXPECT_EQ(Le32(file, 24), 4u);
    EXPECT_EQ(Le32(file, 112), 0x200000u);
    IDirect3DVolumeTexture9* back = nullptr;
    ASSERT_EQ(VolumeTextureFromNamedFileA(device_, path.c_str(), kKeepSourceSize, kKeepSourceSize, kKeepSourceSize,
                                          kUseDefault, 0, D3DFMT_UNKNOWN, D3DPOOL_SCRATCH, TexFilterNone,
                                          TexFilterNone, 0, nullptr, nullptr, &back),
              S_OK);
    ASSERT_EQ(back->GetLevelCount(), 3u);
    for (UINT level = 0; level < 3; ++level) EXPECT_EQ(VolumeBytes(back, level), VolumeBytes(volume, level)) << level;
    back->Release();

    // A single volume saved on its own is a volume file of one level.
    IDirect3DVolume9* top = nullptr;
    ASSERT_EQ(volume->GetVolumeLevel(0, &top), S_OK);
    const D3DBOX box = {1, 0, 3, 2, 1, 3};
    ASSERT_EQ(SaveVolumeToNamedFileA(path.c_str(), ImageFileDds, top, nullptr, &box), S_OK);
    top->Release();
    const Bytes part = ReadFile(path);
    ASSERT_EQ(part.size(), 128u + 2 * 2 * 2 * 4);
    EXPECT_EQ(Le32(part, 8), 0x1007u | 0x800000u);
    EXPECT_EQ(Le32(part, 16), 2u);
    EXPECT_EQ(Le32(part, 24), 2u);
    const Bytes all = VolumeBytes(volume, 0);
    // Slice 1, row 0, pixels 1 and 2 of the 4 x 2 x 4 level.
    EXPECT_TRUE(std::equal(all.begin() + 32 + 4, all.begin() + 32 + 12, part.begin() + 128));
    volume->Release();
}

// The colour of the smooth JPEG test image at (x, y).
uint32_t Smooth(uint32_t x, uint32_t y) {
    const uint32_t r = 40 + x * 3, g = 200 - y * 2, b = 90 + (x + y);
    return (static_cast<uint32_t>((x * 4) & 0xFF) << 24) | (r << 16) | (g << 8) | b;
}

double Psnr(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = double((a[i] >> shift) & 0xFF) - double((b[i] >> shift) & 0xFF);
            sum += d * d;
        }
    const double mse = sum / (3.0 * a.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(ImageWriters, JpegDropsAlphaAndStaysWithinThePsnr) {
    constexpr UINT kSize = 48;
    IDirect3DTexture9* tex = Scratch(kSize, kSize, 1, D3DFMT_A8R8G8B8);
    ASSERT_NE(tex, nullptr);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), S_OK);
    std::vector<uint32_t> source(kSize * kSize);
    for (UINT y = 0; y < kSize; ++y)
        for (UINT x = 0; x < kSize; ++x) {
            source[y * kSize + x] = Smooth(x, y);
            reinterpret_cast<uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = Smooth(x, y);
        }
    tex->UnlockRect(0);
    const std::string path = TempPath("smooth.jpg");
    ASSERT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileJpg, tex, nullptr), S_OK);
    tex->Release();

    // The frame header (SOF0) declares the size and three components.
    const Bytes file = ReadFile(path);
    size_t sof = 2;
    while (sof + 10 < file.size() && !(file[sof] == 0xFF && file[sof + 1] == 0xC0)) ++sof;
    ASSERT_LT(sof + 10, file.size());
    EXPECT_EQ((file[sof + 5] << 8) | file[sof + 6], int(kSize));
    EXPECT_EQ(file[sof + 9], 3);

    IDirect3DTexture9* back = LoadBack(path, D3DFMT_X8R8G8B8);
    ASSERT_NE(back, nullptr);
    const std::vector<uint32_t> decoded = textest::ReadLevel32(back, 0);
    back->Release();
    ASSERT_EQ(decoded.size(), source.size());
    const double psnr = Psnr(source, decoded);
    RecordProperty("jpeg_psnr_db", std::to_string(psnr));
    std::printf("JPEG round trip of a smooth 48 x 48 image: PSNR %.2f dB\n", psnr);
    EXPECT_GE(psnr, 38.0);
}

// With a DXT encoder in the converters, an image encoded to DXT1 to DXT5 and
// saved as DDS reads back as exactly the encoded blocks, and within the
// encoder's error of the image.
TEST_F(ImageWriters, DxtFormatsWrittenFromEncodedImages) {
    ImageView probe;
    probe.format = D3DFMT_DXT1;
    if (!CreatePixelConverter(probe)) GTEST_SKIP() << "no DXT encoder among the pixel converters of this build";
    constexpr UINT kSize = 32;
    IDirect3DTexture9* source = Scratch(kSize, kSize, 1, D3DFMT_A8R8G8B8);
    ASSERT_NE(source, nullptr);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(source->LockRect(0, &locked, nullptr, 0), S_OK);
    std::vector<uint32_t> image(kSize * kSize);
    for (UINT y = 0; y < kSize; ++y)
        for (UINT x = 0; x < kSize; ++x) {
            image[y * kSize + x] = 0xFF000000u | Smooth(x, y);
            reinterpret_cast<uint32_t*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch)[x] = image[y * kSize + x];
        }
    source->UnlockRect(0);
    IDirect3DSurface9* from = nullptr;
    source->GetSurfaceLevel(0, &from);
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        SCOPED_TRACE(FormatName(format));
        IDirect3DTexture9* encoded = Scratch(kSize, kSize, 1, format);
        ASSERT_NE(encoded, nullptr);
        IDirect3DSurface9* to = nullptr;
        encoded->GetSurfaceLevel(0, &to);
        ASSERT_EQ(CopySurfaceToSurface(to, nullptr, nullptr, from, nullptr, nullptr, TexFilterNone, 0), S_OK);
        to->Release();
        const std::string path = TempPath("encoded.dds");
        ASSERT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileDds, encoded, nullptr), S_OK);
        IDirect3DTexture9* back = LoadBack(path, format);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(LevelBytes(back, 0), LevelBytes(encoded, 0));
        back->Release();
        IDirect3DTexture9* decoded = LoadBack(path, D3DFMT_A8R8G8B8);
        ASSERT_NE(decoded, nullptr);
        const double psnr = Psnr(image, textest::ReadLevel32(decoded, 0));
        std::printf("%s written and read back: PSNR %.2f dB against the image\n", FormatName(format), psnr);
        EXPECT_GE(psnr, 36.0);
        decoded->Release();
        encoded->Release();
    }
    from->Release();
    source->Release();
}

TEST_F(ImageWriters, RefusalsLeaveNoFile) {
    IDirect3DTexture9* tex = Scratch(4, 4, 1, D3DFMT_A8R8G8B8);
    ASSERT_NE(tex, nullptr);
    IDirect3DSurface9* surface = nullptr;
    tex->GetSurfaceLevel(0, &surface);
    const std::string path = TempPath("refused.out");
    const struct {
        ImageFileKind kind;
        const RECT* rect;
    } refused[] = {{ImageFilePng, nullptr}, {ImageFileTga, nullptr}, {ImageFilePpm, nullptr}};
    for (const auto& r : refused) {
        std::remove(path.c_str());
        EXPECT_EQ(SaveSurfaceToNamedFileA(path.c_str(), r.kind, surface, nullptr, r.rect), D3DERR_INVALIDCALL)
            << r.kind;
        EXPECT_FALSE(FileExists(path)) << r.kind;
    }
    const RECT empty = {1, 1, 1, 3}, outside = {0, 0, 5, 4};
    for (const RECT* rect : {&empty, &outside}) {
        EXPECT_EQ(SaveSurfaceToNamedFileA(path.c_str(), ImageFileBmp, surface, nullptr, rect), D3DERR_INVALIDCALL);
        EXPECT_FALSE(FileExists(path));
    }
    EXPECT_EQ(SaveSurfaceToNamedFileA(nullptr, ImageFileBmp, surface, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(SaveSurfaceToNamedFileA(path.c_str(), ImageFileBmp, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileBmp, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(SaveVolumeToNamedFileA(path.c_str(), ImageFileDds, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(SaveSurfaceToNamedFileA("/nonexistent-directory/out.bmp", ImageFileBmp, surface, nullptr, nullptr),
              ERR_INVALID_DATA);
    const wchar_t wide[] = L"/nonexistent-directory/\u00e9.dds";
    EXPECT_EQ(SaveSurfaceToNamedFileW(wide, ImageFileDds, surface, nullptr, nullptr), ERR_INVALID_DATA);
    surface->Release();
    tex->Release();

    // A signed format has no neighbour among the bitmap and JPEG formats.
    IDirect3DTexture9* bump = Scratch(4, 4, 1, D3DFMT_V8U8);
    ASSERT_NE(bump, nullptr);
    EXPECT_EQ(SaveTextureToNamedFileA(path.c_str(), ImageFileJpg, bump, nullptr), D3DERR_INVALIDCALL);
    EXPECT_FALSE(FileExists(path));
    bump->Release();
}

TEST_F(ImageWriters, RectangleOfASurfaceAndWideNames) {
    IDirect3DTexture9* tex = Scratch(6, 5, 1, D3DFMT_X8R8G8B8);
    ASSERT_NE(tex, nullptr);
    ASSERT_EQ(FillTexture(tex, Scatter, nullptr), S_OK);
    IDirect3DSurface9* surface = nullptr;
    tex->GetSurfaceLevel(0, &surface);
    const RECT rect = {2, 1, 5, 4};
    const std::wstring name = std::wstring(KILN_BINARY_DIR, KILN_BINARY_DIR + std::strlen(KILN_BINARY_DIR)) +
                              L"/writer_test_\u00e9t\u00e9.bmp";
    ASSERT_EQ(SaveSurfaceToNamedFileW(name.c_str(), ImageFileBmp, surface, nullptr, &rect), S_OK);
    surface->Release();
    IDirect3DTexture9* back = nullptr;
    ASSERT_EQ(TextureFromNamedFileW(device_, name.c_str(), kKeepSourceSize, kKeepSourceSize, 1, 0, D3DFMT_X8R8G8B8,
                                    D3DPOOL_SCRATCH, TexFilterNone, TexFilterNone, 0, nullptr, nullptr, &back),
              S_OK);
    UINT w = 0, h = 0;
    const std::vector<uint32_t> part = textest::ReadLevel32(back, 0, &w, &h);
    const std::vector<uint32_t> whole = textest::ReadLevel32(tex, 0);
    ASSERT_EQ(w, 3u);
    ASSERT_EQ(h, 3u);
    for (UINT y = 0; y < 3; ++y)
        for (UINT x = 0; x < 3; ++x) EXPECT_EQ(part[y * 3 + x], whole[(y + 1) * 6 + x + 2]) << x << "," << y;
    back->Release();
    tex->Release();
}

}  // namespace
