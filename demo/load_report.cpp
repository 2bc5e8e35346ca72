#include "demo/load_report.h"

#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "texture/kltexture.h"

namespace demo {
namespace {

// Why a file could not be used: missing, or there but not readable as it is.
std::string FileProblem(const std::string& file, HRESULT hr) {
    struct stat info{};
    if (stat(file.c_str(), &info) != 0) return "no such file";
    char text[64];
    std::snprintf(text, sizeof(text), "not a usable image (0x%08X)", static_cast<unsigned>(hr));
    return text;
}

}  // namespace

void ReportLoadFailure(const std::string& what, const std::string& file, const std::string& reason,
                       const std::string& details) {
    // Several effects share a file (three layers draw with "Simple", three
    // fire fields with "fire7.png"): one report per file is enough.
    static std::set<std::string> reported;
    if (!reported.insert(file).second) return;
    std::fprintf(stderr, "cinderglow: cannot %s %s: %s\n", what.c_str(), file.c_str(), reason.c_str());
    if (!details.empty()) {
        std::fputs(details.c_str(), stderr);
        if (details.back() != '\n') std::fputc('\n', stderr);
    }
}

IDirect3DTexture9* LoadEffectTexture(IDirect3DDevice9* device, const char* file) {
    IDirect3DTexture9* texture = nullptr;
    HRESULT hr = KLCreateTextureFromFileA(device, file, &texture);
    if (FAILED(hr)) ReportLoadFailure("load", file, FileProblem(file, hr));
    return texture;
}

}  // namespace demo
