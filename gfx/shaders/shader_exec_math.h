// The arithmetic of the shader instructions on one lane: the reference that
// the SIMD kernels in shader_exec.cpp must reproduce exactly.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "gfx/shaders/shader_isa.h"

namespace gfx::exec {

inline float Rcp(float x) { return 1.0f / x; }
inline float Rsq(float x) { return 1.0f / std::sqrt(std::fabs(x)); }
inline float Log2Abs(float x) {
    return x == 0.0f ? -std::numeric_limits<float>::infinity() : std::log2(std::fabs(x));
}
inline float Frac(float x) { return x - std::floor(x); }
inline float Saturate(float x) { return x > 0.0f ? (x < 1.0f ? x : 1.0f) : 0.0f; }  // NaN -> 0
inline float Dot3(const float* a, const float* b) { return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]; }
inline float Dot4(const float* a, const float* b) { return ((a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]) + a[3] * b[3]; }

inline bool Compare(uint8_t comparison, float a, float b) {
    switch (comparison) {
        case isa::CMP_GT: return a > b;
        case isa::CMP_EQ: return a == b;
        case isa::CMP_GE: return a >= b;
        case isa::CMP_LT: return a < b;
        case isa::CMP_NE: return a != b;
        case isa::CMP_LE: return a <= b;
        default: return false;
    }
}

// Applies a source modifier to a swizzled value (all four components).
inline void ApplySourceModifier(uint8_t mod, float* v) {
    switch (mod) {
        case isa::SRCMOD_NEG: for (int c = 0; c < 4; ++c) v[c] = -v[c]; break;
        case isa::SRCMOD_BIAS: for (int c = 0; c < 4; ++c) v[c] = v[c] - 0.5f; break;
        case isa::SRCMOD_BIASNEG: for (int c = 0; c < 4; ++c) v[c] = -(v[c] - 0.5f); break;
        case isa::SRCMOD_SIGN: for (int c = 0; c < 4; ++c) v[c] = 2.0f * v[c] - 1.0f; break;
        case isa::SRCMOD_SIGNNEG: for (int c = 0; c < 4; ++c) v[c] = -(2.0f * v[c] - 1.0f); break;
        case isa::SRCMOD_COMP: for (int c = 0; c < 4; ++c) v[c] = 1.0f - v[c]; break;
        case isa::SRCMOD_X2: for (int c = 0; c < 4; ++c) v[c] = 2.0f * v[c]; break;
        case isa::SRCMOD_X2NEG: for (int c = 0; c < 4; ++c) v[c] = -(2.0f * v[c]); break;
        case isa::SRCMOD_DZ: {
            const float z = v[2];
            for (int c = 0; c < 4; ++c) v[c] = v[c] / z;
            break;
        }
        case isa::SRCMOD_DW: {
            const float w = v[3];
            for (int c = 0; c < 4; ++c) v[c] = v[c] / w;
            break;
        }
        case isa::SRCMOD_ABS: for (int c = 0; c < 4; ++c) v[c] = std::fabs(v[c]); break;
        case isa::SRCMOD_ABSNEG: for (int c = 0; c < 4; ++c) v[c] = -std::fabs(v[c]); break;
        case isa::SRCMOD_NOT: for (int c = 0; c < 4; ++c) v[c] = v[c] == 0.0f ? 1.0f : 0.0f; break;
        default: break;
    }
}

// One arithmetic instruction on one lane. `s` is the scalar source component
// (w in vs_1_1, x elsewhere); `vs11` selects the vs_1_1 forms of expp/logp.
inline void EvalArith(uint16_t opcode, uint8_t comparison, int s, bool vs11, const float* a, const float* b,
                      const float* c, float* r) {
    using namespace isa;
    switch (opcode) {
        case OP_MOV:
        case OP_MOVA:
            for (int i = 0; i < 4; ++i) r[i] = a[i];
            break;
        case OP_ADD: for (int i = 0; i < 4; ++i) r[i] = a[i] + b[i]; break;
        case OP_SUB: for (int i = 0; i < 4; ++i) r[i] = a[i] - b[i]; break;
        case OP_MUL: for (int i = 0; i < 4; ++i) r[i] = a[i] * b[i]; break;
        case OP_MAD: for (int i = 0; i < 4; ++i) r[i] = a[i] * b[i] + c[i]; break;
        case OP_MIN: for (int i = 0; i < 4; ++i) r[i] = a[i] < b[i] ? a[i] : b[i]; break;
        case OP_MAX: for (int i = 0; i < 4; ++i) r[i] = a[i] >= b[i] ? a[i] : b[i]; break;
        case OP_SLT: for (int i = 0; i < 4; ++i) r[i] = a[i] < b[i] ? 1.0f : 0.0f; break;
        case OP_SGE: for (int i = 0; i < 4; ++i) r[i] = a[i] >= b[i] ? 1.0f : 0.0f; break;
        case OP_ABS: for (int i = 0; i < 4; ++i) r[i] = std::fabs(a[i]); break;
        case OP_FRC: for (int i = 0; i < 4; ++i) r[i] = Frac(a[i]); break;
        case OP_CMP: for (int i = 0; i < 4; ++i) r[i] = a[i] >= 0.0f ? b[i] : c[i]; break;
        case OP_CND: for (int i = 0; i < 4; ++i) r[i] = a[i] > 0.5f ? b[i] : c[i]; break;
        case OP_LRP: for (int i = 0; i < 4; ++i) r[i] = a[i] * (b[i] - c[i]) + c[i]; break;
        case OP_SGN: for (int i = 0; i < 4; ++i) r[i] = a[i] < 0.0f ? -1.0f : a[i] > 0.0f ? 1.0f : 0.0f; break;
        case OP_SETP: for (int i = 0; i < 4; ++i) r[i] = Compare(comparison, a[i], b[i]) ? 1.0f : 0.0f; break;
        case OP_DP3: r[0] = r[1] = r[2] = r[3] = Dot3(a, b); break;
        case OP_DP4: r[0] = r[1] = r[2] = r[3] = Dot4(a, b); break;
        case OP_DP2ADD: r[0] = r[1] = r[2] = r[3] = (a[0] * b[0] + a[1] * b[1]) + c[0]; break;
        case OP_RCP: r[0] = r[1] = r[2] = r[3] = Rcp(a[s]); break;
        case OP_RSQ: r[0] = r[1] = r[2] = r[3] = Rsq(a[s]); break;
        case OP_EXP: r[0] = r[1] = r[2] = r[3] = std::exp2(a[s]); break;
        case OP_LOG: r[0] = r[1] = r[2] = r[3] = Log2Abs(a[s]); break;
        case OP_POW: r[0] = r[1] = r[2] = r[3] = std::pow(std::fabs(a[s]), b[s]); break;
        case OP_EXPP:
            if (vs11) {
                const float f = std::floor(a[s]);
                r[0] = std::exp2(f);
                r[1] = a[s] - f;
                r[2] = std::exp2(a[s]);
                r[3] = 1.0f;
            } else {
                r[0] = r[1] = r[2] = r[3] = std::exp2(a[s]);
            }
            break;
        case OP_LOGP:
            if (vs11) {
                const float v = std::fabs(a[s]);
                if (v == 0.0f) {
                    r[0] = r[2] = -std::numeric_limits<float>::infinity();
                    r[1] = 1.0f;
                } else {
                    const float e = std::floor(std::log2(v));
                    r[0] = e;
                    r[1] = v / std::exp2(e);
                    r[2] = std::log2(v);
                }
                r[3] = 1.0f;
            } else {
                r[0] = r[1] = r[2] = r[3] = Log2Abs(a[s]);
            }
            break;
        case OP_LIT: {
            r[0] = 1.0f;
            r[1] = a[0] > 0.0f ? a[0] : 0.0f;
            float power = a[3];
            const float limit = 127.9961f;
            power = power < -limit ? -limit : power > limit ? limit : power;
            r[2] = (a[0] > 0.0f && a[1] > 0.0f) ? std::pow(a[1], power) : 0.0f;
            r[3] = 1.0f;
            break;
        }
        case OP_DST:
            r[0] = 1.0f;
            r[1] = a[1] * b[1];
            r[2] = a[2];
            r[3] = b[3];
            break;
        case OP_CRS:
            r[0] = a[1] * b[2] - a[2] * b[1];
            r[1] = a[2] * b[0] - a[0] * b[2];
            r[2] = a[0] * b[1] - a[1] * b[0];
            r[3] = 0.0f;
            break;
        case OP_NRM: {
            const float f = Rsq(Dot3(a, a));
            for (int i = 0; i < 4; ++i) r[i] = a[i] * f;
            break;
        }
        case OP_SINCOS:
            r[0] = std::cos(a[s]);
            r[1] = std::sin(a[s]);
            r[2] = r[3] = 0.0f;
            break;
        case OP_TEXCOORD:
            r[0] = a[0];
            r[1] = a[1];
            r[2] = a[2];
            r[3] = 1.0f;
            break;
        default:
            r[0] = r[1] = r[2] = r[3] = 0.0f;
            break;
    }
}

}  // namespace gfx::exec
