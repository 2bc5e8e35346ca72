// Frames per second of the demo's three fire scenes, rendered headless with
// the real effects: the compiled shaders, the loaded textures, the logo and
// the scroll text, over the seconds when every particle of the field is alive.
// Each scene runs with one rasterising thread and with all of them, with the
// shaders interpreted, compiled to native code, and compiled with the pixel
// pipelines (the draw's whole pixel path as one routine); the CPU column
// counts every thread, so it shows the work per frame on a busy machine. The
// llvmpipe reference frame runs in the same process run, for the ratios.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "demo/emberfall.h"
#include "demo/polygon.h"
#include "gfx/d3d9.h"
#include "gfx/device_options.h"
#include "gfx/shaders/pipeline_jit.h"
#include "gfx/shaders/shader_jit.h"
#include "math/klmath.h"
#include "platform/clock.h"
#include "gfx_bench_reference.h"

namespace {

constexpr int64_t kFrequency = 1000000;
std::map<std::string, double> gFps, gCpuMs;

// The three ways of running the pixel path.
enum Path { kInterpreted, kCompiled, kPipelines };
const char* const kPathNames[] = {"interpreted", "compiled", "pipelines"};

IDirect3DDevice9* MakeDevice(IDirect3D9* d3d, unsigned threads, Path path) {
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 800;
    pp.BackBufferHeight = 600;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_FLIP;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    gfx::DeviceOptions options;
    options.threads = threads;
    // Each run measures one path: draws wait for the compiled code.
    options.compiledShaders = path != kInterpreted;
    options.compiledPipelines = path == kPipelines;
    options.waitForCompiledShaders = path != kInterpreted;
    gfx::SetDefaultDeviceOptions(options);
    IDirect3DDevice9* dev = nullptr;
    d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
    gfx::SetDefaultDeviceOptions({});
    return dev;
}

std::string Label(const char* fireName, unsigned threads, Path path) {
    return std::string(fireName) + (threads == 1 ? "/1 thread/" : "/all threads/") + kPathNames[path];
}

void RenderScene(benchmark::State& state, const char* fireName, unsigned threads, Path path) {
    const std::string label = Label(fireName, threads, path);
    platform::UseVirtualClock(kFrequency, 0);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* dev = MakeDevice(d3d, threads, path);
    if (!dev) {
        state.SkipWithError("device creation failed");
        d3d->Release();
        return;
    }
    KLMATRIX projection;
    KLMatrixPerspectiveFovLH(&projection, 3.14159265f / 3, 4.0f / 3, 2.0f, 100.0f);
    dev->SetTransform(D3DTS_PROJECTION, reinterpret_cast<D3DMATRIX*>(&projection));
    {
        cEmberfall fire(dev, KLVECTOR3{0, -6, 25});
        cPolygon logo(dev, KLVECTOR3{0, 10.3f, 19});
        cPolygon scroller(dev, KLVECTOR3{400, -28, 50});
        fire.Init(fireName);
        logo.Init("Simple", "logo.png", 10, 1, 1.5f);
        scroller.Init("Scroller", "scrolltext.png", 187, 1, 1.5f);
        if (!fire.vertexShader || !fire.pixelShader || !fire.texture) state.SkipWithError("the fire did not load");
        // Past the first seconds every particle is alive; the scroll text is on screen from 10 s.
        platform::AdvanceVirtualClock(30 * kFrequency);
        const std::clock_t cpuStart = std::clock();
        const auto wallStart = std::chrono::steady_clock::now();
        for (auto _ : state) {
            dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
            dev->BeginScene();
            logo.Render();
            fire.Render();
            scroller.Render();
            dev->EndScene();
            dev->Present(nullptr, nullptr, nullptr, nullptr);
            platform::AdvanceVirtualClock(kFrequency / 30);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        if (state.iterations() > 0 && seconds > 0) {
            gFps[label] = double(state.iterations()) / seconds;
            gCpuMs[label] = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / double(state.iterations());
        }
    }
    dev->Release();
    d3d->Release();
    platform::UseRealClock();
}

// Arguments: threads (0 = all), path (see Path).
void BM_Fire2(benchmark::State& s) { RenderScene(s, "Fire2", unsigned(s.range(0)), Path(s.range(1))); }
void BM_Fire3(benchmark::State& s) { RenderScene(s, "Fire3", unsigned(s.range(0)), Path(s.range(1))); }
void BM_Fire(benchmark::State& s) { RenderScene(s, "Fire", unsigned(s.range(0)), Path(s.range(1))); }

#define KILN_FIRE_BENCH(fn)                                                                                     \
    BENCHMARK(fn)->ArgsProduct({{1, 0}, {0, 1, 2}})->ArgNames({"threads", "path"})->Unit(benchmark::kMillisecond) \
        ->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0)
KILN_FIRE_BENCH(BM_Fire2);
KILN_FIRE_BENCH(BM_Fire3);
KILN_FIRE_BENCH(BM_Fire);

}  // namespace

int main(int argc, char** argv) {
    // The effects read their files from the demo's data folder.
    const std::string assets = std::string(KILN_SOURCE_DIR) + "/assets";
    if (chdir(assets.c_str()) != 0) {
        std::fprintf(stderr, "demo_bench: cannot enter %s\n", assets.c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const double reference[2] = {benchref::ReferenceFps(1), benchref::ReferenceFps(0)};
    std::printf("\n%-34s %10s %16s\n", "scene", "fps", "CPU ms / frame");
    for (const auto& [label, fps] : gFps) std::printf("%-34s %10.1f %16.1f\n", label.c_str(), fps, gCpuMs[label]);
    std::printf("\n%-6s %-8s %12s %10s %10s %9s %10s %12s\n", "scene", "threads", "interpreted", "compiled",
                "pipelines", "speedup", "llvmpipe", "vs llvmpipe");
    for (const char* scene : {"Fire", "Fire2", "Fire3"}) {
        for (unsigned threads : {1u, 0u}) {
            double fps[3];
            bool all = true;
            for (int p = 0; p < 3; ++p) {
                const std::string label = Label(scene, threads, Path(p));
                all = all && gFps.count(label);
                fps[p] = all ? gFps[label] : 0;
            }
            if (!all) continue;
            const double ref = reference[threads == 1 ? 0 : 1];
            std::printf("%-6s %-8s %12.1f %10.1f %10.1f %8.2fx", scene, threads == 1 ? "1" : "all", fps[0], fps[1],
                        fps[2], fps[2] / fps[0]);
            if (ref > 0) std::printf(" %10.1f %11.2fx\n", ref, fps[2] / ref);
            else std::printf(" %10s %12s\n", "n/a", "n/a");
        }
    }
    if (reference[0] <= 0) std::printf("llvmpipe reference: not built (needs the EGL and GLES development files)\n");
    const gfx::jit::CompileTotals totals = gfx::jit::Totals();
    if (totals.shaders > 0) {
        std::printf("shader compiles: %d, %.2f ms each on average, slowest %.2f ms\n", totals.shaders,
                    totals.milliseconds / totals.shaders, totals.slowest);
    }
    const gfx::jit::CompileTotals pipelines = gfx::jit::PipelineTotals();
    if (pipelines.shaders > 0) {
        std::printf("pipeline compiles: %d, %.2f ms each on average, slowest %.2f ms\n", pipelines.shaders,
                    pipelines.milliseconds / pipelines.shaders, pipelines.slowest);
    }
    std::printf("target: 60 fps with all threads, and at least the llvmpipe reference\n");
    benchmark::Shutdown();
    return 0;
}
