// Files made by our writers open in an independent reader, Pillow (Debian
// python3-pil), with the pixels our own loader reads from them. Skips with a
// message where Pillow is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/texture/texture_test_device.h"
#include "texture/pixels/pixel_converter.h"

using textest::DeviceTest;

namespace {

// A Python with Pillow, or "" when none is found. Debian's own interpreter is
// tried first: python3-pil installs there.
std::string PythonWithPillow() {
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string command = std::string(python) + " -c \"import PIL.Image\" >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) return python;
    }
    return "";
}

// Prints, per file: name, Pillow's format, width, height and RGBA bytes in hex.
const char kScript[] = R"(import sys
from PIL import Image
for path in sys.argv[1:]:
    try:
        with Image.open(path) as im:
            im.load()
            print(path, im.format, im.width, im.height, im.convert("RGBA").tobytes().hex())
    except Exception as error:
        print(path, "ERROR", 0, 0, type(error).__name__)
)";

struct Reading {
    std::string format;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

std::map<std::string, Reading> ReadWithPillow(const std::string& python, const std::vector<std::string>& files) {
    const std::string script = std::string(KILN_BINARY_DIR) + "/independent_reader.py";
    if (FILE* f = std::fopen(script.c_str(), "w")) {
        std::fputs(kScript, f);
        std::fclose(f);
    }
    std::string command = python + " " + script;
    for (const std::string& file : files) command += " '" + file + "'";
    std::map<std::string, Reading> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::string text;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof(buffer), pipe)) text.append(buffer, n);
    pclose(pipe);
    std::istringstream lines(text);
    std::string path, format, hex;
    Reading r;
    while (lines >> path >> r.format >> r.width >> r.height >> hex) {
        r.rgba.clear();
        if (r.format == "ERROR") hex.clear();
        for (size_t i = 0; i + 1 < hex.size(); i += 2) r.rgba.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        out[path] = r;
    }
    return out;
}

void Pattern(KLVECTOR4* out, const KLVECTOR2* c, const KLVECTOR2*, LPVOID) {
    *out = {c->x, 1.0f - c->y, c->x * c->y, 0.25f + 0.75f * c->y};
}

struct Sample {
    const char* name;
    D3DFORMAT format;
    ImageFileKind kind;
    int tolerance;  // per channel: the two readers widen 5-bit channels and decode JPEG their own way
    bool alpha;     // whether the file carries the source alpha
};

class IndependentReader : public DeviceTest {};

TEST_F(IndependentReader, PillowReadsOurBitmapsJpegsAndDdsFiles) {
    const std::string python = PythonWithPillow();
    if (python.empty()) GTEST_SKIP() << "Pillow (Debian python3-pil) is not installed: written files are not checked "
                                        "by an independent reader";
    // Pillow reads the bitmaps with the 40-byte header (not the 52- and 56-byte
    // mask headers), ignores the fourth byte of 32-bit plain bitmaps, and reads
    // uncompressed DDS files with 24 bits or with alpha.
    const Sample samples[] = {
        {"rgb24.bmp", D3DFMT_R8G8B8, ImageFileBmp, 0, false},
        {"argb32.bmp", D3DFMT_A8R8G8B8, ImageFileBmp, 0, false},
        {"xrgb1555.bmp", D3DFMT_X1R5G5B5, ImageFileBmp, 1, false},  // 5 to 8 bits: rounding differs
        {"grey.bmp", D3DFMT_L8, ImageFileBmp, 0, false},
        {"rgb332.bmp", D3DFMT_R3G3B2, ImageFileBmp, 0, false},
        {"photo.jpg", D3DFMT_X8R8G8B8, ImageFileJpg, 3, false},
        {"argb32.dds", D3DFMT_A8R8G8B8, ImageFileDds, 0, true},
        {"rgb24.dds", D3DFMT_R8G8B8, ImageFileDds, 0, false},
    };
    std::vector<Sample> sampleList(std::begin(samples), std::end(samples));
    // DXT1 joins where the converters can encode it; the two decoders round
    // the interpolated colours differently.
    ImageView probe;
    probe.format = D3DFMT_DXT1;
    if (CreatePixelConverter(probe)) sampleList.push_back({"dxt1.dds", D3DFMT_DXT1, ImageFileDds, 1, false});
    std::vector<std::string> paths;
    std::map<std::string, std::vector<uint32_t>> expected;
    for (const Sample& s : sampleList) {
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(device_->CreateTexture(13, 7, 1, 0, s.format, D3DPOOL_SCRATCH, &tex, nullptr), S_OK) << s.name;
        ASSERT_EQ(FillTexture(tex, Pattern, nullptr), S_OK) << s.name;
        const std::string path = std::string(KILN_BINARY_DIR) + "/independent_" + s.name;
        ASSERT_EQ(SaveTextureToNamedFileA(path.c_str(), s.kind, tex, nullptr), S_OK) << s.name;
        tex->Release();
        // What our own loader reads from the same file.
        IDirect3DTexture9* back = nullptr;
        ASSERT_EQ(TextureFromNamedFileA(device_, path.c_str(), kKeepSourceSize, kKeepSourceSize, 1, 0, D3DFMT_A8R8G8B8,
                                        D3DPOOL_SCRATCH, TexFilterNone, TexFilterNone, 0, nullptr, nullptr, &back),
                  S_OK)
            << s.name;
        expected[path] = textest::ReadLevel32(back, 0);
        back->Release();
        paths.push_back(path);
    }
    const std::map<std::string, Reading> readings = ReadWithPillow(python, paths);
    for (size_t i = 0; i < paths.size(); ++i) {
        const Sample& s = sampleList[i];
        SCOPED_TRACE(s.name);
        const auto it = readings.find(paths[i]);
        ASSERT_NE(it, readings.end()) << "Pillow printed nothing for the file";
        const Reading& r = it->second;
        ASSERT_NE(r.format, "ERROR") << "Pillow could not open the file";
        ASSERT_EQ(r.width, 13u);
        ASSERT_EQ(r.height, 7u);
        ASSERT_EQ(r.rgba.size(), 13u * 7 * 4);
        const std::vector<uint32_t>& ours = expected[paths[i]];
        int worst = 0;
        for (size_t p = 0; p < ours.size(); ++p) {
            const int channels[4] = {int(ours[p] >> 16 & 0xFF), int(ours[p] >> 8 & 0xFF), int(ours[p] & 0xFF),
                                     int(ours[p] >> 24)};
            for (int c = 0; c < (s.alpha ? 4 : 3); ++c) worst = std::max(worst, std::abs(channels[c] - r.rgba[4 * p + c]));
        }
        EXPECT_LE(worst, s.tolerance) << "largest channel difference between Pillow and our loader";
    }
}

}  // namespace
