// The interpreter for translated shaders.
//
// Every op works on all kLanes lanes at once: sources are read into
// value[component][lane] blocks (swizzle and modifier applied), the result is
// computed, and written back under the write mask, the execution mask of the
// flow control and the predicate. Flow control keeps a mask per lane: if/else
// narrow it, break removes lanes until their loop ends, and a block whose mask
// is empty is jumped over. Loop counts come from integer constants, so loops
// are uniform across lanes; aL is one value for all lanes.
//
// Two implementations of the arithmetic exist: the SIMD kernels (component
// loops over the lanes, which the compiler vectorises) for the common
// instructions, and the per-lane reference EvalArith for all of them. The
// reference path uses only EvalArith, so tests can check the kernels against it.
#include "gfx/shaders/shader_exec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/shaders/shader_exec_math.h"

namespace gfx::exec {

using namespace isa;

namespace {

constexpr int N = kLanes;
using Block = float[4][N];
using BlockRef = const float (*)[N];  // a Block read in place

alignas(64) const Block kZeroBlock = {};

// Float to register index without undefined conversions (NaN reads as 0).
inline int ToIndex(float f) {
    if (!(f > -4096.0f)) return f != f ? 0 : -4096;
    if (f > 4096.0f) return 4096;
    return static_cast<int>(f);
}

struct Frame {
    Kind kind;
    uint32_t saved;     // lanes active when the block started
    uint32_t taken;     // if: lanes that took the first branch
    uint32_t broken;    // loop: lanes that left through break
    int remaining;      // loop iterations left
    int step;           // loop: aL step
    int savedLoop;      // aL of the enclosing loop
    int returnPc;       // call: the op after the call
};

template <bool kSimd>
class Runner {
public:
    Runner(const ExecProgram& prog, const ShaderConstants& k, TextureSampler* sampler, ExecState* st)
        : P(prog), K(k), S(sampler), regs(st->regs) {}

    uint32_t Run(uint32_t lanes);
    // Runs the op at `index` alone with every lane of `lanes` active.
    uint32_t RunOne(uint32_t lanes, int index) {
        allLanes = active = lanes;
        Block scratch[4];
        alignas(64) Block result;
        Step(P.ops[index], scratch, result);
        return killed;
    }
    void Step(const ExecOp& op, Block* scratch, Block result);

private:
    const float* Const(int index) const {
        static const float kZero[4] = {0, 0, 0, 0};
        if (index < 0 || index >= P.floatConstCount) return kZero;
        const int16_t lit = P.literalIndex[index];
        return lit >= 0 ? &P.literals[lit * 4] : K.f[index];
    }
    const int32_t* Int(uint32_t i) const { return (P.intDefMask >> i & 1) ? P.intDef[i] : K.i[i]; }
    bool Bool(uint32_t i) const { return ((P.boolDefMask >> i & 1) ? P.boolDef[i] : K.b[i]) != 0; }
    int RelOffset(Rel rel, uint8_t comp, int lane) const {
        return rel == Rel::Loop ? loopCounter : ToIndex(regs[kAddrSlot][comp][lane]);
    }

    void Read(const Operand& o, Block out) const;
    // The operand's value: the register itself when no swizzle, modifier or
    // addressing applies, else `scratch` filled by Read.
    BlockRef Fetch(const Operand& o, Block scratch) const {
        if (o.file == File::Lane && o.rel == Rel::None && o.mod == SRCMOD_NONE && !o.clampUnit && o.swz[0] == 0 &&
            o.swz[1] == 1 && o.swz[2] == 2 && o.swz[3] == 3) {
            return regs[o.index];
        }
        if (o.file == File::Zero && o.mod == SRCMOD_NONE) return kZeroBlock;
        Read(o, scratch);
        return scratch;
    }
    void Write(const ExecOp& op, const Dest& d, Block r, uint32_t lanes);
    uint32_t PredicateMask(const ExecOp& op, int comp) const;
    void Arith(const ExecOp& op, const BlockRef src[4], Block r) const;
    void Sample(const float (*coord)[4], const float (*ddx)[4], const float (*ddy)[4], const float* lod,
                LodMode mode, uint8_t stage, float (*out)[4]) const;
    void SampleOp(const ExecOp& op, const BlockRef src[4], Block r) const;
    bool SampleFastOp(const ExecOp& op, BlockRef coord, Block r) const;
    void Ps1TexOp(const ExecOp& op, const BlockRef src[4], Block r);
    void Derivative(const Block v, bool dx, Block out) const;
    uint32_t LaneCond(const ExecOp& op, const BlockRef src[4]) const;
    bool Unwind(int loopOp, int* pc);

    const ExecProgram& P;
    const ShaderConstants& K;
    TextureSampler* S;
    float (*regs)[4][N];
    uint32_t active = 0;
    uint32_t allLanes = 0;
    uint32_t killed = 0;
    int loopCounter = 0;
    std::vector<Frame> frames;
    int callDepth = 0;
    bool exhausted = false;
};

template <bool kSimd>
void Runner<kSimd>::Read(const Operand& o, Block out) const {
    float raw[4][N];
    if (o.file == File::Zero) {
        std::memset(raw, 0, sizeof raw);
    } else if (o.rel == Rel::None) {
        if (o.file == File::Lane) {
            std::memcpy(raw, regs[o.index], sizeof raw);
        } else {
            const float* c = Const(o.index);
            for (int k = 0; k < 4; ++k)
                for (int l = 0; l < N; ++l) raw[k][l] = c[k];
        }
    } else {
        for (int l = 0; l < N; ++l) {
            const int off = RelOffset(o.rel, o.relComp, l);
            if (o.file == File::Const) {
                const float* c = Const(o.index + off);
                for (int k = 0; k < 4; ++k) raw[k][l] = c[k];
            } else {
                // Lane ranges (vs_3_0 / ps_3_0 inputs): base slot of the range is kInputBase.
                const int reg = o.index - kInputBase + off;
                const bool inside = reg >= 0 && reg < o.relCount;
                for (int k = 0; k < 4; ++k) raw[k][l] = inside ? regs[kInputBase + reg][k][l] : 0.0f;
            }
        }
    }
    if (o.clampUnit) {
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) raw[k][l] = std::min(1.0f, std::max(-1.0f, raw[k][l]));
    }
    for (int k = 0; k < 4; ++k) std::memcpy(out[k], raw[o.swz[k]], sizeof out[k]);
    if (o.mod == SRCMOD_NONE) return;
    if (o.mod == SRCMOD_NEG) {
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) out[k][l] = -out[k][l];
        return;
    }
    for (int l = 0; l < N; ++l) {
        float v[4] = {out[0][l], out[1][l], out[2][l], out[3][l]};
        ApplySourceModifier(o.mod, v);
        for (int k = 0; k < 4; ++k) out[k][l] = v[k];
    }
}

template <bool kSimd>
uint32_t Runner<kSimd>::PredicateMask(const ExecOp& op, int comp) const {
    if (!op.predicated) return ~0u;
    const bool invert = op.pred.mod == SRCMOD_NOT;
    uint32_t m = 0;
    for (int l = 0; l < N; ++l) {
        if ((regs[kPredSlot][op.pred.swz[comp]][l] != 0.0f) != invert) m |= 1u << l;
    }
    return m;
}

template <bool kSimd>
void Runner<kSimd>::Write(const ExecOp& op, const Dest& d, Block r, uint32_t lanes) {
    if (d.shift != 0) {
        const float scale = std::ldexp(1.0f, d.shift);
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) r[k][l] *= scale;
    }
    if (d.saturate) {
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) r[k][l] = Saturate(r[k][l]);
    }
    if (d.range > 0.0f) {
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) r[k][l] = std::min(d.range, std::max(-d.range, r[k][l]));
    }
    if (d.index == kAddrSlot) {
        // a0 holds whole numbers: mova rounds to nearest, vs_1_1's mov truncates down.
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) {
                const float v = op.opcode == OP_MOVA ? std::floor(r[k][l] + 0.5f) : std::floor(r[k][l]);
                r[k][l] = static_cast<float>(ToIndex(v));
            }
    }
    for (int k = 0; k < 4; ++k) {
        if (!(d.mask >> k & 1)) continue;
        const uint32_t m = lanes & PredicateMask(op, k);
        if (d.rel == Rel::None) {
            float* dst = regs[d.index][k];
            if (m == allLanes) {
                std::memcpy(dst, r[k], sizeof(float) * N);
            } else {
                for (int l = 0; l < N; ++l) dst[l] = (m >> l & 1) ? r[k][l] : dst[l];
            }
        } else {
            for (int l = 0; l < N; ++l) {
                if (!(m >> l & 1)) continue;
                const int reg = d.index - kOutBase + RelOffset(d.rel, d.relComp, l);
                if (reg >= 0 && reg < d.relCount) regs[kOutBase + reg][k][l] = r[k][l];
            }
        }
    }
}

// r[k][l] = f(k, l) for every element. Each row is computed into a local
// first: r may be one of the sources (results computed in place), and the
// local lets the compiler vectorise without checking for overlap.
template <class F>
inline void PerElement(Block r, F f) {
    for (int k = 0; k < 4; ++k) {
        alignas(16) float row[N];
        for (int l = 0; l < N; ++l) row[l] = f(k, l);
        std::memcpy(r[k], row, sizeof row);
    }
}

template <bool kSimd>
void Runner<kSimd>::Arith(const ExecOp& op, const BlockRef src[4], Block r) const {
    const BlockRef a = src[0];
    const BlockRef b = src[1];
    const BlockRef c = src[2];
    if constexpr (kSimd) {
        switch (op.opcode) {
            case OP_MOV:
            case OP_MOVA:
                if (r != a) std::memcpy(r, a, sizeof(Block));
                return;
            case OP_ADD:
                PerElement(r, [&](int k, int l) { return a[k][l] + b[k][l]; });
                return;
            case OP_SUB:
                PerElement(r, [&](int k, int l) { return a[k][l] - b[k][l]; });
                return;
            case OP_MUL:
                PerElement(r, [&](int k, int l) { return a[k][l] * b[k][l]; });
                return;
            case OP_MAD:
                PerElement(r, [&](int k, int l) { return a[k][l] * b[k][l] + c[k][l]; });
                return;
            case OP_MIN:
                PerElement(r, [&](int k, int l) { return a[k][l] < b[k][l] ? a[k][l] : b[k][l]; });
                return;
            case OP_MAX:
                PerElement(r, [&](int k, int l) { return a[k][l] >= b[k][l] ? a[k][l] : b[k][l]; });
                return;
            case OP_CMP:
                PerElement(r, [&](int k, int l) { return a[k][l] >= 0.0f ? b[k][l] : c[k][l]; });
                return;
            case OP_SLT:
                for (int k = 0; k < 4; ++k)
                    for (int l = 0; l < N; ++l) r[k][l] = a[k][l] < b[k][l] ? 1.0f : 0.0f;
                return;
            case OP_SGE:
                for (int k = 0; k < 4; ++k)
                    for (int l = 0; l < N; ++l) r[k][l] = a[k][l] >= b[k][l] ? 1.0f : 0.0f;
                return;
            case OP_ABS:
                for (int k = 0; k < 4; ++k)
                    for (int l = 0; l < N; ++l) r[k][l] = std::fabs(a[k][l]);
                return;
            case OP_FRC:
                for (int k = 0; k < 4; ++k)
                    for (int l = 0; l < N; ++l) r[k][l] = a[k][l] - std::floor(a[k][l]);
                return;
            case OP_LRP:
                PerElement(r, [&](int k, int l) { return a[k][l] * (b[k][l] - c[k][l]) + c[k][l]; });
                return;
            case OP_DP3:
            case OP_DP4: {
                float d[N];
                for (int l = 0; l < N; ++l) d[l] = (a[0][l] * b[0][l] + a[1][l] * b[1][l]) + a[2][l] * b[2][l];
                if (op.opcode == OP_DP4)
                    for (int l = 0; l < N; ++l) d[l] = d[l] + a[3][l] * b[3][l];
                for (int k = 0; k < 4; ++k) std::memcpy(r[k], d, sizeof d);
                return;
            }
            case OP_RCP:
            case OP_RSQ: {
                const float* x = a[op.scalarComp];
                float d[N];
                if (op.opcode == OP_RCP)
                    for (int l = 0; l < N; ++l) d[l] = 1.0f / x[l];
                else
                    for (int l = 0; l < N; ++l) d[l] = 1.0f / std::sqrt(std::fabs(x[l]));
                for (int k = 0; k < 4; ++k) std::memcpy(r[k], d, sizeof d);
                return;
            }
            default: break;
        }
    }
    const bool vs11 = P.profile == Profile::VS_1_1;
    for (int l = 0; l < N; ++l) {
        const float va[4] = {a[0][l], a[1][l], a[2][l], a[3][l]};
        const float vb[4] = {b[0][l], b[1][l], b[2][l], b[3][l]};
        const float vc[4] = {c[0][l], c[1][l], c[2][l], c[3][l]};
        float out[4];
        EvalArith(op.opcode, op.comparison, op.scalarComp, vs11, va, vb, vc, out);
        for (int k = 0; k < 4; ++k) r[k][l] = out[k];
    }
}

template <bool kSimd>
void Runner<kSimd>::Derivative(const Block v, bool dx, Block out) const {
    for (int k = 0; k < 4; ++k) {
        for (int q = 0; q < N / 4; ++q) {
            const float* p = &v[k][q * 4];
            float* o = &out[k][q * 4];
            if (dx) {
                o[0] = o[1] = p[1] - p[0];
                o[2] = o[3] = p[3] - p[2];
            } else {
                o[0] = o[2] = p[2] - p[0];
                o[1] = o[3] = p[3] - p[1];
            }
        }
    }
}

template <bool kSimd>
void Runner<kSimd>::Sample(const float (*coord)[4], const float (*ddx)[4], const float (*ddy)[4], const float* lod,
                           LodMode mode, uint8_t stage, float (*out)[4]) const {
    for (int l = 0; l < N; ++l) {
        out[l][0] = out[l][1] = out[l][2] = 0.0f;
        out[l][3] = 1.0f;
    }
    if (!S) return;
    SampleLanes lanes;
    lanes.coord = coord;
    lanes.ddx = ddx;
    lanes.ddy = ddy;
    lanes.lod = lod;
    lanes.mode = mode;
    lanes.laneMask = allLanes;
    S->Sample(stage, lanes, out);
}

// Transposes a value block into per-lane vectors with derivatives from the quad.
struct LaneCoords {
    float coord[N][4];
    float ddx[N][4];
    float ddy[N][4];
};

inline void FillCoords(const Block v, bool pixel, LaneCoords* c) {
    float dx[4][N], dy[4][N];
    if (pixel) {
        for (int k = 0; k < 4; ++k) {
            for (int q = 0; q < N / 4; ++q) {
                const float* p = &v[k][q * 4];
                dx[k][q * 4] = dx[k][q * 4 + 1] = p[1] - p[0];
                dx[k][q * 4 + 2] = dx[k][q * 4 + 3] = p[3] - p[2];
                dy[k][q * 4] = dy[k][q * 4 + 2] = p[2] - p[0];
                dy[k][q * 4 + 1] = dy[k][q * 4 + 3] = p[3] - p[1];
            }
        }
    } else {
        std::memset(dx, 0, sizeof dx);
        std::memset(dy, 0, sizeof dy);
    }
    for (int l = 0; l < N; ++l) {
        for (int k = 0; k < 4; ++k) {
            c->coord[l][k] = v[k][l];
            c->ddx[l][k] = dx[k][l];
            c->ddy[l][k] = dy[k][l];
        }
    }
}

template <bool kSimd>
bool Runner<kSimd>::SampleFastOp(const ExecOp& op, BlockRef coord, Block r) const {
    const float* u = coord[0];
    const float* v = coord[1];
    alignas(64) float pu[N], pv[N];
    if (op.sampleMode == SampleMode::Project) {
        for (int l = 0; l < N; ++l) pu[l] = coord[0][l] / coord[3][l];
        for (int l = 0; l < N; ++l) pv[l] = coord[1][l] / coord[3][l];
        u = pu;
        v = pv;
    }
    // The colour goes straight into r unless it is swizzled or r is also
    // the coordinate register.
    const uint8_t* swz = op.resultSwz;
    const bool direct = swz[0] == 0 && swz[1] == 1 && swz[2] == 2 && swz[3] == 3 && r != coord;
    alignas(64) float soa[4][N];
    float (*out)[N] = direct ? r : soa;
    if (allLanes != (1u << N) - 1) {
        // Lanes outside the batch read (0, 0, 0, 1) as in Sample.
        for (int k = 0; k < 4; ++k)
            for (int l = 0; l < N; ++l) out[k][l] = k == 3 ? 1.0f : 0.0f;
    }
    if (!S->SampleFast(op.sampler, u, v, allLanes, out)) return false;
    if (!direct)
        for (int k = 0; k < 4; ++k) std::memcpy(r[k], soa[swz[k]], sizeof r[k]);
    return true;
}

template <bool kSimd>
void Runner<kSimd>::SampleOp(const ExecOp& op, const BlockRef src[4], Block r) const {
    if constexpr (kSimd) {
        // Samplers whose result cannot depend on the level of detail take
        // u and v as they are, with no derivatives or transposes.
        if (S && SampleFastOp(op, src[0], r)) return;
    }
    alignas(64) Block coord;
    std::memcpy(coord, src[0], sizeof coord);
    const bool pixel = P.kind == ShaderKind::Pixel;
    float lod[N];
    LodMode mode = LodMode::Derivatives;
    if (op.sampleMode == SampleMode::Project) {
        for (int k = 0; k < 3; ++k)
            for (int l = 0; l < N; ++l) coord[k][l] = coord[k][l] / coord[3][l];
    }
    if (op.sampleMode == SampleMode::Bias || op.sampleMode == SampleMode::Lod) {
        for (int l = 0; l < N; ++l) lod[l] = src[0][3][l];
        mode = op.sampleMode == SampleMode::Bias ? LodMode::Bias : LodMode::Explicit;
    }
    LaneCoords lc;
    FillCoords(coord, pixel && op.sampleMode != SampleMode::Lod, &lc);
    if (op.sampleMode == SampleMode::Grad) {
        for (int l = 0; l < N; ++l)
            for (int k = 0; k < 4; ++k) {
                lc.ddx[l][k] = src[2][k][l];
                lc.ddy[l][k] = src[3][k][l];
            }
    }
    float out[N][4];
    Sample(lc.coord, mode == LodMode::Explicit ? nullptr : lc.ddx, mode == LodMode::Explicit ? nullptr : lc.ddy,
           mode == LodMode::Derivatives ? nullptr : lod, mode, op.sampler, out);
    for (int k = 0; k < 4; ++k)
        for (int l = 0; l < N; ++l) r[k][l] = out[l][op.resultSwz[k]];
}

template <bool kSimd>
void Runner<kSimd>::Ps1TexOp(const ExecOp& op, const BlockRef src[4], Block r) {
    const BlockRef tn = src[0];  // earlier texture register
    const BlockRef tc = src[1];  // this stage's coordinates
    const uint8_t stage = op.sampler;
    Block coord;
    std::memset(coord, 0, sizeof coord);
    float dots[N];
    for (int l = 0; l < N; ++l) dots[l] = (tc[0][l] * tn[0][l] + tc[1][l] * tn[1][l]) + tc[2][l] * tn[2][l];
    bool sample = true;
    float* pad[3] = {regs[kPadSlot][0], regs[kPadSlot][1], regs[kPadSlot][2]};
    switch (op.opcode) {
        case OP_TEXBEM:
        case OP_TEXBEML: {
            const BumpEnvironment env = S ? S->Bump(stage) : BumpEnvironment();
            for (int l = 0; l < N; ++l) {
                coord[0][l] = tc[0][l] + env.m[0][0] * tn[0][l] + env.m[1][0] * tn[1][l];
                coord[1][l] = tc[1][l] + env.m[0][1] * tn[0][l] + env.m[1][1] * tn[1][l];
                coord[2][l] = tc[2][l];
                coord[3][l] = tc[3][l];
            }
            break;
        }
        case OP_TEXREG2AR:
            for (int l = 0; l < N; ++l) coord[0][l] = tn[3][l], coord[1][l] = tn[0][l];
            break;
        case OP_TEXREG2GB:
            for (int l = 0; l < N; ++l) coord[0][l] = tn[1][l], coord[1][l] = tn[2][l];
            break;
        case OP_TEXREG2RGB:
            for (int k = 0; k < 3; ++k) std::memcpy(coord[k], tn[k], sizeof coord[k]);
            break;
        case OP_TEXDP3TEX:
            std::memcpy(coord[0], dots, sizeof dots);
            break;
        case OP_TEXDP3:
            for (int k = 0; k < 4; ++k) std::memcpy(r[k], dots, sizeof dots);
            return;
        case OP_TEXM3x2PAD:
        case OP_TEXM3x3PAD:
            std::memcpy(pad[std::min<int>(op.padComp, 2)], dots, sizeof dots);
            std::memcpy(r, regs[kTexBase + stage], sizeof(Block));  // the register itself is unchanged
            return;
        case OP_TEXM3x2TEX:
            std::memcpy(coord[0], pad[0], sizeof dots);
            std::memcpy(coord[1], dots, sizeof dots);
            break;
        case OP_TEXM3x2DEPTH:
            for (int l = 0; l < N; ++l) {
                const float z = pad[0][l], w = dots[l];
                regs[kDepthSlot][0][l] = w == 0.0f ? 1.0f : Saturate(z / w);
            }
            std::memcpy(r, regs[kTexBase + stage], sizeof(Block));
            return;
        case OP_TEXM3x3TEX:
        case OP_TEXM3x3:
        case OP_TEXM3x3SPEC:
        case OP_TEXM3x3VSPEC: {
            std::memcpy(coord[0], pad[0], sizeof dots);
            std::memcpy(coord[1], pad[1], sizeof dots);
            std::memcpy(coord[2], dots, sizeof dots);
            if (op.opcode == OP_TEXM3x3) {
                std::memcpy(r, coord, sizeof(Block));
                for (int l = 0; l < N; ++l) r[3][l] = 1.0f;
                return;
            }
            if (op.opcode == OP_TEXM3x3SPEC || op.opcode == OP_TEXM3x3VSPEC) {
                for (int l = 0; l < N; ++l) {
                    float e[3];
                    if (op.opcode == OP_TEXM3x3SPEC) {
                        for (int k = 0; k < 3; ++k) e[k] = src[2][k][l];
                    } else {
                        for (int k = 0; k < 3; ++k) {
                            const int s = std::max(0, static_cast<int>(stage) - 2 + k);
                            e[k] = regs[kInputBase + kPixelSlotTexcoord0 + s][3][l];
                        }
                    }
                    const float n[3] = {coord[0][l], coord[1][l], coord[2][l]};
                    const float ne = Dot3(n, e), nn = Dot3(n, n);
                    for (int k = 0; k < 3; ++k) coord[k][l] = 2.0f * n[k] * ne / nn - e[k];
                }
            }
            break;
        }
        default: sample = false; break;
    }
    if (!sample) {
        std::memset(r, 0, sizeof(Block));
        return;
    }
    LaneCoords lc;
    FillCoords(coord, true, &lc);
    float out[N][4];
    Sample(lc.coord, lc.ddx, lc.ddy, nullptr, LodMode::Derivatives, stage, out);
    for (int k = 0; k < 4; ++k)
        for (int l = 0; l < N; ++l) r[k][l] = out[l][k];
    if (op.opcode == OP_TEXBEML) {
        const BumpEnvironment env = S ? S->Bump(stage) : BumpEnvironment();
        for (int l = 0; l < N; ++l) {
            const float lum = Saturate(tn[2][l] * env.lscale + env.loffset);
            for (int k = 0; k < 3; ++k) r[k][l] *= lum;
        }
    }
}

template <bool kSimd>
uint32_t Runner<kSimd>::LaneCond(const ExecOp& op, const BlockRef src[4]) const {
    uint32_t m = 0;
    switch (op.kind) {
        case Kind::If:
        case Kind::CallNz: {
            const int which = op.kind == Kind::If ? 0 : 1;
            if (op.srcCount <= which) return Bool(op.constIndex) != op.constNot ? allLanes : 0;
            const bool invert = op.src[which].mod == SRCMOD_NOT;
            const int comp = op.src[which].swz[0];
            for (int l = 0; l < N; ++l)
                if ((regs[kPredSlot][comp][l] != 0.0f) != invert) m |= 1u << l;
            return m;
        }
        case Kind::BreakP: {
            const bool invert = op.src[0].mod == SRCMOD_NOT;
            const int comp = op.src[0].swz[0];
            for (int l = 0; l < N; ++l)
                if ((regs[kPredSlot][comp][l] != 0.0f) != invert) m |= 1u << l;
            return m;
        }
        case Kind::IfC:
        case Kind::BreakC:
            for (int l = 0; l < N; ++l)
                if (Compare(op.comparison, src[0][0][l], src[1][0][l])) m |= 1u << l;
            return m;
        default: return allLanes;
    }
}

// After every remaining lane of a loop broke out: drops the frames inside the
// loop and continues at its end.
template <bool kSimd>
bool Runner<kSimd>::Unwind(int loopOp, int* pc) {
    while (!frames.empty() && frames.back().kind != Kind::Loop && frames.back().kind != Kind::Rep) frames.pop_back();
    if (frames.empty()) return false;
    *pc = P.ops[loopOp].target;  // the endloop/endrep, which ends the loop
    return true;
}


// Runs one op that is not flow control over the active lanes.
template <bool kSimd>
void Runner<kSimd>::Step(const ExecOp& op, Block* scratch, Block result) {
    BlockRef src[4];
    for (int i = 0; i < op.srcCount; ++i) src[i] = Fetch(op.src[i], scratch[i]);
    for (int i = op.srcCount; i < 4; ++i) src[i] = kZeroBlock;
    switch (op.kind) {
        case Kind::Arith:
            if (op.opcode == OP_BEM) {
                const BumpEnvironment env = S ? S->Bump(op.sampler) : BumpEnvironment();
                std::memset(result, 0, sizeof(Block));
                for (int l = 0; l < N; ++l) {
                    result[0][l] = src[0][0][l] + env.m[0][0] * src[1][0][l] + env.m[1][0] * src[1][1][l];
                    result[1][l] = src[0][1][l] + env.m[0][1] * src[1][0][l] + env.m[1][1] * src[1][1][l];
                }
            } else if (kSimd && op.plainDst && active == allLanes) {
                Arith(op, src, regs[op.dst.index]);
                break;
            } else {
                Arith(op, src, result);
            }
            Write(op, op.dst, result, active);
            break;
        case Kind::Sample:
            if (kSimd && op.plainDst && active == allLanes) {
                SampleOp(op, src, regs[op.dst.index]);
                break;
            }
            SampleOp(op, src, result);
            Write(op, op.dst, result, active);
            break;
        case Kind::Ps1Tex:
            Ps1TexOp(op, src, result);
            Write(op, op.dst, result, active);
            break;
        case Kind::Derivative:
            Derivative(src[0], op.opcode == OP_DSX, result);
            Write(op, op.dst, result, active);
            break;
        case Kind::TexDepth:
            for (int l = 0; l < N; ++l) {
                if (!(active >> l & 1)) continue;
                const float r5 = regs[kTempBase + 5][0][l], g5 = regs[kTempBase + 5][1][l];
                regs[kDepthSlot][0][l] = g5 == 0.0f ? 1.0f : Saturate(r5 / g5);
            }
            break;
        case Kind::Texkill:
            for (int l = 0; l < N; ++l) {
                if (!(active >> l & 1)) continue;
                for (int k = 0; k < op.texComps; ++k)
                    if (src[0][k][l] < 0.0f) killed |= 1u << l;
            }
            break;
        default: break;
    }
}

template <bool kSimd>
uint32_t Runner<kSimd>::Run(uint32_t lanes) {
    allLanes = lanes;
    active = lanes;
    const int count = static_cast<int>(P.ops.size());
    uint32_t executed = 0;
    Block scratch[4];
    BlockRef src[4];
    alignas(64) Block result;
    int pc = 0;
    while (pc < count) {
        // Past the budget, loops stop repeating and calls are skipped, so the
        // rest of the program runs straight through once.
        if (++executed > kMaxExecutedOps) exhausted = true;
        const ExecOp& op = P.ops[pc];
        if (op.kind == Kind::Arith || op.kind == Kind::Sample || op.kind == Kind::Ps1Tex ||
            op.kind == Kind::Derivative || op.kind == Kind::TexDepth || op.kind == Kind::Texkill) {
            if (active == 0) {
                ++pc;
                continue;
            }
            Step(op, scratch, result);
            ++pc;
            continue;
        }
        switch (op.kind) {
            case Kind::If:
            case Kind::IfC: {
                for (int i = 0; i < op.srcCount; ++i) src[i] = Fetch(op.src[i], scratch[i]);
                const uint32_t taken = active & LaneCond(op, src);
                frames.push_back({Kind::If, active, taken, 0, 0, 0, 0, 0});
                active = taken;
                pc = active == 0 ? op.target : pc + 1;
                break;
            }
            case Kind::Else: {
                Frame& f = frames.back();
                active = f.saved & ~f.taken;
                pc = active == 0 ? op.target : pc + 1;
                break;
            }
            case Kind::EndIf: {
                const Frame f = frames.back();
                frames.pop_back();
                active = f.saved;
                // Lanes that broke out of the enclosing loop stay off.
                for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
                    if (it->kind == Kind::Loop || it->kind == Kind::Rep) {
                        active &= ~it->broken;
                        break;
                    }
                    if (it->kind == Kind::Call) break;
                }
                ++pc;
                break;
            }
            case Kind::Loop:
            case Kind::Rep: {
                const int32_t* ic = Int(op.constIndex);
                const int iterations = std::clamp(ic[0], 0, 255);
                const int start = std::clamp(ic[1], 0, 255);
                const int step = std::clamp(ic[2], -128, 127);
                if (iterations == 0 || active == 0 || exhausted) {
                    pc = op.target + 1;
                    break;
                }
                frames.push_back({op.kind, active, 0, 0, iterations, step, loopCounter, 0});
                if (op.kind == Kind::Loop) loopCounter = start;
                ++pc;
                break;
            }
            case Kind::EndLoop:
            case Kind::EndRep: {
                Frame& f = frames.back();
                --f.remaining;
                if (op.kind == Kind::EndLoop) loopCounter += f.step;
                active = f.saved & ~f.broken;
                if (f.remaining > 0 && active != 0 && !exhausted) {
                    pc = op.target + 1;
                } else {
                    active = f.saved;
                    if (op.kind == Kind::EndLoop) loopCounter = f.savedLoop;
                    frames.pop_back();
                    ++pc;
                }
                break;
            }
            case Kind::Break:
            case Kind::BreakC:
            case Kind::BreakP: {
                for (int i = 0; i < op.srcCount; ++i) src[i] = Fetch(op.src[i], scratch[i]);
                const uint32_t leaving = active & LaneCond(op, src);
                for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
                    if (it->kind == Kind::Loop || it->kind == Kind::Rep) {
                        it->broken |= leaving;
                        break;
                    }
                }
                active &= ~leaving;
                if (active == 0) {
                    if (!Unwind(op.target, &pc)) pc = count;
                } else {
                    ++pc;
                }
                break;
            }
            case Kind::Call:
            case Kind::CallNz: {
                if (op.kind == Kind::CallNz && op.srcCount > 1) src[1] = Fetch(op.src[1], scratch[1]);
                const uint32_t lanesIn = active & (op.kind == Kind::Call ? allLanes : LaneCond(op, src));
                if (lanesIn == 0 || callDepth >= kMaxCallDepth || op.target < 0 || exhausted) {
                    ++pc;
                    break;
                }
                frames.push_back({Kind::Call, active, 0, 0, 0, 0, 0, pc + 1});
                ++callDepth;
                active = lanesIn;
                pc = op.target + 1;
                break;
            }
            case Kind::Ret: {
                if (callDepth == 0) {
                    pc = count;
                    break;
                }
                while (!frames.empty() && frames.back().kind != Kind::Call) {
                    if (frames.back().kind == Kind::Loop) loopCounter = frames.back().savedLoop;
                    frames.pop_back();
                }
                const Frame f = frames.back();
                frames.pop_back();
                --callDepth;
                active = f.saved;
                pc = f.returnPc;
                break;
            }
            case Kind::Label:
                // Falling into a subroutine ends the main program.
                pc = callDepth == 0 ? count : pc + 1;
                break;
            default: ++pc; break;
        }
    }
    return killed;
}

}  // namespace

namespace {

inline bool TestSlot(const uint64_t* bits, int slot) { return bits[slot >> 6] >> (slot & 63) & 1; }
inline void SetSlot(uint64_t* bits, int slot) { bits[slot >> 6] |= 1ull << (slot & 63); }

// Slots that may need clearing: temporaries, the ps_1_x texture registers,
// a0, p0, and the outputs the program writes (outputs it never writes are
// neither read by it nor copied back).
void ClearCandidates(const ExecProgram& program, uint64_t* bits) {
    for (int i = 0; i < program.tempCount; ++i) SetSlot(bits, kTempBase + i);
    if (program.ps1) SetSlot(bits, kTempBase);  // r0 is the colour result even if never written
    if (program.ps1TexRegs)
        for (int i = 0; i < 8; ++i) SetSlot(bits, kTexBase + i);
    for (int i = 0; i < kAddrSlot - kOutBase; ++i)
        if (program.outputsWritten >> i & 1) SetSlot(bits, kOutBase + i);
    for (const ExecOp& op : program.ops) {
        if (op.predicated || op.kind == Kind::If || op.kind == Kind::CallNz || op.kind == Kind::BreakP)
            SetSlot(bits, kPredSlot);
        if (op.hasDst && op.dst.rel == Rel::A0) SetSlot(bits, kAddrSlot);
        if (op.hasDst && (op.dst.index == kAddrSlot || op.dst.index == kPredSlot)) SetSlot(bits, op.dst.index);
        for (int i = 0; i < op.srcCount; ++i) {
            const Operand& o = op.src[i];
            if (o.rel == Rel::A0) SetSlot(bits, kAddrSlot);
            if (o.file == File::Lane && (o.index == kAddrSlot || o.index == kPredSlot)) SetSlot(bits, o.index);
        }
    }
}

}  // namespace

// Arithmetic whose every result element depends only on the same element of
// the sources, so it may overwrite one of them.
static bool Elementwise(uint16_t opcode) {
    switch (opcode) {
        case OP_MOV: case OP_ADD: case OP_SUB: case OP_MUL: case OP_MAD:
        case OP_MIN: case OP_MAX: case OP_CMP: case OP_LRP:
            return true;
        default: return false;
    }
}

void FindRegistersToClear(ExecProgram* program) {
    for (ExecOp& op : program->ops) {
        const Dest& d = op.dst;
        const bool plain = op.hasDst && !op.predicated && d.rel == Rel::None && d.mask == 0xF && d.shift == 0 &&
                           !d.saturate && d.range == 0.0f && d.index < kAddrSlot;
        op.plainDst = plain && ((op.kind == Kind::Arith && Elementwise(op.opcode)) || op.kind == Kind::Sample);
    }
    program->outputsWritten = 0;
    for (const ExecOp& op : program->ops) {
        if (op.kind == Kind::Ps1Tex || op.kind == Kind::TexDepth) program->outputsWritten |= 1u << (kDepthSlot - kOutBase);
        if (!op.hasDst) continue;
        if (op.dst.rel != Rel::None) {
            program->outputsWritten = ~0u;
        } else if (op.dst.index >= kOutBase && op.dst.index < kAddrSlot) {
            program->outputsWritten |= 1u << (op.dst.index - kOutBase);
        }
    }
    program->readsPosition = program->readsFace = false;
    for (const ExecOp& op : program->ops) {
        for (int i = 0; i < op.srcCount; ++i) {
            const Operand& o = op.src[i];
            if (o.file != File::Lane) continue;
            program->readsPosition |= o.index == kPosSlot;
            program->readsFace |= o.index == kFaceSlot;
        }
    }
    uint64_t candidates[2] = {0, 0};
    ClearCandidates(*program, candidates);
    uint64_t touched[2] = {0, 0};  // read or partly written so far
    uint64_t defined[2] = {0, 0};  // wholly written before any read
    bool straight = true;
    for (const ExecOp& op : program->ops) {
        // Texture-register ops, depth writes and flow control write in
        // ways this scan does not follow: everything after is conditional.
        const bool plain = op.kind == Kind::Arith || op.kind == Kind::Sample || op.kind == Kind::Derivative ||
                           op.kind == Kind::Texkill || op.kind == Kind::Nop;
        if (!plain || op.predicated) straight = false;
        if (!straight) break;
        for (int i = 0; i < op.srcCount; ++i) {
            const Operand& o = op.src[i];
            if (o.file != File::Lane) continue;
            if (o.rel != Rel::None) straight = false;
            SetSlot(touched, o.index);
        }
        if (!straight) break;
        if (!op.hasDst) continue;
        if (op.dst.rel != Rel::None || op.dst.index >= kLaneSlotCount) break;
        if (op.dst.mask == 0xF && !TestSlot(touched, op.dst.index)) SetSlot(defined, op.dst.index);
        SetSlot(touched, op.dst.index);
    }
    for (int w = 0; w < 2; ++w) program->clearSlots[w] = candidates[w] & ~defined[w];
}

void PrepareState(const ExecProgram& program, const LaneVec4* inputs, int inputCount, ExecState* state) {
    for (int w = 0; w < 2; ++w) {
        for (uint64_t bits = program.clearSlots[w]; bits; bits &= bits - 1) {
            const int slot = w * 64 + __builtin_ctzll(bits);
            if (slot < kLaneSlotCount) ClearBlock(state->regs[slot]);
        }
    }
    for (int i = 0; i < kTexBase - kInputBase; ++i) {
        if (!(program.inputMask >> i & 1)) continue;
        if (i < inputCount) std::memcpy(state->regs[kInputBase + i], inputs[i].v, sizeof(Block));
        else std::memset(state->regs[kInputBase + i], 0, sizeof(Block));  // beyond the device's input slots
    }
}

uint32_t ExecuteOp(const ExecProgram& program, const ShaderConstants& constants, TextureSampler* sampler,
                   ExecState* state, uint32_t activeLanes, int index) {
    Runner<true> runner(program, constants, sampler, state);
    return runner.RunOne(activeLanes, index);
}

uint32_t Execute(const ExecProgram& program, const ShaderConstants& constants, TextureSampler* sampler,
                 ExecState* state, uint32_t activeLanes, bool simd) {
    if (simd) {
        Runner<true> runner(program, constants, sampler, state);
        return runner.Run(activeLanes);
    }
    Runner<false> runner(program, constants, sampler, state);
    return runner.Run(activeLanes);
}

}  // namespace gfx::exec
