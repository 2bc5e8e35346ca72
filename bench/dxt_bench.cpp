// DXT1 and DXT5 encoding: quality (RGB RMSE of the decoded image against the
// source, in 8-bit steps) and speed (megapixels per second, one thread) of our
// encoder, run through the resampler as every caller of the loader runs it,
// side by side with libsquish (range fit and cluster fit) and stb_dxt (normal
// and high quality) when those are installed. Every output is decoded by our
// block decoders, so the error figures compare the encoders alone.
//
// Images: the corpus photograph and ImageMagick's built-in images, written
// into the build tree when the bench is built (bench/CMakeLists.txt).
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "texture/pixels/dxt_blocks.h"
#include "texture/pixels/image_resampler.h"

#ifdef KILN_HAVE_SQUISH
#include <squish.h>
#endif
#ifdef KILN_HAVE_STB_DXT
#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
// The header's other block kinds go unused here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_dxt.h>
#pragma GCC diagnostic pop
#endif

namespace {

struct Image {
    std::string name;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;    // R, G, B, A bytes per pixel
    std::vector<KLCOLOR> colors;  // the same as working values
};

bool ReadPng(const std::string& path, const std::string& name, Image* image) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
    png.format = PNG_FORMAT_RGBA;
    image->name = name;
    image->width = png.width;
    image->height = png.height;
    image->rgba.assign(PNG_IMAGE_SIZE(png), 0);
    if (!png_image_finish_read(&png, nullptr, image->rgba.data(), 0, nullptr)) return false;
    image->colors.resize(size_t{image->width} * image->height);
    for (size_t i = 0; i < image->colors.size(); ++i) {
        const uint8_t* p = &image->rgba[4 * i];
        image->colors[i] = KLCOLOR{p[0] / 255.0f, p[1] / 255.0f, p[2] / 255.0f, p[3] / 255.0f};
    }
    return true;
}

struct Format {
    const char* name;
    D3DFORMAT format;
    uint32_t blockBytes;
    BlockDecoder decode;
};

size_t BlockBufferBytes(const Image& img, const Format& f) {
    return size_t{(img.width + 3) / 4} * ((img.height + 3) / 4) * f.blockBytes;
}

// Encoders write the blocks of an image, row of blocks by row of blocks.
using Encoder = std::function<void(const Image&, const Format&, BYTE*)>;

void EncodeKiln(const Image& img, const Format& f, BYTE* blocks) {
    ImageView src;
    src.pixels = const_cast<BYTE*>(img.rgba.data());
    src.format = D3DFMT_A8B8G8R8;  // R, G, B, A bytes in memory
    src.rowPitch = img.width * 4;
    src.slicePitch = src.rowPitch * img.height;
    src.extent = src.region = ImageBox{0, 0, img.width, img.height, 0, 1};
    ImageView dst;
    dst.pixels = blocks;
    dst.format = f.format;
    dst.rowPitch = (img.width + 3) / 4 * f.blockBytes;
    dst.slicePitch = dst.rowPitch * ((img.height + 3) / 4);
    dst.extent = dst.region = src.region;
    if (FAILED(ImageResampler().Run(dst, src, TexFilterNone))) std::fprintf(stderr, "encode failed\n");
}

// The block encoders alone, on working values gathered a row of blocks at a
// time (edge blocks repeat the last row and column, as the other libraries'
// are fed).
void EncodeKilnBlocks(const Image& img, const Format& f, BYTE* blocks) {
    BlockCodec codec;
    FindBlockCodec(f.format, &codec);
    const uint32_t perRow = (img.width + 3) / 4;
    std::vector<KLCOLOR> texels(size_t{perRow} * 16);
    for (uint32_t by = 0; by < img.height; by += 4) {
        for (uint32_t bx = 0; bx < img.width; bx += 4)
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = std::min(bx + (i & 3), img.width - 1), y = std::min(by + (i >> 2), img.height - 1);
                texels[bx * 4 + i] = img.colors[size_t{y} * img.width + x];
            }
        codec.encodeRow(blocks, texels.data(), perRow);
        blocks += size_t{perRow} * f.blockBytes;
    }
}

#ifdef KILN_HAVE_STB_DXT
Encoder EncodeStb(int mode) {
    return [mode](const Image& img, const Format& f, BYTE* blocks) {
        uint8_t texels[64];
        for (uint32_t by = 0; by < img.height; by += 4)
            for (uint32_t bx = 0; bx < img.width; bx += 4) {
                // Edge blocks repeat the last row and column.
                for (uint32_t i = 0; i < 16; ++i) {
                    const uint32_t x = std::min(bx + (i & 3), img.width - 1), y = std::min(by + (i >> 2), img.height - 1);
                    std::memcpy(texels + 4 * i, &img.rgba[(size_t{y} * img.width + x) * 4], 4);
                }
                stb_compress_dxt_block(blocks, texels, f.blockBytes == 16, mode);
                blocks += f.blockBytes;
            }
    };
}
#endif

#ifdef KILN_HAVE_SQUISH
Encoder EncodeSquish(int fit) {
    return [fit](const Image& img, const Format& f, BYTE* blocks) {
        const int kind = f.format == D3DFMT_DXT1 ? squish::kDxt1 : squish::kDxt5;
        squish::CompressImage(img.rgba.data(), static_cast<int>(img.width), static_cast<int>(img.height), blocks,
                              kind | fit);
    };
}
#endif

// Sum of squared 8-bit RGB differences between the decoded blocks and the source.
double SquaredError(const Image& img, const Format& f, const BYTE* blocks) {
    double sum = 0;
    KLCOLOR texels[16];
    const uint32_t perRow = (img.width + 3) / 4;
    for (uint32_t by = 0; by < (img.height + 3) / 4; ++by)
        for (uint32_t bx = 0; bx < perRow; ++bx) {
            f.decode(texels, blocks + (size_t{by} * perRow + bx) * f.blockBytes);
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x >= img.width || y >= img.height) continue;
                const uint8_t* s = &img.rgba[(size_t{y} * img.width + x) * 4];
                const float v[3] = {texels[i].r, texels[i].g, texels[i].b};
                for (int c = 0; c < 3; ++c) {
                    const double d = std::floor(v[c] * 255.0f + 0.5f) - s[c];
                    sum += d * d;
                }
            }
        }
    return sum;
}

struct Result {
    double seconds = 0;  // per encode of all images
    double squared = 0;
    std::vector<double> rmse;  // per image
};

// Processor time of this thread, so that other work on a shared machine does not count.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Encodes every image, repeating each until a quarter second has been spent.
Result Measure(const std::vector<Image>& images, const Format& f, const Encoder& encode) {
    Result r;
    for (const Image& img : images) {
        std::vector<BYTE> blocks(BlockBufferBytes(img, f));
        const double start = ThreadSeconds();
        int runs = 0;
        double elapsed = 0;
        do {
            encode(img, f, blocks.data());
            ++runs;
            elapsed = ThreadSeconds() - start;
        } while (elapsed < 0.25);
        r.seconds += elapsed / runs;
        const double squared = SquaredError(img, f, blocks.data());
        r.squared += squared;
        r.rmse.push_back(std::sqrt(squared / (3.0 * img.width * img.height)));
    }
    return r;
}

// libgomp reads its thread count when it loads, before main: run again with
// one thread so every encoder is measured on one core.
void PinOpenMpToOneThread(char** argv) {
    const char* threads = std::getenv("OMP_NUM_THREADS");
    if (threads && std::strcmp(threads, "1") == 0) return;
    setenv("OMP_NUM_THREADS", "1", 1);
    execv("/proc/self/exe", argv);
}

std::string FindPhoto() {
    for (const char* root : {KILN_SOURCE_DIR "/../shared", "/work/shared"}) {
        const std::string path = std::string(root) + "/corpus/photos/kodim01.png";
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
            return path;
        }
    }
    return "";
}

}  // namespace

// Optional argument: run only the encoders whose name contains it.
int main(int argc, char** argv) {
    PinOpenMpToOneThread(argv);
    std::vector<Image> images;
    Image img;
    if (ReadPng(FindPhoto(), "kodim01", &img)) images.push_back(img);
    for (const char* name : {"rose", "wizard", "granite", "plasma"})
        if (ReadPng(std::string(KILN_DXT_DATA) + "/" + name + ".png", name, &img)) images.push_back(img);
    if (images.empty()) {
        std::fprintf(stderr, "dxt_bench: no images (corpus photograph or generated data)\n");
        return 1;
    }
    double pixels = 0;
    std::printf("DXT encoders, one thread (processor time); RGB RMSE in 8-bit steps of the decoded image against the source\n");
    std::printf("images:");
    for (const Image& i : images) {
        std::printf(" %s %ux%u", i.name.c_str(), i.width, i.height);
        pixels += static_cast<double>(i.width) * i.height;
    }
    std::printf("\n\n");

    struct Named {
        const char* name;
        Encoder encode;
    };
    std::vector<Named> encoders = {{"kiln, RGBA8 rows", EncodeKiln}, {"kiln, blocks alone", EncodeKilnBlocks}};
#ifdef KILN_HAVE_SQUISH
    encoders.push_back({"libsquish range fit", EncodeSquish(squish::kColourRangeFit)});
    encoders.push_back({"libsquish cluster fit", EncodeSquish(squish::kColourClusterFit)});
#else
    std::printf("(libsquish not installed: its rows are skipped)\n");
#endif
#ifdef KILN_HAVE_STB_DXT
    encoders.push_back({"stb_dxt normal", EncodeStb(STB_DXT_NORMAL)});
    encoders.push_back({"stb_dxt high quality", EncodeStb(STB_DXT_HIGHQUAL)});
#else
    std::printf("(stb_dxt not installed: its rows are skipped)\n");
#endif
    if (argc > 1)
        std::erase_if(encoders, [&](const Named& e) { return std::string(e.name).find(argv[1]) == std::string::npos; });
    const Format formats[] = {{"DXT1", D3DFMT_DXT1, 8, DecodeBlockDxt1}, {"DXT5", D3DFMT_DXT5, 16, DecodeBlockDxt5}};
    std::printf("%-6s %-22s %8s %8s", "format", "encoder", "RMSE", "MP/s");
    for (const Image& i : images) std::printf(" %9s", i.name.c_str());
    std::printf("   %s\n", "MP/s vs kiln");
    for (const Format& f : formats) {
        double kilnRate = 0;
        for (const Named& e : encoders) {
            const Result r = Measure(images, f, e.encode);
            const double rate = pixels / r.seconds / 1e6;
            if (kilnRate == 0) kilnRate = rate;
            std::printf("%-6s %-22s %8.3f %8.2f", f.name, e.name, std::sqrt(r.squared / (3 * pixels)), rate);
            for (double v : r.rmse) std::printf(" %9.3f", v);
            std::printf("   %.2fx\n", rate / kilnRate);
        }
    }
    return 0;
}
