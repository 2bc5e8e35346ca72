// kiln texinfo: prints what the texture loader sees in an image file and,
// with --png, writes level 0 as loaded into an A8R8G8B8 texture to a PNG file.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "image_fault.h"
#include "texture/decoders/source_image.h"
#include "texture/kltexture.h"
#include "texture_tool.h"

namespace {

void PrintHelp() {
    std::printf(
        "usage: kiln texinfo FILE [--header] [--png OUT.png]\n\n"
        "Prints what the texture loader reads from an image file (PNG, JPEG, BMP,\n"
        "TGA, DDS, PPM): the decoder that accepted it, its size, pixel format,\n"
        "mip levels and cube faces or volume depth. The whole file is decoded\n"
        "first, so a file the loader cannot load is reported as a failure, with\n"
        "its cause.\n\n"
        "The loader decodes an image whole before it fits it to the device: that\n"
        "takes width x height x 4 bytes or so. Width and height have no limit of\n"
        "their own; a decoded image larger than 1 GiB is refused, and textures\n"
        "wider or taller than the device's limit are reduced to it.\n\n"
        "  --header        read the header only (faster; the pixels are not checked)\n"
        "  --png OUT.png   also load the file into an A8R8G8B8 texture of the\n"
        "                  image's own size (within the device's limit) and write\n"
        "                  its level 0 as a PNG file\n");
}

const char* const kDecoderNames[] = {"BMP", "JPEG", "TGA", "PNG", "DDS", "PPM", "DIB"};

// The largest texture width and height the device takes.
void DeviceLimit(UINT* width, UINT* height) {
    *width = *height = 0;
    IDirect3DDevice9* device = CreateToolDevice();
    if (!device) return;
    D3DCAPS9 caps = {};
    if (SUCCEEDED(device->GetDeviceCaps(&caps))) {
        *width = caps.MaxTextureWidth;
        *height = caps.MaxTextureHeight;
    }
    device->Release();
}

HRESULT SaveLevelZero(const std::string& file, const std::string& out, UINT* width, UINT* height,
                      std::string* error) {
    IDirect3DDevice9* device = CreateToolDevice();
    if (!device) {
        *error = "cannot create the graphics device";
        return E_FAIL;
    }
    IDirect3DTexture9* texture = nullptr;
    HRESULT hr = TextureFromNamedFileA(device, file.c_str(), kKeepSourceSize, kKeepSourceSize, 1, 0, D3DFMT_A8R8G8B8,
                                       D3DPOOL_MANAGED, TexFilterNone, kUseDefault, 0, nullptr, nullptr, &texture);
    if (SUCCEEDED(hr)) {
        D3DSURFACE_DESC desc;
        D3DLOCKED_RECT locked;
        texture->GetLevelDesc(0, &desc);
        *width = desc.Width;
        *height = desc.Height;
        hr = texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
        if (SUCCEEDED(hr)) {
            if (!WritePngFromArgb(out, locked.pBits, locked.Pitch, desc.Width, desc.Height)) {
                *error = out + ": cannot write the PNG file";
                hr = E_FAIL;
            }
            texture->UnlockRect(0);
        }
        texture->Release();
    } else {
        char text[160];
        std::snprintf(text, sizeof(text), "%s: %s (0x%08X)", file.c_str(), LoadResultText(hr), static_cast<unsigned>(hr));
        *error = text;
    }
    device->Release();
    return hr;
}

// Reads the header, or with `decode` the whole image as the loader would
// (*decodedBytes: the size of its top level decoded); on failure prints the
// cause and returns false.
bool ReadInfo(const std::string& file, const std::vector<uint8_t>& bytes, bool decode, ImageFileInfo* info,
              uint64_t* decodedBytes) {
    *decodedBytes = 0;
    HRESULT hr = ImageInfoFromFileImage(bytes.data(), UINT(bytes.size()), info);
    std::string headerKind;
    if (SUCCEEDED(hr) && decode) {
        headerKind = info->ImageFileFormat < 7 ? kDecoderNames[info->ImageFileFormat] : "?";
        SourceImage image;
        hr = ReadImageFile(&image, bytes.data(), bytes.size(), info, true);
        if (SUCCEEDED(hr)) *decodedBytes = uint64_t(image.rowPitch) * image.height * (image.depth ? image.depth : 1);
    }
    if (SUCCEEDED(hr)) return true;
    std::string cause = hr == E_OUTOFMEMORY ? "out of memory" : DescribeImageFault(bytes, headerKind);
    std::fprintf(stderr, "kiln texinfo: %s: %s (0x%08X)\n", file.c_str(), cause.c_str(), static_cast<unsigned>(hr));
    return false;
}

void PrintInfo(const std::string& file, const ImageFileInfo& info) {
    const char* format = FormatName(info.Format);
    std::printf("file:    %s\n", file.c_str());
    std::printf("decoder: %s\n", info.ImageFileFormat < 7 ? kDecoderNames[info.ImageFileFormat] : "?");
    std::printf("size:    %u x %u\n", info.Width, info.Height);
    if (format)
        std::printf("format:  %s\n", format);
    else
        std::printf("format:  0x%08X\n", static_cast<unsigned>(info.Format));
    std::printf("levels:  %u\n", info.MipLevels);
    if (info.ResourceType == D3DRTYPE_CUBETEXTURE)
        std::printf("kind:    cube texture, 6 faces\n");
    else if (info.ResourceType == D3DRTYPE_VOLUMETEXTURE)
        std::printf("kind:    volume texture, depth %u\n", info.Depth);
    else
        std::printf("kind:    texture\n");
}

int RunTexinfo(const std::vector<std::string>& args) {
    std::string file, png;
    bool headerOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        }
        if (arg == "--png") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "kiln texinfo: --png needs an output file name\n");
                return 2;
            }
            png = args[++i];
        } else if (arg == "--header") {
            headerOnly = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "kiln texinfo: unknown option '%s'\n", arg.c_str());
            return 2;
        } else if (file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "kiln texinfo: one input file only (see kiln texinfo --help)\n");
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "kiln texinfo: no input file (see kiln texinfo --help)\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadImageBytes(file, &bytes, &error)) {
        std::fprintf(stderr, "kiln texinfo: %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    ImageFileInfo info;
    uint64_t decoded = 0;
    if (!ReadInfo(file, bytes, !headerOnly, &info, &decoded)) return 1;
    PrintInfo(file, info);
    UINT maxWidth, maxHeight;
    DeviceLimit(&maxWidth, &maxHeight);
    if (maxWidth && (info.Width > maxWidth || info.Height > maxHeight))
        std::printf("note:    larger than the device's %u x %u limit: the loader decodes it whole (%s%llu MiB)\n"
                    "         and reduces the texture to fit\n",
                    maxWidth, maxHeight, decoded ? "" : "up to ",
                    (unsigned long long)((decoded ? decoded : uint64_t(info.Width) * info.Height * 4) >> 20));
    if (!png.empty()) {
        UINT width = 0, height = 0;
        if (FAILED(SaveLevelZero(file, png, &width, &height, &error))) {
            std::fprintf(stderr, "kiln texinfo: %s\n", error.c_str());
            return 1;
        }
        if (width != info.Width || height != info.Height)
            std::printf("wrote:   %s (level 0 as A8R8G8B8, reduced to %u x %u)\n", png.c_str(), width, height);
        else
            std::printf("wrote:   %s (level 0 as A8R8G8B8)\n", png.c_str());
    }
    return 0;
}

}  // namespace

static KilnCommand cmd("texinfo", "describe an image file as the texture loader reads it", &RunTexinfo);
