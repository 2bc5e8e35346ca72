// Throughput of the HLSL compiler, in shaders per second of processor time,
// for five groups: the demo's vertex and pixel shaders, vertex shaders from
// the shared field corpus (skipped when the corpus is not on this machine),
// and two large generated shaders. The peak resident memory of the process is
// printed at the end.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "shader/compiler.h"

namespace {

struct ShaderSource {
    std::string name, text, entry, profile;
};

struct Group {
    std::vector<ShaderSource> shaders;
    double rate = 0;  // shaders per processor second, from the last run
};

std::map<std::string, Group> gGroups;

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

bool ReadFile(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    *text = s.str();
    return true;
}

// Compiles one shader; false (with the first message) when it does not compile.
bool Compile(const ShaderSource& s, std::string* message = nullptr) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    HRESULT hr = KLCompileShader(s.text.data(), static_cast<UINT>(s.text.size()), nullptr, nullptr, s.entry.c_str(),
                                 s.profile.c_str(), 0, &code, &errors, nullptr);
    if (message && errors) *message = static_cast<const char*>(errors->GetBufferPointer());
    if (errors) errors->Release();
    if (code) code->Release();
    return SUCCEEDED(hr);
}

// Keeps a shader in its group only if it compiles, so every group measures
// complete compiles rather than early failures.
void Add(const std::string& group, ShaderSource s) {
    std::string message;
    if (!Compile(s, &message)) {
        std::fprintf(stderr, "compile_bench: %s does not compile, left out: %s\n", s.name.c_str(),
                     message.substr(0, message.find('\n')).c_str());
        return;
    }
    gGroups[group].shaders.push_back(std::move(s));
}

void LoadDemoShaders() {
    for (const char* name : {"Fire", "Fire2", "Fire3", "Scroller", "Simple", "cube"}) {
        for (bool vertex : {true, false}) {
            std::string path = std::string(KILN_SOURCE_DIR) + "/assets/" + name + (vertex ? ".vhl" : ".phl");
            std::string text;
            if (!ReadFile(path, &text)) {
                std::fprintf(stderr, "compile_bench: cannot read %s\n", path.c_str());
                continue;
            }
            Add(vertex ? "demo vs_2_0" : "demo ps_2_0",
                {path, text, vertex ? "vs_main" : "ps_main", vertex ? "vs_2_0" : "ps_2_0"});
        }
    }
}

// Vertex shaders from the field corpus that need no include files.
void LoadCorpusShaders() {
    const std::string root = "/work/shared/corpus/hlsl/";
    const std::pair<const char*, const char*> files[] = {
        {"GarageGames__Torque3D/Templates/Full/game/shaders/common/basicCloudsV.hlsl", "main"},
        {"GarageGames__Torque3D/Templates/Full/game/shaders/common/fxFoliageReplicatorV.hlsl", "main"},
        {"GarageGames__Torque3D/Templates/Full/game/shaders/common/scatterSkyV.hlsl", "main"},
        {"GarageGames__Torque3D/Templates/Full/game/shaders/common/water/waterBasicV.hlsl", "main"},
        {"OGRECave__ogre/Samples/Media/materials/programs/instancing.cg", "instancing_vp"},
        {"OGRECave__ogre/Samples/Media/materials/programs/DepthShadowmap.hlsl", "receiverVP"},
        {"Teivaz__nebula2/nebula2/data/shaders/2.0/sky.fx", "vsSky"},
        {"Teivaz__nebula2/nebula2/data/shaders/fixed/water.fx", "vsWater"},
        {"Teivaz__nebula2/nebula2/data/shaders/fixed/shadow.fx", "vsMain"},
        {"Teivaz__nebula2/nebula2/data/shaders/2.0/gui.fx", "vsMain"},
        {"Teivaz__nebula2/nebula2/data/shaders/fixed/cegui.fx", "vsMain"},
        {"libretro__common-shaders/scalefx/shaders/scalefx-pass3.cg", "main_vertex"},
    };
    for (const auto& [file, entry] : files) {
        std::string text;
        if (!ReadFile(root + file, &text)) continue;  // corpus not on this machine
        Add("corpus vs_2_0", {file, text, entry, "vs_2_0"});
    }
}

// Decimal text of n (kept out of line: gcc 12 warns falsely on literal +
// std::to_string temporaries).
std::string Num(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", n);
    return text;
}

// A vertex shader of 40 chained matrix transforms, each followed by a dot
// product that feeds the output colour.
std::string GeneratedVertexShader() {
    std::string s;
    for (int m = 0; m < 10; ++m) s += "float4x4 M" + Num(m) + ";\nfloat3 L" + Num(m) + ";\n";
    s += "struct VS_OUT { float4 pos : POSITION; float4 colour : COLOR0; };\n"
         "VS_OUT main(float4 p : POSITION, float3 n : NORMAL) {\n"
         "    VS_OUT o;\n"
         "    float light = 0;\n";
    for (int i = 0; i < 40; ++i) {
        std::string m = Num(i % 10);
        s += "    p = mul(p, M" + m + ");\n";
        s += "    light += dot(normalize(p.xyz + n), L" + m + ") * " + Num(i + 1) + ".0 / 40.0;\n";
    }
    s += "    o.pos = p;\n"
         "    o.colour = float4(saturate(light).xxx, 1);\n"
         "    return o;\n"
         "}\n";
    return s;
}

// A pixel shader of 12 texture lookups on 8 samplers, blended with arithmetic.
std::string GeneratedPixelShader() {
    std::string s;
    char line[160];
    for (int i = 0; i < 8; ++i) {
        std::snprintf(line, sizeof line, "sampler2D S%d;\n", i);
        s += line;
    }
    for (int i = 0; i < 12; ++i) {
        std::snprintf(line, sizeof line, "float4 K%d;\n", i);
        s += line;
    }
    s += "float4 main(float2 uv0 : TEXCOORD0, float2 uv1 : TEXCOORD1, float4 tint : COLOR0) : COLOR {\n"
         "    float4 c = tint;\n";
    for (int i = 0; i < 12; ++i) {
        std::snprintf(line, sizeof line, "    c = c * 0.75 + tex2D(S%d, uv%d + K%d.xy) * K%d.zzzw;\n", i % 8, i % 2, i, i);
        s += line;
    }
    s += "    return saturate(c * tint + lerp(c, tint, 0.25));\n"
         "}\n";
    return s;
}

void CompileGroup(benchmark::State& state, const std::string& group) {
    Group& g = gGroups[group];
    if (g.shaders.empty()) {
        state.SkipWithError("no shader of this group compiles or is present");
        return;
    }
    size_t compiled = 0;
    double start = ThreadSeconds();
    for (auto _ : state) {
        for (const ShaderSource& s : g.shaders) benchmark::DoNotOptimize(Compile(s));
        compiled += g.shaders.size();
    }
    double seconds = ThreadSeconds() - start;
    g.rate = seconds > 0 ? static_cast<double>(compiled) / seconds : 0;
    state.SetItemsProcessed(static_cast<int64_t>(compiled));
    state.counters["shaders"] = static_cast<double>(g.shaders.size());
}

}  // namespace

int main(int argc, char** argv) {
    LoadDemoShaders();
    LoadCorpusShaders();
    Add("generated vs_2_0 (40 transforms)", {"generated vertex shader", GeneratedVertexShader(), "main", "vs_2_0"});
    Add("generated ps_2_0 (12 lookups)", {"generated pixel shader", GeneratedPixelShader(), "main", "ps_2_0"});
    for (const char* group : {"demo vs_2_0", "demo ps_2_0", "corpus vs_2_0", "generated vs_2_0 (40 transforms)",
                              "generated ps_2_0 (12 lookups)"}) {
        if (gGroups[group].shaders.empty()) {
            std::fprintf(stderr, "compile_bench: group '%s' is empty, skipped\n", group);
            continue;
        }
        benchmark::RegisterBenchmark((std::string("Compile/") + group).c_str(),
                                     [group](benchmark::State& state) { CompileGroup(state, group); });
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nshaders per processor second:\n");
    for (const auto& [name, g] : gGroups)
        if (!g.shaders.empty() && g.rate > 0)
            std::printf("  %-34s %3zu shaders  %10.1f /s\n", name.c_str(), g.shaders.size(), g.rate);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
