// Throughput of the shader assembler in source lines per second of processor
// time, for a long generated vs_3_0 program (arithmetic with swizzles and
// modifiers, relative constants, predicates, loops), without and with the
// validator and with debug information. The baseline in the same process is
// the preprocessor alone reading the same text as assembly-mode tokens, so
// the ratio shows what parsing, checking and encoding add to tokenizing.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <string>

#include "gfx/exports.h"
#include "shader/compiler.h"
#include "shader/preprocess/preprocessor.h"

namespace {

constexpr int kBodyLines = 40000;

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A program of kBodyLines instructions after its declarations.
std::string GenerateProgram(int* lines) {
    std::string text = "vs_3_0\ndcl_position v0\ndcl_texcoord0 v1\ndcl_position o0\ndcl_texcoord0 o1\n";
    text += "def c0, 0.5, -1.25, 2, 1.0e-04\ndefi i0, 4, 0, 1, 0\n";
    int n = 7;
    static const char* const kForms[] = {
        "mov r%d.xz, c%d.yxwz",         "add r%d, r%d, -c%d.x",           "mad_sat r%d.xyz, v0, c%d, r%d_abs",
        "mul r%d, c[a0.x + %d], r%d.w", "dp4 r%d.x, v1, c%d",             "setp_gt p0, r%d, c%d",
        "(p0.x) add r%d, r%d, c%d",     "sincos r%d.xy, c%d.x",           "mova a0.x, c%d.%c",
    };
    for (int i = 0; i < kBodyLines; ++i, ++n) {
        char line[96];
        const int a = i % 32, b = (i * 7) % 32, c = (i * 13) % 200 + 1;
        switch (i % 10) {
            case 0: std::snprintf(line, sizeof(line), kForms[0], a, c); break;
            case 1: std::snprintf(line, sizeof(line), kForms[1], a, b, c); break;
            case 2: std::snprintf(line, sizeof(line), kForms[2], a, c, b); break;
            case 3: std::snprintf(line, sizeof(line), kForms[3], a, c, b); break;
            case 4: std::snprintf(line, sizeof(line), kForms[4], a, c); break;
            case 5: std::snprintf(line, sizeof(line), kForms[5], a, c); break;
            case 6: std::snprintf(line, sizeof(line), kForms[6], a, b, c); break;
            case 7: std::snprintf(line, sizeof(line), kForms[7], a, c); break;
            case 8: std::snprintf(line, sizeof(line), kForms[8], c, "xyzw"[i % 4]); break;
            default: std::snprintf(line, sizeof(line), i % 20 == 9 ? "loop aL, i0" : "endloop"); break;
        }
        text += line;
        text += '\n';
    }
    text += "mov o0, r0\nmov o1, r1\n";
    *lines = n + 2;
    return text;
}

const std::string& Program(int* lines) {
    static int count = 0;
    static const std::string text = GenerateProgram(&count);
    *lines = count;
    return text;
}

double gBaselineRate = 0;

void ReportRate(benchmark::State& state, int lines, double seconds, bool baseline) {
    const double rate = seconds > 0 ? double(lines) * double(state.iterations()) / seconds : 0;
    state.counters["lines_per_cpu_s"] = rate;
    if (baseline) gBaselineRate = rate;
    else if (gBaselineRate > 0) state.counters["x_slower_than_tokens"] = gBaselineRate / rate;
}

void BM_TokensOnly(benchmark::State& state) {
    int lines = 0;
    const std::string& text = Program(&lines);
    double seconds = 0;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        Preprocessor pp;
        pp.OpenMemory(text.data(), text.size(), nullptr, nullptr, nullptr);
        pp.Begin(kModeAssembler);
        size_t tokens = 0;
        for (Token t; SUCCEEDED(pp.NextToken(&t)) && t.kind != TokenKind::EndOfFile;) ++tokens;
        pp.End();
        benchmark::DoNotOptimize(tokens);
        seconds += ThreadSeconds() - start;
    }
    ReportRate(state, lines, seconds, true);
}

void Assemble(benchmark::State& state, DWORD flags) {
    int lines = 0;
    const std::string& text = Program(&lines);
    KilnGfxRegisterExports();
    double seconds = 0;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        IKLBuffer* code = nullptr;
        IKLBuffer* errors = nullptr;
        const HRESULT hr = KLAssembleShader(text.data(), UINT(text.size()), nullptr, nullptr, flags, &code, &errors);
        seconds += ThreadSeconds() - start;
        if (FAILED(hr)) {
            state.SkipWithError(errors ? static_cast<const char*>(errors->GetBufferPointer()) : "assembly failed");
        }
        if (code) code->Release();
        if (errors) errors->Release();
        if (FAILED(hr)) break;
    }
    ReportRate(state, lines, seconds, false);
}

void BM_AssembleNoValidation(benchmark::State& state) { Assemble(state, KLSHADER_SKIPVALIDATION); }
void BM_AssembleValidated(benchmark::State& state) { Assemble(state, 0); }
void BM_AssembleWithDebugInfo(benchmark::State& state) { Assemble(state, KLSHADER_SKIPVALIDATION | KLSHADER_DEBUG); }

BENCHMARK(BM_TokensOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssembleNoValidation)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssembleValidated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AssembleWithDebugInfo)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
