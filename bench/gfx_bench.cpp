// Frames per second of the software device on a scene shaped like the demo's
// heaviest frame: 550 textured particle quads 20 to 80 pixels across with
// additive blending, a wide logo quad and a text strip, 800 x 600, drawn
// through a vertex and a pixel shader (and, for comparison, through the
// fixed-function pipeline). Each case runs with one thread and with all
// hardware threads, the shaded frame with its shaders interpreted and compiled
// to native code, and the llvmpipe reference frame runs in the same process
// run; the ratios are printed at the end. The CPU column is the
// processor time of the whole process (every worker thread), so on a shared
// machine it shows the work per frame when wall-clock time cannot.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <map>
#include <string>

#include "gfx/d3d9.h"
#include "gfx/device_options.h"
#include "gfx/shaders/pipeline_jit.h"
#include "gfx/shaders/shader_jit.h"
#include "gfx_bench_reference.h"
#include "tests/gfx/particle_scene.h"

namespace {

std::map<std::string, double> gFps, gCpuMs;

IDirect3DDevice9* MakeDevice(IDirect3D9* d3d, unsigned threads, bool compiled) {
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
    options.compiledShaders = compiled;
    options.waitForCompiledShaders = compiled;
    gfx::SetDefaultDeviceOptions(options);
    IDirect3DDevice9* dev = nullptr;
    d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &dev);
    gfx::SetDefaultDeviceOptions({});
    return dev;
}

void RunFrames(benchmark::State& state, bool shaders, unsigned threads, const char* name, bool compiled = true) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    IDirect3DDevice9* dev = MakeDevice(d3d, threads, compiled);
    if (!dev) {
        state.SkipWithError("device creation failed");
        d3d->Release();
        return;
    }
    {
        gfxtest::ParticleScene scene(dev, shaders);
        if (!scene.created()) state.SkipWithError("scene creation failed");
        auto start = std::chrono::steady_clock::now();
        std::clock_t cpuStart = std::clock();
        for (auto _ : state) {
            scene.DrawFrame();
            dev->Present(nullptr, nullptr, nullptr, nullptr);
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
        if (seconds > 0) gFps[name] = double(state.iterations()) / seconds;
        if (state.iterations() > 0)
            gCpuMs[name] = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC / double(state.iterations());
    }
    dev->Release();
    d3d->Release();
}

void BM_ShadedFrame_OneThread(benchmark::State& s) { RunFrames(s, true, 1, "shaded/1"); }
void BM_ShadedFrame_AllThreads(benchmark::State& s) { RunFrames(s, true, 0, "shaded/all"); }
void BM_InterpretedFrame_OneThread(benchmark::State& s) { RunFrames(s, true, 1, "interpreted/1", false); }
void BM_InterpretedFrame_AllThreads(benchmark::State& s) { RunFrames(s, true, 0, "interpreted/all", false); }
void BM_FixedFunctionFrame_OneThread(benchmark::State& s) { RunFrames(s, false, 1, "fixed/1"); }
void BM_FixedFunctionFrame_AllThreads(benchmark::State& s) { RunFrames(s, false, 0, "fixed/all"); }

BENCHMARK(BM_ShadedFrame_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_ShadedFrame_AllThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_InterpretedFrame_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_InterpretedFrame_AllThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_FixedFunctionFrame_OneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);
BENCHMARK(BM_FixedFunctionFrame_AllThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double reference[2] = {benchref::ReferenceFps(1), benchref::ReferenceFps(0)};
    for (const char* kind : {"shaded", "interpreted", "fixed"}) {
        std::string one = kind, all = kind;
        one += "/1";
        all += "/all";
        if (gFps.count(one) && gFps.count(all)) {
            std::printf("%s frame: %.1f fps with 1 thread, %.1f fps with all threads (x%.2f)\n", kind, gFps[one],
                        gFps[all], gFps[all] / gFps[one]);
            std::printf("%s frame: %.1f ms CPU with 1 thread, %.1f ms CPU (all threads together) with all threads\n",
                        kind, gCpuMs[one], gCpuMs[all]);
        }
    }
    for (const char* threads : {"1", "all"}) {
        const std::string shaded = std::string("shaded/") + threads, interpreted = std::string("interpreted/") + threads;
        if (!gFps.count(shaded) || !gFps.count(interpreted)) continue;
        const double ref = reference[threads[0] == '1' ? 0 : 1];
        std::printf("shaded frame, %s thread(s): compiled %.1f fps, interpreted %.1f fps (x%.2f)", threads,
                    gFps[shaded], gFps[interpreted], gFps[shaded] / gFps[interpreted]);
        if (ref > 0) std::printf(", llvmpipe reference %.1f fps (compiled x%.2f)\n", ref, gFps[shaded] / ref);
        else std::printf(", llvmpipe reference not built\n");
    }
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
    return 0;
}
