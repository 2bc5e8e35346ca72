// kiln texconv: reads any image the texture loader reads and writes it as a
// bitmap, DIB, JPEG or DDS file through the library's writers, or as PNG,
// which the library does not write, through libpng. The output goes to a
// temporary name first and takes its real name only when complete, so a
// failure never leaves a partial file or replaces an existing one.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "command.h"
#include "texture/pixels/format_table.h"
#include "texture_tool.h"

namespace {

void PrintHelp() {
    std::printf(
        "usage: kiln texconv IN OUT [--format FMT] [--mips N|all] [--filter KIND]\n"
        "                           [--size WxH] [--cube|--volume]\n\n"
        "Loads IN (PNG, JPEG, BMP, TGA, DDS, PPM) as a texture and writes it to OUT\n"
        "in the kind its extension names: .bmp, .dib, .jpg, .dds or .png. A DDS file\n"
        "keeps every mip level and cube face; the other kinds take level 0 of the\n"
        "first face.\n\n"
        "  --format FMT   pixel format of the texture, as kiln texinfo prints it\n"
        "                 (D3DFMT_A8R8G8B8) or short (a8r8g8b8, dxt1); default: the\n"
        "                 image's own. Each file kind then writes the nearest format\n"
        "                 it can hold.\n"
        "  --mips N|all   mip levels to make; default: the input's own levels for\n"
        "                 .dds, 1 for the other kinds\n"
        "  --filter KIND  none, point, linear, triangle or box: how the image is\n"
        "                 resized and the mip levels are filtered\n"
        "  --size WxH     resize to W x H pixels (a cube takes W as its edge)\n"
        "  --cube         load IN as a cube texture (a cube DDS file)\n"
        "  --volume       load IN as a volume texture (written only as .dds)\n");
}

enum class OutputKind { Bmp, Dib, Jpg, Dds, Png };

// Resource type "as the file holds it".
constexpr D3DRESOURCETYPE kFileType = static_cast<D3DRESOURCETYPE>(0);

struct Options {
    std::string in, out;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT mips = kUseDefault;  // kUseDefault: as the output kind decides
    DWORD filter = kUseDefault;
    UINT width = kKeepSourceSize, height = kKeepSourceSize;
    D3DRESOURCETYPE type = kFileType;
    OutputKind kind = OutputKind::Png;
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool KindFromName(const std::string& path, OutputKind* kind) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string ext = Lower(path.substr(dot + 1));
    if (ext == "bmp") *kind = OutputKind::Bmp;
    else if (ext == "dib") *kind = OutputKind::Dib;
    else if (ext == "jpg" || ext == "jpeg") *kind = OutputKind::Jpg;
    else if (ext == "dds") *kind = OutputKind::Dds;
    else if (ext == "png") *kind = OutputKind::Png;
    else return false;
    return true;
}

// Long ("D3DFMT_DXT1") and short ("dxt1") names, any case.
bool ParseFormat(const std::string& text, D3DFORMAT* format) {
    const std::string wanted = Lower(text);
    size_t count = 0;
    const FormatTraits* rows = FormatTable(&count);
    for (size_t i = 0; i < count; ++i) {
        const char* name = FormatName(rows[i].format);
        if (!name) continue;
        const std::string full = Lower(name);
        if (wanted == full || "d3dfmt_" + wanted == full) {
            *format = rows[i].format;
            return true;
        }
    }
    return false;
}

bool ParseCount(const std::string& text, UINT* value) {
    const auto digit = [](unsigned char c) { return std::isdigit(c) != 0; };
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), digit)) return false;
    *value = static_cast<UINT>(std::atoi(text.c_str()));
    return *value > 0;
}

bool ParseSize(const std::string& text, UINT* width, UINT* height) {
    const size_t x = Lower(text).find('x');
    return x != std::string::npos && ParseCount(text.substr(0, x), width) && ParseCount(text.substr(x + 1), height);
}

bool ParseFilter(const std::string& text, DWORD* filter) {
    static const char* const kNames[] = {"none", "point", "linear", "triangle", "box"};
    for (DWORD i = 0; i < 5; ++i)
        if (Lower(text) == kNames[i]) {
            *filter = TexFilterNone + i;
            return true;
        }
    return false;
}

// Returns 0 when the options are complete, else the exit code after a message.
int ParseArguments(const std::vector<std::string>& args, Options* o) {
    std::vector<std::string> files;
    auto fail = [](const char* what) {
        std::fprintf(stderr, "kiln texconv: %s (see kiln texconv --help)\n", what);
        return 2;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--format" || arg == "--mips" || arg == "--filter" || arg == "--size") {
            if (!hasValue) {
                std::fprintf(stderr, "kiln texconv: %s needs a value\n", arg.c_str());
                return 2;
            }
            const std::string& value = args[++i];
            if (arg == "--format" && !ParseFormat(value, &o->format)) {
                std::fprintf(stderr, "kiln texconv: unknown pixel format '%s' (names as kiln texinfo prints them, "
                                     "or short: a8r8g8b8, dxt1)\n", value.c_str());
                return 2;
            }
            if (arg == "--mips" && value != "all" && !ParseCount(value, &o->mips))
                return fail("--mips takes a level count from 1, or 'all'");
            if (arg == "--mips" && value == "all") o->mips = 0;
            if (arg == "--filter" && !ParseFilter(value, &o->filter))
                return fail("--filter takes none, point, linear, triangle or box");
            if (arg == "--size" && !ParseSize(value, &o->width, &o->height))
                return fail("--size takes WxH with both sides from 1, such as 256x128");
        } else if (arg == "--cube" || arg == "--volume") {
            const D3DRESOURCETYPE type = arg == "--cube" ? D3DRTYPE_CUBETEXTURE : D3DRTYPE_VOLUMETEXTURE;
            if (o->type != kFileType && o->type != type) return fail("--cube and --volume exclude each other");
            o->type = type;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::fprintf(stderr, "kiln texconv: unknown option '%s'\n", arg.c_str());
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return fail("give one input file and one output file");
    o->in = files[0];
    o->out = files[1];
    if (!KindFromName(o->out, &o->kind)) return fail("OUT must end in .bmp, .dib, .jpg, .dds or .png");
    return 0;
}

template <typename T>
void SafeRelease(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

HRESULT Load(IDirect3DDevice9* device, const Options& o, UINT mips, PALETTEENTRY* palette,
             IDirect3DBaseTexture9** out) {
    const DWORD filter = o.filter, mipFilter = o.filter;
    switch (o.type) {
    case D3DRTYPE_CUBETEXTURE: {
        IDirect3DCubeTexture9* t = nullptr;
        const HRESULT hr = CubeTextureFromNamedFileA(device, o.in.c_str(), o.width, mips, 0, o.format, D3DPOOL_SCRATCH,
                                                     filter, mipFilter, 0, nullptr, palette, &t);
        *out = t;
        return hr;
    }
    case D3DRTYPE_VOLUMETEXTURE: {
        IDirect3DVolumeTexture9* t = nullptr;
        const HRESULT hr =
            VolumeTextureFromNamedFileA(device, o.in.c_str(), o.width, o.height, kKeepSourceSize, mips, 0, o.format,
                                        D3DPOOL_SCRATCH, filter, mipFilter, 0, nullptr, palette, &t);
        *out = t;
        return hr;
    }
    default: {
        IDirect3DTexture9* t = nullptr;
        const HRESULT hr = TextureFromNamedFileA(device, o.in.c_str(), o.width, o.height, mips, 0, o.format,
                                                 D3DPOOL_SCRATCH, filter, mipFilter, 0, nullptr, palette, &t);
        *out = t;
        return hr;
    }
    }
}

// The first surface of a texture or cube texture.
HRESULT TopSurface(IDirect3DBaseTexture9* texture, IDirect3DSurface9** surface) {
    if (texture->GetType() == D3DRTYPE_CUBETEXTURE)
        return static_cast<IDirect3DCubeTexture9*>(texture)->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_X, 0, surface);
    return static_cast<IDirect3DTexture9*>(texture)->GetSurfaceLevel(0, surface);
}

// Level 0 of the first face, converted to A8R8G8B8 and written through libpng.
HRESULT SavePng(IDirect3DDevice9* device, IDirect3DBaseTexture9* texture, const PALETTEENTRY* palette,
                const std::string& path) {
    IDirect3DSurface9* top = nullptr;
    HRESULT hr = TopSurface(texture, &top);
    if (FAILED(hr)) return hr;
    D3DSURFACE_DESC desc;
    top->GetDesc(&desc);
    IDirect3DTexture9* argb = nullptr;
    IDirect3DSurface9* target = nullptr;
    hr = device->CreateTexture(desc.Width, desc.Height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, &argb, nullptr);
    if (SUCCEEDED(hr)) hr = argb->GetSurfaceLevel(0, &target);
    if (SUCCEEDED(hr)) hr = CopySurfaceToSurface(target, nullptr, nullptr, top, palette, nullptr, TexFilterNone, 0);
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(hr)) hr = argb->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
    if (SUCCEEDED(hr)) {
        if (!WritePngFromArgb(path, locked.pBits, locked.Pitch, desc.Width, desc.Height)) hr = ERR_INVALID_DATA;
        argb->UnlockRect(0);
    }
    SafeRelease(target);
    SafeRelease(argb);
    SafeRelease(top);
    return hr;
}

const char* SaveResultText(HRESULT hr) {
    switch (hr) {
    case D3DERR_INVALIDCALL:
        return "this file kind cannot hold the texture's pixel format";
    case ERR_INVALID_DATA:
        return "the file cannot be created or written";
    case E_FAIL:
        return "the writer failed (a format without a layout in this file kind, or a compressor error)";
    case E_OUTOFMEMORY:
        return "out of memory";
    default:
        return "saving failed";
    }
}

// Size and format of level 0.
struct TopLevel {
    UINT width = 0, height = 0, depth = 1;
    D3DFORMAT format = D3DFMT_UNKNOWN;
};

TopLevel DescribeTop(IDirect3DBaseTexture9* texture) {
    if (texture->GetType() == D3DRTYPE_VOLUMETEXTURE) {
        D3DVOLUME_DESC desc;
        static_cast<IDirect3DVolumeTexture9*>(texture)->GetLevelDesc(0, &desc);
        return TopLevel{desc.Width, desc.Height, desc.Depth, desc.Format};
    }
    D3DSURFACE_DESC desc;
    if (texture->GetType() == D3DRTYPE_CUBETEXTURE)
        static_cast<IDirect3DCubeTexture9*>(texture)->GetLevelDesc(0, &desc);
    else
        static_cast<IDirect3DTexture9*>(texture)->GetLevelDesc(0, &desc);
    return TopLevel{desc.Width, desc.Height, 1, desc.Format};
}

void PrintSummary(IDirect3DBaseTexture9* texture, const std::string& out) {
    const TopLevel top = DescribeTop(texture);
    const char* name = FormatName(top.format);
    std::string kind;
    if (texture->GetType() == D3DRTYPE_CUBETEXTURE) kind = ", cube";
    if (texture->GetType() == D3DRTYPE_VOLUMETEXTURE) kind = ", volume of depth " + std::to_string(top.depth);
    const UINT levels = texture->GetLevelCount();
    std::printf("wrote %s from a %u x %u %s texture, %u level%s%s\n", out.c_str(), top.width, top.height,
                name ? name : "?", levels, levels == 1 ? "" : "s", kind.c_str());
}

int Convert(const Options& given) {
    Options o = given;
    ImageFileInfo info;
    HRESULT hr = ImageInfoFromNamedFileA(o.in.c_str(), &info);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kiln texconv: %s: %s (0x%08X)\n", o.in.c_str(), LoadResultText(hr), unsigned(hr));
        return 1;
    }
    if (o.type == kFileType) o.type = info.ResourceType;
    if (o.type == D3DRTYPE_CUBETEXTURE && info.ResourceType != D3DRTYPE_CUBETEXTURE) {
        std::fprintf(stderr, "kiln texconv: %s: --cube needs an image with six faces (a cube DDS file)\n",
                     o.in.c_str());
        return 1;
    }
    if (o.type == D3DRTYPE_VOLUMETEXTURE && o.kind != OutputKind::Dds) {
        std::fprintf(stderr, "kiln texconv: %s: a volume texture can be written only as .dds\n", o.out.c_str());
        return 1;
    }
    const bool dds = o.kind == OutputKind::Dds;
    const UINT mips = o.mips != kUseDefault ? o.mips : (dds ? std::max<UINT>(info.MipLevels, 1) : 1);

    IDirect3DDevice9* device = CreateToolDevice();
    if (!device) {
        std::fprintf(stderr, "kiln texconv: cannot create the graphics device\n");
        return 1;
    }
    PALETTEENTRY palette[256];
    IDirect3DBaseTexture9* texture = nullptr;
    hr = Load(device, o, mips, palette, &texture);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kiln texconv: %s: %s (0x%08X)\n", o.in.c_str(), LoadResultText(hr), unsigned(hr));
        device->Release();
        return 1;
    }
    // The palette goes with palettised textures only: other formats must not
    // be steered towards the palette formats of a file kind.
    const PALETTEENTRY* texturePalette = IsPaletteFormat(DescribeTop(texture).format) ? palette : nullptr;
    const std::string temp = o.out + ".kiln-part";
    static const ImageFileKind kKinds[] = {ImageFileBmp, ImageFileDib, ImageFileJpg, ImageFileDds};
    if (o.kind == OutputKind::Png)
        hr = SavePng(device, texture, texturePalette, temp);
    else
        hr = SaveTextureToNamedFileA(temp.c_str(), kKinds[static_cast<int>(o.kind)], texture, texturePalette);
    if (SUCCEEDED(hr) && std::rename(temp.c_str(), o.out.c_str()) != 0) hr = ERR_INVALID_DATA;
    int code = 0;
    if (FAILED(hr)) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "kiln texconv: cannot write %s: %s (0x%08X)\n", o.out.c_str(), SaveResultText(hr),
                     unsigned(hr));
        code = 1;
    } else {
        PrintSummary(texture, o.out);
    }
    texture->Release();
    device->Release();
    return code;
}

int RunTexconv(const std::vector<std::string>& args) {
    for (const std::string& arg : args)
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        }
    Options o;
    if (const int code = ParseArguments(args, &o)) return code;
    return Convert(o);
}

}  // namespace

static KilnCommand cmd("texconv", "convert an image file to .bmp, .dib, .jpg, .dds or .png", &RunTexconv);
