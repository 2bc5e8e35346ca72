// kiln texinfo: prints what the texture loader sees in an image file and,
// with --png, writes level 0 as loaded into an A8R8G8B8 texture to a PNG file.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "texture_tool.h"
#include "texture/kltexture.h"

namespace {

void PrintHelp() {
    std::printf(
        "usage: kiln texinfo FILE [--png OUT.png]\n\n"
        "Prints what the texture loader reads from an image file (PNG, JPEG, BMP,\n"
        "TGA, DDS, PPM): the decoder that accepted it, its size, pixel format,\n"
        "mip levels and cube faces or volume depth. Width and height have no\n"
        "limit of their own; a decoded image larger than 1 GiB is refused.\n\n"
        "  --png OUT.png   also load the file into an A8R8G8B8 texture of the\n"
        "                  image's own size and write its level 0 as a PNG file\n");
}

const char* const kDecoderNames[] = {"BMP", "JPEG", "TGA", "PNG", "DDS", "PPM", "DIB"};

HRESULT SaveLevelZero(const std::string& file, const std::string& out, std::string* error) {
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

int RunTexinfo(const std::vector<std::string>& args) {
    std::string file, png;
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
    ImageFileInfo info;
    HRESULT hr = ImageInfoFromNamedFileA(file.c_str(), &info);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kiln texinfo: %s: %s (0x%08X)\n", file.c_str(), LoadResultText(hr), static_cast<unsigned>(hr));
        return 1;
    }
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
    if (!png.empty()) {
        std::string error;
        if (FAILED(SaveLevelZero(file, png, &error))) {
            std::fprintf(stderr, "kiln texinfo: %s\n", error.c_str());
            return 1;
        }
        std::printf("wrote:   %s (level 0 as A8R8G8B8)\n", png.c_str());
    }
    return 0;
}

}  // namespace

static KilnCommand cmd("texinfo", "describe an image file as the texture loader reads it", &RunTexinfo);
