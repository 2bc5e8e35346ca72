// Loading a 1024 x 1024 PNG into a texture with its full mip chain, next to
// plain libpng decoding of the same file in the same run. Prints the ratio.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "texture/kltexture.h"

namespace {

constexpr uint32_t kSize = 1024;

// A photo-like test image: smooth gradients with some texture, so that the
// file compresses about as well as real artwork does.
std::vector<uint8_t> MakeImageFile() {
    std::vector<uint8_t> rgb(size_t{kSize} * kSize * 3);
    uint32_t noise = 1;
    for (uint32_t y = 0; y < kSize; ++y)
        for (uint32_t x = 0; x < kSize; ++x) {
            noise = noise * 1664525u + 1013904223u;
            uint8_t* p = &rgb[(size_t{y} * kSize + x) * 3];
            p[0] = static_cast<uint8_t>((x / 4 + (noise >> 29)) & 0xFF);
            p[1] = static_cast<uint8_t>((y / 4 + ((x * y) >> 12)) & 0xFF);
            p[2] = static_cast<uint8_t>(((x + y) / 8) ^ ((noise >> 28) & 3));
        }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = kSize;
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr);
    std::vector<uint8_t> file(size);
    png_image_write_to_memory(&image, file.data(), &size, 0, rgb.data(), 0, nullptr);
    file.resize(size);
    return file;
}

struct Fixture {
    std::vector<uint8_t> file = MakeImageFile();
    std::string path = "/tmp/kiln_texture_bench_1024.png";
    IDirect3DDevice9* device = nullptr;
    Fixture() {
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(file.data(), 1, file.size(), f);
            std::fclose(f);
        }
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp = {};
        pp.BackBufferWidth = pp.BackBufferHeight = 16;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                          &device);
        d3d->Release();
    }
};

Fixture& Shared() {
    static Fixture fixture;
    return fixture;
}

void BM_LoadTextureWithMipChain(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(KLCreateTextureFromFileA(f.device, f.path.c_str(), &texture))) {
            state.SkipWithError("loading failed");
            break;
        }
        benchmark::DoNotOptimize(texture);
        texture->Release();
    }
    state.counters["file_bytes"] = static_cast<double>(f.file.size());
}
BENCHMARK(BM_LoadTextureWithMipChain)->Unit(benchmark::kMillisecond);

// The baseline: libpng alone decoding the same file from memory into RGBA rows.
void BM_LibpngDecodeOnly(benchmark::State& state) {
    Fixture& f = Shared();
    std::vector<uint8_t> pixels(size_t{kSize} * kSize * 4);
    for (auto _ : state) {
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, f.file.data(), f.file.size())) {
            state.SkipWithError("decoding failed");
            break;
        }
        image.format = PNG_FORMAT_BGRA;
        png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_LibpngDecodeOnly)->Unit(benchmark::kMillisecond);

// Console output plus the per-iteration times, for the ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                realTimes[run.run_name.function_name] = run.GetAdjustedRealTime();
                cpuTimes[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
    }
    std::map<std::string, double> realTimes, cpuTimes;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // Both clocks: wall time suffers when other work shares the cores.
    for (const auto* times : {&reporter.realTimes, &reporter.cpuTimes}) {
        const auto load = times->find("BM_LoadTextureWithMipChain");
        const auto decode = times->find("BM_LibpngDecodeOnly");
        if (load != times->end() && decode != times->end() && decode->second > 0)
            std::printf("texture load with mip chain / libpng decode alone (%s time): %.2f\n",
                        times == &reporter.realTimes ? "real" : "CPU", load->second / decode->second);
    }
    if (Shared().device) Shared().device->Release();
    std::remove(Shared().path.c_str());
    return 0;
}
