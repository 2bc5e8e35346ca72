// Plain against processor-specific variants of the heavy vector math slots, in
// one run. Each variant is called through its slot pointer, as the public
// entries do; after the run a table prints every variant's time per call and
// its speed-up over the plain variant.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "math/dispatch/dispatch_table.h"

namespace {

using namespace klmath;

constexpr UINT kCount = 1024;

struct Data {
    std::vector<KLVECTOR2> v2;
    std::vector<KLVECTOR3> v3;
    std::vector<KLVECTOR4> v4, out4;
    std::vector<KLVECTOR3> out3;
    std::vector<KLFLOAT16> halves;
    std::vector<float> floats;
    KLMATRIX a, b;
    Data() {
        std::mt19937 rng(1);
        std::uniform_real_distribution<float> u(-1, 1);
        for (UINT i = 0; i < kCount; ++i) {
            v2.push_back({u(rng), u(rng)});
            v3.push_back({u(rng), u(rng), u(rng)});
            v4.push_back({u(rng), u(rng), u(rng), u(rng)});
        }
        out4.resize(kCount);
        out3.resize(kCount);
        for (UINT i = 0; i < 4 * kCount; ++i) {
            halves.push_back({static_cast<WORD>(rng() & 0x7BFF)});
            floats.push_back(u(rng) * 1000);
        }
        for (int i = 0; i < 16; ++i) {
            (&a._11)[i] = u(rng) + (i % 5 == 0 ? 3 : 0);
            (&b._11)[i] = u(rng);
        }
    }
};

Data& Shared() {
    static Data d;
    return d;
}

// The benchmark body of each slot, given the variant to call.
using Body = void (*)(benchmark::State&, MathOp);

void MatrixMultiply(benchmark::State& st, MathOp op) {
    Data& d = Shared();
    KLMATRIX out;
    for (auto _ : st) {
        As<kSlotMatrixMultiply>(op)(&out, &d.a, &d.b);
        benchmark::DoNotOptimize(out);
    }
}

void MatrixInverse(benchmark::State& st, MathOp op) {
    Data& d = Shared();
    KLMATRIX out;
    float det;
    for (auto _ : st) {
        benchmark::DoNotOptimize(As<kSlotMatrixInverse>(op)(&out, &det, &d.a));
        benchmark::DoNotOptimize(out);
    }
}

template <int Slot>
void ArrayTransform(benchmark::State& st, MathOp op) {
    Data& d = Shared();
    for (auto _ : st) {
        if constexpr (Slot == kSlotVec2TransformArray)
            As<Slot>(op)(d.out4.data(), sizeof(KLVECTOR4), d.v2.data(), sizeof(KLVECTOR2), &d.a, kCount);
        if constexpr (Slot == kSlotVec3TransformArray)
            As<Slot>(op)(d.out4.data(), sizeof(KLVECTOR4), d.v3.data(), sizeof(KLVECTOR3), &d.a, kCount);
        if constexpr (Slot == kSlotVec3TransformCoordArray || Slot == kSlotVec3TransformNormalArray)
            As<Slot>(op)(d.out3.data(), sizeof(KLVECTOR3), d.v3.data(), sizeof(KLVECTOR3), &d.a, kCount);
        if constexpr (Slot == kSlotVec4TransformArray)
            As<Slot>(op)(d.out4.data(), sizeof(KLVECTOR4), d.v4.data(), sizeof(KLVECTOR4), &d.a, kCount);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kCount);
}

// Normalising an array of vectors one call at a time.
void NormalizeArray(benchmark::State& st, MathOp op) {
    Data& d = Shared();
    auto fn = As<kSlotVec3Normalize>(op);
    for (auto _ : st) {
        for (UINT i = 0; i < kCount; ++i) fn(&d.out3[i], &d.v3[i]);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * kCount);
}

void HalfToFloat(benchmark::State& st, MathOp op) {
    Data& d = Shared();
    for (auto _ : st) {
        As<kSlotFloat16To32Array>(op)(d.floats.data(), d.halves.data(), 4 * kCount);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * 4 * kCount);
}

void FloatToHalf(benchmark::State& st, MathOp op) {
    Data& d = Shared();
    for (auto _ : st) {
        As<kSlotFloat32To16Array>(op)(d.halves.data(), d.floats.data(), 4 * kCount);
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * 4 * kCount);
}

struct Case {
    const char* name;
    int slot;
    Body body;
};

const Case kCases[] = {
    {"MatrixMultiply", kSlotMatrixMultiply, &MatrixMultiply},
    {"MatrixInverse", kSlotMatrixInverse, &MatrixInverse},
    {"Vec2TransformArray", kSlotVec2TransformArray, &ArrayTransform<kSlotVec2TransformArray>},
    {"Vec3TransformArray", kSlotVec3TransformArray, &ArrayTransform<kSlotVec3TransformArray>},
    {"Vec3TransformCoordArray", kSlotVec3TransformCoordArray, &ArrayTransform<kSlotVec3TransformCoordArray>},
    {"Vec3TransformNormalArray", kSlotVec3TransformNormalArray, &ArrayTransform<kSlotVec3TransformNormalArray>},
    {"Vec4TransformArray", kSlotVec4TransformArray, &ArrayTransform<kSlotVec4TransformArray>},
    {"Vec3NormalizeArray", kSlotVec3Normalize, &NormalizeArray},
    {"Float16To32Array", kSlotFloat16To32Array, &HalfToFloat},
    {"Float32To16Array", kSlotFloat32To16Array, &FloatToHalf},
};

MathOp Find(std::span<const SlotEntry> set, int slot) {
    for (auto& e : set)
        if (e.slot == slot) return e.op;
    return nullptr;
}

// Collects the processor time per iteration of every run (steadier than wall
// time on a shared machine), keyed by its name.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> nsPerCall;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                nsPerCall[r.benchmark_name()] = r.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

const char* const kFamilies[] = {"plain", "x86", "SSE", "SSE2"};

MathOp VariantOf(const char* family, int slot) {
    std::string f = family;
    if (f == "plain") return MathPlainTable[slot];
    if (f == "x86") return Find(X86Variants(), slot);
    if (f == "SSE") return Find(SseVariants(), slot);
    return Find(Sse2Variants(), slot);
}

}  // namespace

int main(int argc, char** argv) {
    for (const Case& c : kCases) {
        for (const char* family : kFamilies) {
            MathOp op = VariantOf(family, c.slot);
            // A family without its own variant for the slot is not timed.
            if (!op || (std::string(family) != "plain" && op == MathPlainTable[c.slot])) continue;
            benchmark::RegisterBenchmark((std::string(c.name) + "/" + family).c_str(),
                                         [body = c.body, op](benchmark::State& st) { body(st, op); });
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-26s %12s  %s\n", "slot", "plain ns", "variants: ns (speed-up over plain)");
    for (const Case& c : kCases) {
        auto plain = reporter.nsPerCall.find(std::string(c.name) + "/plain");
        if (plain == reporter.nsPerCall.end()) continue;
        std::printf("%-26s %12.1f ", c.name, plain->second);
        for (const char* family : {kFamilies[1], kFamilies[2], kFamilies[3]}) {
            auto it = reporter.nsPerCall.find(std::string(c.name) + "/" + family);
            if (it != reporter.nsPerCall.end())
                std::printf("  %s %.1f (%.2fx)", family, it->second, plain->second / it->second);
        }
        std::printf("\n");
    }
    benchmark::Shutdown();
    return 0;
}
