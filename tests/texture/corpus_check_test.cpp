// Field test on the public image corpus (shared/corpus/images): every file
// loads through the creation entry points into an A8R8G8B8 texture whose
// level 0 matches the reference decode within one step per channel, and every
// file that no reference tool decodes is refused with a failure result.
// Differences judged correct are listed with their reason in
// corpus_known_differences.tsv; the test fails when an unlisted difference
// appears or a listed one goes away.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/texture/texture_test_device.h"

using textest::DeviceTest;
using textest::ReadLevel32;

namespace {

// One step of an 8-bit channel: tools round or truncate when they widen 2- to
// 6-bit channels or narrow 16-bit ones.
constexpr int kTolerance = 1;

const std::string kCorpus = std::string(KILN_SOURCE_DIR) + "/../shared/corpus/images";

struct Entry {
    std::string path, referenceBy, reference;
};

std::vector<Entry> ReadManifest() {
    std::vector<Entry> entries;
    std::ifstream in(kCorpus + "/MANIFEST.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("local_path", 0) == 0) continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t')) fields.push_back(field);
        if (fields.size() < 7) continue;
        entries.push_back(Entry{fields[0], fields[5], fields[6]});
    }
    return entries;
}

// path -> kind ("refused", "accepted", "differs")
std::map<std::string, std::string> ReadKnownDifferences() {
    std::map<std::string, std::string> known;
    std::ifstream in(std::string(KILN_SOURCE_DIR) + "/tests/texture/corpus_known_differences.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream ss(line);
        std::string path, kind;
        std::getline(ss, path, '\t');
        std::getline(ss, kind, '\t');
        known[path] = kind;
    }
    return known;
}

// The reference as 0xAARRGGBB words, through libpng's own RGBA reader.
bool ReadReference(const std::string& path, UINT* width, UINT* height, std::vector<uint32_t>* argb) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_BGRA;
    argb->assign(size_t{image.width} * image.height, 0);
    if (!png_image_finish_read(&image, nullptr, argb->data(), 0, nullptr)) return false;
    *width = image.width;
    *height = image.height;
    return true;
}

// The loader corrects PNG files that carry a gAMA chunk (and no sRGB chunk)
// for a display gamma of 2.2; the reference tools do not. The reference's
// colour channels get the same correction before comparing. Returns the
// exponent used, 0 when none applies.
double PngGammaExponent(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    double exponent = 0;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_read_info(png, info);
        double gamma = 0;
        int intent = 0;
        if (!png_get_sRGB(png, info, &intent) && png_get_gAMA(png, info, &gamma) && gamma > 1e-6)
            exponent = 1.0 / (2.2 * gamma);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return exponent;
}

// How far a loaded pixel lies outside the band the reference allows: each
// channel within the tolerance of the reference, or, for gamma-corrected
// colour, within the corrected images of the reference's neighbours (an
// 8-bit reference has lost the precision the corrected value keeps).
// Colour is not compared where both pixels are fully transparent.
int Excess(const std::vector<uint32_t>& loaded, const std::vector<uint32_t>& reference, double exponent,
           size_t* where) {
    auto corrected = [exponent](int v) {
        v = v < 0 ? 0 : (v > 255 ? 255 : v);
        return 255.0 * std::pow(v / 255.0, exponent);
    };
    int worst = 0;
    for (size_t i = 0; i < loaded.size(); ++i) {
        const bool clear = (loaded[i] >> 24) == 0 && (reference[i] >> 24) == 0;
        for (int shift = clear ? 24 : 0; shift < 32; shift += 8) {
            const int v = static_cast<int>((loaded[i] >> shift) & 0xFF);
            const int r = static_cast<int>((reference[i] >> shift) & 0xFF);
            double lo = r - kTolerance, hi = r + kTolerance;
            if (exponent > 0 && shift < 24) {
                lo = corrected(r - 1) - kTolerance;
                hi = corrected(r + 1) + kTolerance;
            }
            const int excess = static_cast<int>(std::ceil(std::max({0.0, lo - v, v - hi})));
            if (excess > worst) worst = excess, *where = i;
        }
    }
    return worst;
}

using CorpusCheck = DeviceTest;

TEST_F(CorpusCheck, LoadsMatchReferencesOrAreKnownDifferences) {
    const std::vector<Entry> entries = ReadManifest();
    if (entries.empty()) GTEST_SKIP() << "no image corpus at " << kCorpus;
    const std::map<std::string, std::string> known = ReadKnownDifferences();
    std::map<std::string, std::string> found, detail;
    int matched = 0, refused = 0;
    for (const Entry& e : entries) {
        const std::string file = kCorpus + "/" + e.path;
        IDirect3DTexture9* tex = nullptr;
        const HRESULT hr = TextureFromNamedFileA(device_, file.c_str(), kKeepSourceSize, kKeepSourceSize, 1, 0,
                                                 D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, TexFilterNone, TexFilterBox, 0,
                                                 nullptr, nullptr, &tex);
        // The demo's entry point (power-of-two size, full chain) agrees on success or failure.
        IDirect3DTexture9* simple = nullptr;
        const HRESULT simpleHr = KLCreateTextureFromFileA(device_, file.c_str(), &simple);
        EXPECT_EQ(SUCCEEDED(hr), SUCCEEDED(simpleHr)) << e.path;
        if (simple) simple->Release();

        const bool noReference = e.referenceBy.rfind("none", 0) == 0;
        std::string outcome;
        if (noReference) {
            outcome = FAILED(hr) ? "" : "accepted";
            if (FAILED(hr)) ++refused;
        } else if (FAILED(hr)) {
            outcome = "refused";
        } else {
            UINT rw = 0, rh = 0, w = 0, h = 0;
            std::vector<uint32_t> reference;
            ASSERT_TRUE(ReadReference(kCorpus + "/" + e.reference, &rw, &rh, &reference)) << e.reference;
            const std::vector<uint32_t> loaded = ReadLevel32(tex, 0, &w, &h);
            const double exponent = e.path.size() > 4 && e.path.compare(e.path.size() - 4, 4, ".png") == 0
                                        ? PngGammaExponent(file)
                                        : 0;
            size_t where = 0;
            int worst = 0;
            if (w != rw || h != rh) {
                outcome = "differs";
                detail[e.path] = "size " + std::to_string(w) + "x" + std::to_string(h) + " against " +
                                 std::to_string(rw) + "x" + std::to_string(rh);
            } else if ((worst = Excess(loaded, reference, exponent, &where)) > 0) {
                outcome = "differs";
                char text[128];
                std::snprintf(text, sizeof(text), "%d beyond the band at (%zu, %zu): %08X against %08X", worst, where % w,
                              where / w, loaded[where], reference[where]);
                detail[e.path] = text;
            } else {
                ++matched;
            }
        }
        if (tex) tex->Release();
        if (outcome == "refused" || outcome == "accepted") {
            char text[32];
            std::snprintf(text, sizeof(text), "result 0x%08X", static_cast<unsigned>(hr));
            detail[e.path] = text;
        }
        if (!outcome.empty()) found[e.path] = outcome;
    }
    for (const auto& [path, kind] : found) {
        auto it = known.find(path);
        EXPECT_TRUE(it != known.end() && it->second == kind) << path << ": " << kind << ", " << detail[path] << " (not in the known list)";
    }
    for (const auto& [path, kind] : known) {
        auto it = found.find(path);
        EXPECT_TRUE(it != found.end() && it->second == kind) << path << ": listed as " << kind << " but is not";
    }
    RecordProperty("matched", matched);
    RecordProperty("refused_as_expected", refused);
    std::printf("corpus: %d match their reference, %d refused as expected, %zu known differences of %zu files\n",
                matched, refused, found.size(), entries.size());
}

}  // namespace
