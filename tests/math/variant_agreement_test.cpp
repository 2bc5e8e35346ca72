// Every x86, SSE and SSE2 variant against the plain variant of its slot, on
// the same random inputs: they must agree up to the last bits. The argument
// lists are generated from each slot's signature; array, blending and
// conversion slots have their own input makers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <random>
#include <tuple>
#include <type_traits>

#include "math/dispatch/dispatch_table.h"

namespace klmath {
namespace {

struct Ctx {
    std::mt19937 rng;
    std::deque<std::array<float, 16>> buffers;
    std::vector<std::pair<const float*, size_t>> outputs;

    explicit Ctx(uint32_t seed) : rng(seed) {}
    float Uniform(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }

    // Matrices are kept well conditioned (dominant diagonal), so that
    // inverses, determinants and divisions by w stay meaningful.
    void FillMatrix(float* m) {
        for (int i = 0; i < 16; ++i) m[i] = i % 5 == 0 ? Uniform(1.5f, 2.5f) : Uniform(-0.25f, 0.25f);
    }
    template <class T>
    T* NewInput() {
        float* p = buffers.emplace_back().data();
        if constexpr (std::is_same_v<T, KLMATRIX>)
            FillMatrix(p);
        else
            for (size_t i = 0; i < sizeof(T) / 4; ++i) p[i] = Uniform(-1, 1);
        return reinterpret_cast<T*>(p);
    }
    template <class T>
    T* NewOutput() {
        float* p = buffers.emplace_back().data();
        std::fill_n(p, 16, 0.0f);
        outputs.emplace_back(p, sizeof(T) / 4);
        return reinterpret_cast<T*>(p);
    }
    std::vector<float> Collected() const {
        std::vector<float> r;
        for (auto [p, n] : outputs) r.insert(r.end(), p, p + n);
        return r;
    }
};

template <class T>
struct ArgGen;
template <>
struct ArgGen<float> {
    static float Make(Ctx& c) { return c.Uniform(0, 1); }
};
template <>
struct ArgGen<UINT> {
    static UINT Make(Ctx&) { return 1; }
};
template <class T>
struct ArgGen<const T*> {
    static const T* Make(Ctx& c) { return c.NewInput<T>(); }
};
template <class T>
struct ArgGen<T*> {
    static T* Make(Ctx& c) { return c.NewOutput<T>(); }
};

using Invoker = std::function<std::vector<float>(MathOp, uint32_t seed)>;

// Calls a slot with arguments made from its signature; the result is every
// output in order, then the return value (a float, or whether it was null).
template <class R, class... Args>
Invoker Generic(R (*)(Args...)) {
    return [](MathOp op, uint32_t seed) {
        Ctx c(seed);
        std::tuple<Args...> args{ArgGen<Args>::Make(c)...};
        auto fn = reinterpret_cast<R (*)(Args...)>(op);
        std::vector<float> result;
        if constexpr (std::is_void_v<R>) {
            std::apply(fn, args);
            result = c.Collected();
        } else {
            R r = std::apply(fn, args);
            result = c.Collected();
            if constexpr (std::is_pointer_v<R>)
                result.push_back(r == nullptr ? 0.0f : 1.0f);
            else
                result.push_back(r);
        }
        return result;
    };
}

// Array slots: 9 elements at an odd byte stride from an odd address, so that
// neither alignment nor packing is assumed.
template <class Out, class In, class... Rest>
Invoker Array(Out* (*)(Out*, UINT, const In*, UINT, Rest...)) {
    return [](MathOp op, uint32_t seed) {
        Ctx c(seed);
        constexpr UINT n = 9, inStride = sizeof(In) + 5, outStride = sizeof(Out) + 3;
        std::vector<BYTE> in(inStride * n + 1), out(outStride * n + 1, 0);
        for (UINT i = 0; i < n; ++i) {
            In v;
            float* f = reinterpret_cast<float*>(&v);
            for (size_t k = 0; k < sizeof(In) / 4; ++k) f[k] = c.Uniform(-1, 1);
            std::memcpy(&in[1 + i * inStride], &v, sizeof(In));
        }
        auto* outP = reinterpret_cast<Out*>(&out[1]);
        auto* inP = reinterpret_cast<const In*>(&in[1]);
        Out* r;
        if constexpr (sizeof...(Rest) == 2) {
            KLMATRIX* m = c.NewInput<KLMATRIX>();
            r = reinterpret_cast<Out* (*)(Out*, UINT, const In*, UINT, Rest...)>(op)(outP, outStride, inP, inStride,
                                                                                     m, n);
        } else {
            KLVIEWPORT9 vp{10, 20, 640, 480, 0.0f, 1.0f};
            KLMATRIX* p = c.NewInput<KLMATRIX>();
            KLMATRIX* v = c.NewInput<KLMATRIX>();
            KLMATRIX* w = c.NewInput<KLMATRIX>();
            r = reinterpret_cast<Out* (*)(Out*, UINT, const In*, UINT, Rest...)>(op)(outP, outStride, inP, inStride,
                                                                                     &vp, p, v, w, n);
        }
        std::vector<float> result;
        for (UINT i = 0; i < n; ++i) {
            Out o;
            std::memcpy(&o, &out[1 + i * outStride], sizeof(Out));
            const float* f = reinterpret_cast<const float*>(&o);
            result.insert(result.end(), f, f + sizeof(Out) / 4);
        }
        result.push_back(r == outP ? 1.0f : 0.0f);
        return result;
    };
}

Invoker Blend() {
    return [](MathOp op, uint32_t seed) {
        Ctx c(seed);
        constexpr UINT n = 11, palette = 5;
        std::vector<KLVECTOR3> v(n), out(n);
        std::vector<float> weights(n * 3);
        std::vector<BYTE> indices(n * 4);
        for (auto& p : v) p = {c.Uniform(-1, 1), c.Uniform(-1, 1), c.Uniform(-1, 1)};
        for (auto& w : weights) w = c.Uniform(0, 0.3f);
        for (auto& i : indices) i = static_cast<BYTE>(c.rng() % palette);
        std::vector<KLMATRIX> mats(palette);
        for (auto& m : mats) c.FillMatrix(&m._11);
        auto fn = As<kSlotVec3BlendArray>(op);
        std::vector<float> result;
        for (UINT k = 0; k <= 3; ++k) {
            KLVECTOR3* r = fn(out.data(), sizeof(KLVECTOR3), v.data(), sizeof(KLVECTOR3), weights.data(), 12, k,
                              k == 2 ? nullptr : indices.data(), 4, mats.data(), palette, n);
            result.push_back(r ? 1.0f : 0.0f);
            for (auto& o : out) result.insert(result.end(), {o.x, o.y, o.z});
        }
        return result;
    };
}

// Rotation matrices for the matrix-to-quaternion conversion.
Invoker RotationToQuaternion() {
    return [](MathOp op, uint32_t seed) {
        Ctx c(seed);
        KLQUATERNION q{c.Uniform(-1, 1), c.Uniform(-1, 1), c.Uniform(-1, 1), c.Uniform(-1, 1)};
        KLQuaternionNormalize(&q, &q);
        KLMATRIX m;
        KLMatrixRotationQuaternion(&m, &q);
        KLQUATERNION out;
        As<kSlotQuaternionRotationMatrix>(op)(&out, &m);
        return std::vector<float>{out.x, out.y, out.z, out.w};
    };
}

// Halves over the whole 16-bit range, 37 at a time (not a multiple of 4 or 8).
Invoker HalfToFloat() {
    return [](MathOp op, uint32_t seed) {
        Ctx c(seed);
        std::vector<KLFLOAT16> in(37);
        for (auto& h : in) h.value = static_cast<WORD>(c.rng());
        std::vector<float> out(37);
        As<kSlotFloat16To32Array>(op)(out.data(), in.data(), 37);
        return out;
    };
}

std::map<int, Invoker> Invokers() {
    std::map<int, Invoker> m;
#define KL_GENERIC(n, name, ret, params, args) m[n] = Generic(SlotFn<n>{});
    KL_MATH_SLOTS(KL_GENERIC)
#undef KL_GENERIC
    m[kSlotVec2TransformArray] = Array(SlotFn<kSlotVec2TransformArray>{});
    m[kSlotVec2TransformCoordArray] = Array(SlotFn<kSlotVec2TransformCoordArray>{});
    m[kSlotVec2TransformNormalArray] = Array(SlotFn<kSlotVec2TransformNormalArray>{});
    m[kSlotVec3TransformArray] = Array(SlotFn<kSlotVec3TransformArray>{});
    m[kSlotVec3TransformCoordArray] = Array(SlotFn<kSlotVec3TransformCoordArray>{});
    m[kSlotVec3TransformNormalArray] = Array(SlotFn<kSlotVec3TransformNormalArray>{});
    m[kSlotVec4TransformArray] = Array(SlotFn<kSlotVec4TransformArray>{});
    m[kSlotVec3ProjectArray] = Array(SlotFn<kSlotVec3ProjectArray>{});
    m[kSlotVec3UnprojectArray] = Array(SlotFn<kSlotVec3UnprojectArray>{});
    m[kSlotPlaneTransformArray] = Array(SlotFn<kSlotPlaneTransformArray>{});
    m[kSlotVec3BlendArray] = Blend();
    m[kSlotQuaternionRotationMatrix] = RotationToQuaternion();
    m[kSlotFloat16To32Array] = HalfToFloat();
    return m;
}

struct Family {
    const char* name;
    std::span<const SlotEntry> (*set)();
};

class VariantAgreement : public testing::TestWithParam<Family> {};

TEST_P(VariantAgreement, MatchesPlainOnRandomInputs) {
    static const std::map<int, Invoker> invokers = Invokers();
    std::span<const SlotEntry> set = GetParam().set();
    ASSERT_FALSE(set.empty());
    for (const SlotEntry& e : set) {
        ASSERT_NE(e.op, MathPlainTable[e.slot]) << "slot " << e.slot << " lists the plain variant";
        const Invoker& call = invokers.at(e.slot);
        // Half conversion is exact; the rest may differ in the last bits (a
        // few units in the last place at the scale of the result).
        const float tolerance = e.slot == kSlotFloat16To32Array ? 0.0f : 4e-6f;
        for (uint32_t seed = 1; seed <= 200; ++seed) {
            std::vector<float> want = call(MathPlainTable[e.slot], seed);
            std::vector<float> got = call(e.op, seed);
            ASSERT_EQ(want.size(), got.size());
            float scale = 1.0f;
            for (float w : want) scale = std::max(scale, std::fabs(w));
            for (size_t i = 0; i < want.size(); ++i) {
                if (std::isnan(want[i]) && std::isnan(got[i])) continue;
                ASSERT_LE(std::fabs(want[i] - got[i]), tolerance * scale)
                    << GetParam().name << " slot " << e.slot << " seed " << seed << " output " << i << ": plain "
                    << want[i] << ", variant " << got[i];
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, VariantAgreement,
                         testing::Values(Family{"x86", &X86Variants}, Family{"SSE", &SseVariants},
                                         Family{"SSE2", &Sse2Variants}, Family{"3DNowSSEArrays", &Sse3DNowArrays}),
                         [](const testing::TestParamInfo<Family>& info) { return std::string(info.param.name); });

// Writing the result over an input gives the same result as writing it
// elsewhere, in the variants of the slots most often called that way.
TEST(VariantAgreement, OutputMayOverwriteInput) {
    std::mt19937 rng(7);
    auto U = [&] { return std::uniform_real_distribution<float>(-1, 1)(rng); };
    for (auto set : {&X86Variants, &SseVariants, &Sse2Variants}) {
        for (const SlotEntry& e : set()) {
            if (e.slot == kSlotMatrixMultiply || e.slot == kSlotMatrixMultiplyTranspose) {
                KLMATRIX a, b, out;
                for (int i = 0; i < 16; ++i) (&a._11)[i] = U(), (&b._11)[i] = U();
                As<kSlotMatrixMultiply>(e.op)(&out, &a, &b);
                As<kSlotMatrixMultiply>(e.op)(&a, &a, &b);
                EXPECT_EQ(std::memcmp(&a, &out, sizeof(a)), 0) << "slot " << e.slot;
            } else if (e.slot == kSlotMatrixInverse) {
                KLMATRIX a, out;
                for (int i = 0; i < 16; ++i) (&a._11)[i] = U() + (i % 5 == 0 ? 3.0f : 0.0f);
                As<kSlotMatrixInverse>(e.op)(&out, nullptr, &a);
                As<kSlotMatrixInverse>(e.op)(&a, nullptr, &a);
                EXPECT_EQ(std::memcmp(&a, &out, sizeof(a)), 0) << "slot " << e.slot;
            } else if (e.slot == kSlotVec3Normalize) {
                KLVECTOR3 v{U(), U(), U()}, out;
                As<kSlotVec3Normalize>(e.op)(&out, &v);
                As<kSlotVec3Normalize>(e.op)(&v, &v);
                EXPECT_EQ(std::memcmp(&v, &out, sizeof(v)), 0) << "slot " << e.slot;
            } else if (e.slot == kSlotVec4Transform) {
                KLVECTOR4 v{U(), U(), U(), U()}, out;
                KLMATRIX m;
                for (int i = 0; i < 16; ++i) (&m._11)[i] = U();
                As<kSlotVec4Transform>(e.op)(&out, &v, &m);
                As<kSlotVec4Transform>(e.op)(&v, &v, &m);
                EXPECT_EQ(std::memcmp(&v, &out, sizeof(v)), 0) << "slot " << e.slot;
            }
        }
    }
}

}  // namespace
}  // namespace klmath
