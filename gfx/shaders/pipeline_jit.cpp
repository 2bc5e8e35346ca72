// The pixel pipeline code generator (see pipeline_jit.h): interpolation, the
// shader's ops through the shader emitter, inline bilinear reads, alpha test,
// blending and the colour write, in one LLVM function per program and key.
#include "gfx/shaders/pipeline_jit.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "gfx/d3d9types.h"

#ifdef KILN_HAVE_LLVM
#include "gfx/shaders/shader_jit_emitter.h"
#endif

namespace gfx::jit {

bool PipelineCompilable(const exec::ExecProgram& program) {
    const int depthBit = exec::kDepthSlot - exec::kOutBase;
    return program.kind == ShaderKind::Pixel && Compilable(program) && !program.readsPosition && !program.readsFace &&
           !(program.outputsWritten >> depthBit & 1);
}

#ifdef KILN_HAVE_LLVM

namespace {

using namespace detail;

class PipelineEmitter : public Emitter {
public:
    PipelineEmitter(LLVMContextRef context, LLVMModuleRef module, const ExecProgram& program, const PipelineKey& key)
        : Emitter(context, module, program), K(key) {
        v16i = LLVMVectorType(i32, kLanes);
        i8 = LLVMInt8TypeInContext(C);
    }

    // uint32_t name(const PipelineArgs* args)
    void Build(const char* name, CompileStats* stats) {
        LLVMTypeRef fnType = LLVMFunctionType(i32, &i8p, 1, 0);
        LLVMValueRef fn = LLVMAddFunction(M, name, fnType);
        Begin(fn);
        args = LLVMGetParam(fn, 0);
        // The register file lives on this function's stack: nothing reads it
        // after the call, so values stay in machine registers and only what an
        // op left to the interpreter may read is stored.
        LLVMValueRef regFile = LLVMBuildAlloca(B, LLVMArrayType(f32, kLaneSlotCount * 4 * kLanes), "regs");
        LLVMSetAlignment(regFile, 64);
        regFile = LLVMBuildBitCast(B, regFile, f32p, "");
        LLVMValueRef constants = Field(offsetof(PipelineArgs, constants), f32p);
        callContext = Field(offsetof(PipelineArgs, context), i8p);
        LLVMValueRef inputBlocks = Field(offsetof(PipelineArgs, inputs), f32p);
        planes = Field(offsetof(PipelineArgs, planes), f32p);
        textures = Field(offsetof(PipelineArgs, textures), i8p);
        callLanes = LaneBits(LoadI32(callContext, offsetof(CallContext, lanes)));
        LLVMValueRef coverage = LoadI32(args, offsetof(PipelineArgs, coverage));

        // Pixel positions, and depth and 1/w at them, as ShadeQuads computes them.
        LLVMValueRef px = LLVMBuildAdd(B, QuadLanes(offsetof(PipelineArgs, quadX)), LaneOffsets(1), "");
        LLVMValueRef py = LLVMBuildAdd(B, QuadLanes(offsetof(PipelineArgs, quadY)), LaneOffsets(2), "");
        LLVMValueRef triangle = Field(offsetof(PipelineArgs, triangle), f32p);
        LLVMValueRef t[8];  // x0, y0, z[3], invW[3]
        for (int i = 0; i < 8; ++i) {
            LLVMValueRef index = LLVMConstInt(i64, uint64_t(i), 0);
            t[i] = SplatValue(LLVMBuildLoad2(B, f32, LLVMBuildGEP2(B, f32, triangle, &index, 1, ""), ""), v16);
        }
        dx = Sub(LLVMBuildSIToFP(B, px, v16, ""), t[0]);
        dy = Sub(LLVMBuildSIToFP(B, py, v16, ""), t[1]);
        LLVMValueRef z = Add(Add(t[2], Mul(t[3], dx)), Mul(t[4], dy));
        invW = Div(Splat(1.0f), Add(Add(t[5], Mul(t[6], dx)), Mul(t[7], dy)));

        LLVMValueRef zq = nullptr, depthRaw = nullptr;
        if (K.depthTest || K.depthWrite) {
            // QuantiseDepth: clamped to [0, 1] (NaN to 0), scaled in double precision.
            LLVMTypeRef f64 = LLVMDoubleTypeInContext(C), v16d = LLVMVectorType(f64, kLanes);
            LLVMValueRef clamped = Select(Cmp(LLVMRealOGT, z, Splat(0.0f)), z, Splat(0.0f));
            clamped = Select(Cmp(LLVMRealOLT, clamped, Splat(1.0f)), clamped, Splat(1.0f));
            LLVMValueRef wide = LLVMBuildFPExt(B, clamped, v16d, "");
            const double scale = double((uint64_t(1) << K.depthBits) - 1);
            wide = LLVMBuildFMul(B, wide, SplatValue(LLVMConstReal(f64, scale), v16d), "");
            wide = LLVMBuildFAdd(B, wide, SplatValue(LLVMConstReal(f64, 0.5), v16d), "");
            zq = LLVMBuildFPToSI(B, wide, v16i, "");
            depthRaw = LoadQuads(offsetof(PipelineArgs, depthRows), offsetof(PipelineArgs, depthPitch), depthRow);
        }
        if (K.depthTest) {
            LLVMValueRef stored = LLVMBuildLShr(B, depthRaw, ConstI(K.depthShift), "");
            LLVMValueRef pass = Compare(K.zFunc, zq, stored);
            coverage = LLVMBuildAnd(B, coverage, Mask(pass), "");
            ReturnIfNone(coverage);
        }

        EmitProgram(regFile, constants, callContext, inputBlocks, stats);

        // The colour result, as RunPixels hands it to the colour write.
        const bool written = P.ps1 || (P.outputsWritten & 1);
        const int slot = P.ps1 ? kTempBase : kOutBase;
        Vec4 color;
        for (int k = 0; k < 4; ++k) color.c[k] = written ? LoadSlot(slot, k) : Splat(0.0f);

        LLVMValueRef killed = LoadI32(callContext, offsetof(CallContext, killed));
        LLVMValueRef live = LLVMBuildAnd(B, coverage, LLVMBuildNot(B, killed, ""), "");
        if (K.alphaTest) {
            LLVMValueRef ref = SplatI(LoadI32(args, offsetof(PipelineArgs, alphaRef)));
            live = LLVMBuildAnd(B, live, Mask(Compare(K.alphaFunc, ToByte(color.c[3]), ref)), "");
        }
        ReturnIfNone(live);
        LLVMValueRef liveLanes = LaneBits(live);
        LLVMValueRef old = LoadQuads(offsetof(PipelineArgs, rows), offsetof(PipelineArgs, pitch), colorRow);
        StoreQuads(colorRow, LLVMBuildSelect(B, liveLanes, Blend(color, old), old, ""), live);
        if (K.depthWrite) {
            const uint32_t depthMask = K.depthShift ? 0xFFFFFF00u : 0xFFFFFFFFu;
            LLVMValueRef depthOut = LLVMBuildOr(B, LLVMBuildAnd(B, depthRaw, ConstI(~depthMask), ""),
                                                LLVMBuildAnd(B, LLVMBuildShl(B, zq, ConstI(K.depthShift), ""),
                                                             ConstI(depthMask), ""),
                                                "");
            StoreQuads(depthRow, LLVMBuildSelect(B, liveLanes, depthOut, depthRaw, ""), live);
        }
        LLVMBuildRet(B, live);
    }

private:
    // Field at `offset` of the arguments (or of another struct at `base`).
    LLVMValueRef FieldPointer(LLVMValueRef base, size_t offset, LLVMTypeRef type) {
        LLVMValueRef index = LLVMConstInt(i64, offset, 0);
        return LLVMBuildBitCast(B, LLVMBuildGEP2(B, i8, base, &index, 1, ""), LLVMPointerType(type, 0), "");
    }
    LLVMValueRef Field(size_t offset, LLVMTypeRef type) {
        return LLVMBuildLoad2(B, type, FieldPointer(args, offset, type), "");
    }
    LLVMValueRef LoadI32(LLVMValueRef base, size_t offset) {
        return LLVMBuildLoad2(B, i32, FieldPointer(base, offset, i32), "");
    }
    LLVMValueRef SplatValue(LLVMValueRef scalar, LLVMTypeRef vectorType) {
        LLVMValueRef one = LLVMBuildInsertElement(B, LLVMGetUndef(vectorType), scalar, LLVMConstInt(i32, 0, 0), "");
        return LLVMBuildShuffleVector(B, one, LLVMGetUndef(vectorType), LLVMConstNull(v16i), "");
    }
    LLVMValueRef SplatI(LLVMValueRef scalar) { return SplatValue(scalar, v16i); }
    LLVMValueRef ConstI(uint32_t x) {
        LLVMValueRef e[kLanes];
        for (auto& v : e) v = LLVMConstInt(i32, x, 0);
        return LLVMConstVector(e, kLanes);
    }
    // Ends the routine (returning 0) when no bit of `mask` is set; code built
    // after it runs only for batches with some pixel left.
    void ReturnIfNone(LLVMValueRef mask) {
        LLVMValueRef fn = LLVMGetBasicBlockParent(LLVMGetInsertBlock(B));
        LLVMBasicBlockRef some = LLVMAppendBasicBlockInContext(C, fn, "some");
        LLVMBasicBlockRef none = LLVMAppendBasicBlockInContext(C, fn, "none");
        LLVMBuildCondBr(B, LLVMBuildICmp(B, LLVMIntEQ, mask, LLVMConstInt(i32, 0, 0), ""), none, some);
        LLVMPositionBuilderAtEnd(B, none);
        LLVMBuildRet(B, LLVMConstInt(i32, 0, 0));
        LLVMPositionBuilderAtEnd(B, some);
    }

    // Bit l of `mask` as lane l of a <16 x i1>.
    LLVMValueRef LaneBits(LLVMValueRef mask) {
        LLVMValueRef bits[kLanes];
        for (int l = 0; l < kLanes; ++l) bits[l] = LLVMConstInt(i32, 1u << l, 0);
        LLVMValueRef anded = LLVMBuildAnd(B, SplatI(mask), LLVMConstVector(bits, kLanes), "");
        return LLVMBuildICmp(B, LLVMIntNE, anded, ConstI(0), "");
    }

    // (p0 + p1 * dx + p2 * dy) * (1 / w), as ShadeQuads interpolates.
    LLVMValueRef Input(int slot, int comp) override {
        int varying = -1;
        for (int i = 0; i < K.varyingCount; ++i) {
            if (K.varyingTarget[i] == slot) varying = i;  // the last one written wins
        }
        if (varying < 0) return Emitter::Input(slot, comp);
        LLVMValueRef p[3];
        for (int j = 0; j < 3; ++j) {
            LLVMValueRef index = LLVMConstInt(i64, uint64_t((varying * 4 + comp) * 3 + j), 0);
            LLVMValueRef scalar = LLVMBuildLoad2(B, f32, LLVMBuildGEP2(B, f32, planes, &index, 1, ""), "");
            p[j] = SplatValue(scalar, v16);
        }
        return Mul(Add(Add(p[0], Mul(p[1], dx)), Mul(p[2], dy)), invW);
    }

    // The bilinear read of SampleLinear8888Avx2. Taps outside the image are
    // addressed here for wrapping and clamping (as the sampler's Address
    // does); with other address modes a lookup with such taps, or one through
    // a sampler that does not qualify, goes to the sampler.
    bool InlineSample(const ExecOp& op, LLVMValueRef u, LLVMValueRef v, LLVMBasicBlockRef fallback,
                      Vec4* texel) override {
        if (op.sampler >= kMaxSamplers) return false;
        LLVMValueRef texOffset = LLVMConstInt(i64, op.sampler * sizeof(PipelineTexture), 0);
        LLVMValueRef tex = LLVMBuildGEP2(B, i8, textures, &texOffset, 1, "");
        LLVMValueRef base = LLVMBuildLoad2(B, i8p, FieldPointer(tex, offsetof(PipelineTexture, base), i8p), "");
        LLVMValueRef pitch = SplatI(LoadI32(tex, offsetof(PipelineTexture, pitch)));
        LLVMValueRef size[2] = {LoadI32(tex, offsetof(PipelineTexture, width)),
                                LoadI32(tex, offsetof(PipelineTexture, height))};
        LLVMValueRef wrapMask[2] = {LoadI32(tex, offsetof(PipelineTexture, wrapMask)),
                                    LoadI32(tex, offsetof(PipelineTexture, wrapMask) + 4)};
        LLVMValueRef fill = SplatI(LoadI32(tex, offsetof(PipelineTexture, alphaFill)));
        LLVMValueRef usable = LoadI32(tex, offsetof(PipelineTexture, usable));

        LLVMValueRef coord[2] = {u, v}, first[2], frac[2];
        for (int axis = 0; axis < 2; ++axis) {
            LLVMValueRef x = coord[axis];
            x = Select(Cmp(LLVMRealOEQ, x, x), x, Splat(0.0f));  // NaN reads as 0
            LLVMValueRef f = Sub(Mul(x, SplatValue(LLVMBuildSIToFP(B, size[axis], f32, ""), v16)), Splat(0.5f));
            f = Select(Cmp(LLVMRealOGT, f, Splat(-1.0e9f)), f, Splat(-1.0e9f));
            f = Select(Cmp(LLVMRealOLT, f, Splat(1.0e9f)), f, Splat(1.0e9f));
            LLVMValueRef t = Intrinsic("llvm.floor", f);
            first[axis] = LLVMBuildFPToSI(B, t, v16i, "");
            frac[axis] = Sub(f, t);
        }
        const uint8_t* mode = K.address[op.sampler];
        const bool addressed = mode[0] != kAddressBySampler && mode[1] != kAddressBySampler;
        LLVMValueRef inlined = LLVMBuildICmp(B, LLVMIntNE, usable, LLVMConstInt(i32, 0, 0), "");
        if (addressed) {
            for (int axis = 0; axis < 2; ++axis) {
                if (mode[axis] != kAddressWrap) continue;  // wrapping needs a side that is a power of two
                LLVMValueRef pow2 = LLVMBuildICmp(B, LLVMIntSGE, wrapMask[axis], LLVMConstInt(i32, 0, 0), "");
                inlined = LLVMBuildAnd(B, inlined, pow2, "");
            }
        } else {
            LLVMValueRef outside = LLVMConstNull(LLVMVectorType(LLVMInt1TypeInContext(C), kLanes));
            for (int axis = 0; axis < 2; ++axis) {
                LLVMValueRef limit = SplatI(LLVMBuildSub(B, size[axis], LLVMConstInt(i32, 2, 0), ""));
                outside = LLVMBuildOr(B, outside, LLVMBuildICmp(B, LLVMIntSLT, first[axis], ConstI(0), ""), "");
                outside = LLVMBuildOr(B, outside, LLVMBuildICmp(B, LLVMIntSGT, first[axis], limit, ""), "");
            }
            outside = LLVMBuildAnd(B, outside, callLanes, "");
            LLVMTypeRef i16 = LLVMInt16TypeInContext(C);
            LLVMValueRef anyOutside =
                LLVMBuildICmp(B, LLVMIntNE, LLVMBuildBitCast(B, outside, i16, ""), LLVMConstInt(i16, 0, 0), "");
            inlined = LLVMBuildAnd(B, inlined, LLVMBuildNot(B, anyOutside, ""), "");
        }
        LLVMValueRef fn = LLVMGetBasicBlockParent(LLVMGetInsertBlock(B));
        LLVMBasicBlockRef read = LLVMAppendBasicBlockInContext(C, fn, "inline_read");
        LLVMBuildCondBr(B, inlined, read, fallback);
        LLVMPositionBuilderAtEnd(B, read);

        // The taps' columns and rows: (x, x + 1) and (y, y + 1), addressed.
        LLVMValueRef at[2][2];
        for (int axis = 0; axis < 2; ++axis) {
            for (int step = 0; step < 2; ++step) {
                LLVMValueRef i = step ? LLVMBuildAdd(B, first[axis], ConstI(1), "") : first[axis];
                if (mode[axis] == kAddressWrap && addressed) {
                    i = LLVMBuildAnd(B, i, SplatI(wrapMask[axis]), "");
                } else if (mode[axis] == kAddressClamp && addressed) {
                    LLVMValueRef last = SplatI(LLVMBuildSub(B, size[axis], LLVMConstInt(i32, 1, 0), ""));
                    i = LLVMBuildSelect(B, LLVMBuildICmp(B, LLVMIntSLT, i, ConstI(0), ""), ConstI(0), i, "");
                    i = LLVMBuildSelect(B, LLVMBuildICmp(B, LLVMIntSGT, i, last, ""), last, i, "");
                }
                at[axis][step] = i;
            }
        }
        LLVMTypeRef ptrs = LLVMVectorType(LLVMPointerType(i32, 0), kLanes);
        LLVMTypeRef gatherTypes[2] = {v16i, ptrs};
        const char* gatherName = "llvm.masked.gather";
        const unsigned gatherId = LLVMLookupIntrinsicID(gatherName, std::strlen(gatherName));
        LLVMValueRef gather = LLVMGetIntrinsicDeclaration(M, gatherId, gatherTypes, 2);
        LLVMTypeRef gatherType = LLVMIntrinsicGetType(C, gatherId, gatherTypes, 2);
        LLVMValueRef tap[4];  // (x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1); lanes outside the call hold 0
        for (int q = 0; q < 4; ++q) {
            LLVMValueRef offset = LLVMBuildAdd(B, LLVMBuildMul(B, at[1][q >> 1], pitch, ""),
                                               LLVMBuildShl(B, at[0][q & 1], ConstI(2), ""), "");
            offset = LLVMBuildSExt(B, offset, LLVMVectorType(i64, kLanes), "");
            LLVMValueRef addresses = LLVMBuildBitCast(B, LLVMBuildGEP2(B, i8, base, &offset, 1, ""), ptrs, "");
            LLVMValueRef gatherArgs[4] = {addresses, LLVMConstInt(i32, 4, 0), callLanes, ConstI(0)};
            LLVMValueRef t = LLVMBuildCall2(B, gatherType, gather, gatherArgs, 4, "");
            tap[q] = LLVMBuildSelect(B, callLanes, LLVMBuildOr(B, t, fill, ""), ConstI(0), "");
        }
        const int shifts[4] = {16, 8, 0, 24};
        for (int c = 0; c < 4; ++c) {
            LLVMValueRef ch[4];
            for (int q = 0; q < 4; ++q) ch[q] = Channel(tap[q], shifts[c]);
            LLVMValueRef top = Add(ch[0], Mul(Sub(ch[1], ch[0]), frac[0]));
            LLVMValueRef bottom = Add(ch[2], Mul(Sub(ch[3], ch[2]), frac[0]));
            texel->c[c] = Add(top, Mul(Sub(bottom, top), frac[1]));
        }
        return true;
    }

    // Channel `shift` of packed 8888 texels or pixels as floats in [0, 1].
    LLVMValueRef Channel(LLVMValueRef packed, int shift) {
        LLVMValueRef c = LLVMBuildAnd(B, LLVMBuildLShr(B, packed, ConstI(uint32_t(shift)), ""), ConstI(0xFF), "");
        return Mul(LLVMBuildSIToFP(B, c, v16, ""), Splat(1.f / 255.f));
    }
    // Clamps to [0, 1]; NaN becomes 0.
    LLVMValueRef Sat(LLVMValueRef x) {
        LLVMValueRef t = Select(Cmp(LLVMRealOGT, x, Splat(0.0f)), x, Splat(0.0f));
        return Select(Cmp(LLVMRealOLT, t, Splat(1.0f)), t, Splat(1.0f));
    }
    LLVMValueRef ToByte(LLVMValueRef x) {
        return LLVMBuildFPToSI(B, Add(Mul(Sat(x), Splat(255.f)), Splat(0.5f)), v16i, "");
    }
    // The lanes where `func` holds for value against reference (unsigned).
    LLVMValueRef Compare(uint8_t func, LLVMValueRef value, LLVMValueRef reference) {
        auto cmp = [&](LLVMIntPredicate p) { return LLVMBuildICmp(B, p, value, reference, ""); };
        LLVMValueRef all = LLVMBuildICmp(B, LLVMIntEQ, ConstI(0), ConstI(0), "");
        switch (func) {
            case D3DCMP_NEVER: return LLVMBuildNot(B, all, "");
            case D3DCMP_LESS: return cmp(LLVMIntULT);
            case D3DCMP_EQUAL: return cmp(LLVMIntEQ);
            case D3DCMP_LESSEQUAL: return cmp(LLVMIntULE);
            case D3DCMP_GREATER: return cmp(LLVMIntUGT);
            case D3DCMP_NOTEQUAL: return cmp(LLVMIntNE);
            case D3DCMP_GREATEREQUAL: return cmp(LLVMIntUGE);
            default: return all;
        }
    }

    // Blend factor `f` for channel c (3: alpha).
    LLVMValueRef Factor(uint8_t f, const Vec4& s, const Vec4& d, int c) {
        const LLVMValueRef one = Splat(1.0f);
        switch (f) {
            case D3DBLEND_ZERO: return Splat(0.0f);
            case D3DBLEND_ONE: return one;
            case D3DBLEND_SRCCOLOR: return s.c[c];
            case D3DBLEND_INVSRCCOLOR: return Sub(one, s.c[c]);
            case D3DBLEND_SRCALPHA: return s.c[3];
            case D3DBLEND_INVSRCALPHA: return Sub(one, s.c[3]);
            case D3DBLEND_DESTALPHA: return d.c[3];
            case D3DBLEND_INVDESTALPHA: return Sub(one, d.c[3]);
            case D3DBLEND_DESTCOLOR: return d.c[c];
            case D3DBLEND_INVDESTCOLOR: return Sub(one, d.c[c]);
            case D3DBLEND_SRCALPHASAT: {
                if (c == 3) return one;
                LLVMValueRef inv = Sub(one, d.c[3]);
                return Select(Cmp(LLVMRealOLT, inv, s.c[3]), inv, s.c[3]);  // std::min(s.a, 1 - d.a)
            }
            case D3DBLEND_BLENDFACTOR: return SplatValue(BlendFactor(c), v16);
            case D3DBLEND_INVBLENDFACTOR: return Sub(one, SplatValue(BlendFactor(c), v16));
            default: return one;
        }
    }
    LLVMValueRef BlendFactor(int c) {
        return LLVMBuildLoad2(B, f32, FieldPointer(args, offsetof(PipelineArgs, blendFactor) + 4 * c, f32), "");
    }
    LLVMValueRef BlendOp(uint8_t op, LLVMValueRef s, LLVMValueRef d) {
        switch (op) {
            case D3DBLENDOP_SUBTRACT: return Sub(s, d);
            case D3DBLENDOP_REVSUBTRACT: return Sub(d, s);
            case D3DBLENDOP_MIN: return Select(Cmp(LLVMRealOLT, d, s), d, s);  // std::min(s, d)
            case D3DBLENDOP_MAX: return Select(Cmp(LLVMRealOLT, s, d), d, s);  // std::max(s, d)
            default: return Add(s, d);
        }
    }

    // Lane l of a <16 x i32> from element l / 4 of the four ints at `offset`.
    LLVMValueRef QuadLanes(size_t offset) {
        LLVMTypeRef v4i = LLVMVectorType(i32, 4);
        LLVMValueRef four = LLVMBuildLoad2(B, v4i, FieldPointer(args, offset, v4i), "");
        LLVMSetAlignment(four, 4);
        LLVMValueRef pick[kLanes];
        for (int l = 0; l < kLanes; ++l) pick[l] = LLVMConstInt(i32, uint64_t(l >> 2), 0);
        return LLVMBuildShuffleVector(B, four, LLVMGetUndef(v4i), LLVMConstVector(pick, kLanes), "");
    }
    // The offset of each lane's pixel within its quad: bit `bit` of i in pixel i.
    LLVMValueRef LaneOffsets(int bit) {
        LLVMValueRef e[kLanes];
        for (int l = 0; l < kLanes; ++l) e[l] = LLVMConstInt(i32, uint64_t((l & bit) ? 1 : 0), 0);
        return LLVMConstVector(e, kLanes);
    }
    // A <16 x i1> as a lane mask.
    LLVMValueRef Mask(LLVMValueRef lanes) {
        return LLVMBuildZExt(B, LLVMBuildBitCast(B, lanes, LLVMInt16TypeInContext(C), ""), i32, "");
    }

    // The 32-bit pixels of the four quads in an image whose quad rows are at
    // `rowsOffset` (PipelineArgs) and pitch at `pitchOffset`, as two 8-byte
    // rows per quad; the row pointers go to `rowsOut` for StoreQuads.
    LLVMValueRef LoadQuads(size_t rowsOffset, size_t pitchOffset, LLVMValueRef (*rowsOut)[2]) {
        LLVMTypeRef v2i = LLVMVectorType(i32, 2);
        LLVMValueRef pitch = Field(pitchOffset, i64);
        LLVMValueRef quad[kQuads];
        for (int q = 0; q < kQuads; ++q) {
            rowsOut[q][0] = Field(rowsOffset + q * sizeof(uint8_t*), i8p);
            rowsOut[q][1] = LLVMBuildGEP2(B, i8, rowsOut[q][0], &pitch, 1, "");
            LLVMValueRef half[2];
            for (int r = 0; r < 2; ++r) {
                half[r] = LLVMBuildLoad2(B, v2i, LLVMBuildBitCast(B, rowsOut[q][r], LLVMPointerType(v2i, 0), ""), "");
                LLVMSetAlignment(half[r], 4);
            }
            LLVMValueRef idx[4] = {LLVMConstInt(i32, 0, 0), LLVMConstInt(i32, 1, 0), LLVMConstInt(i32, 2, 0),
                                   LLVMConstInt(i32, 3, 0)};
            quad[q] = LLVMBuildShuffleVector(B, half[0], half[1], LLVMConstVector(idx, 4), "");
        }
        LLVMValueRef idx8[8], idx16[16];
        for (int i = 0; i < 16; ++i) {
            if (i < 8) idx8[i] = LLVMConstInt(i32, uint64_t(i), 0);
            idx16[i] = LLVMConstInt(i32, uint64_t(i), 0);
        }
        LLVMValueRef lo = LLVMBuildShuffleVector(B, quad[0], quad[1], LLVMConstVector(idx8, 8), "");
        LLVMValueRef hi = LLVMBuildShuffleVector(B, quad[2], quad[3], LLVMConstVector(idx8, 8), "");
        return LLVMBuildShuffleVector(B, lo, hi, LLVMConstVector(idx16, 16), "");
    }
    // Writes back the quads with a live lane (the others may repeat quad 0).
    void StoreQuads(LLVMValueRef (*rows)[2], LLVMValueRef pixels, LLVMValueRef live) {
        LLVMTypeRef v2i = LLVMVectorType(i32, 2);
        LLVMValueRef fn = LLVMGetBasicBlockParent(LLVMGetInsertBlock(B));
        for (int q = 0; q < kQuads; ++q) {
            LLVMValueRef quadLive = LLVMBuildAnd(B, live, LLVMConstInt(i32, 0xFu << (4 * q), 0), "");
            LLVMBasicBlockRef store = LLVMAppendBasicBlockInContext(C, fn, "store");
            LLVMBasicBlockRef next = LLVMAppendBasicBlockInContext(C, fn, "next");
            LLVMBuildCondBr(B, LLVMBuildICmp(B, LLVMIntNE, quadLive, LLVMConstInt(i32, 0, 0), ""), store, next);
            LLVMPositionBuilderAtEnd(B, store);
            for (int r = 0; r < 2; ++r) {
                LLVMValueRef pick[2] = {LLVMConstInt(i32, uint64_t(4 * q + 2 * r), 0),
                                        LLVMConstInt(i32, uint64_t(4 * q + 2 * r + 1), 0)};
                LLVMValueRef pair = LLVMBuildShuffleVector(B, pixels, LLVMGetUndef(v16i), LLVMConstVector(pick, 2), "");
                LLVMValueRef st = LLVMBuildStore(B, pair, LLVMBuildBitCast(B, rows[q][r], LLVMPointerType(v2i, 0), ""));
                LLVMSetAlignment(st, 4);
            }
            LLVMBuildBr(B, next);
            LLVMPositionBuilderAtEnd(B, next);
        }
    }

    // The general colour write of pixel_stage.cpp on the old pixels: blending
    // (or the colour as it is), the byte conversion, the write mask.
    LLVMValueRef Blend(const Vec4& color, LLVMValueRef old) {
        const int shifts[4] = {16, 8, 0, 24};
        Vec4 r;
        if (K.blend) {
            Vec4 s, d;
            for (int c = 0; c < 4; ++c) {
                s.c[c] = Sat(color.c[c]);
                d.c[c] = Channel(old, shifts[c]);
            }
            if (!K.hasAlpha) d.c[3] = Splat(1.0f);
            for (int c = 0; c < 4; ++c) {
                const uint8_t op = c < 3 ? K.opColor : K.opAlpha;
                const uint8_t fs = c < 3 ? K.srcColor : K.srcAlpha, fd = c < 3 ? K.dstColor : K.dstAlpha;
                if (op == D3DBLENDOP_MIN || op == D3DBLENDOP_MAX) {
                    r.c[c] = BlendOp(op, s.c[c], d.c[c]);
                } else {
                    r.c[c] = BlendOp(op, Mul(s.c[c], Factor(fs, s, d, c)), Mul(d.c[c], Factor(fd, s, d, c)));
                }
            }
        } else {
            r = color;
        }
        LLVMValueRef out = ConstI(0);
        for (int c = 0; c < 4; ++c) out = LLVMBuildOr(B, out, LLVMBuildShl(B, ToByte(r.c[c]), ConstI(shifts[c]), ""), "");
        uint32_t keep = 0;  // bits the write mask protects
        if (!(K.writeMask & D3DCOLORWRITEENABLE_RED)) keep |= 0x00FF0000u;
        if (!(K.writeMask & D3DCOLORWRITEENABLE_GREEN)) keep |= 0x0000FF00u;
        if (!(K.writeMask & D3DCOLORWRITEENABLE_BLUE)) keep |= 0x000000FFu;
        if (!(K.writeMask & D3DCOLORWRITEENABLE_ALPHA)) keep |= 0xFF000000u;
        if (!K.hasAlpha) keep &= 0x00FFFFFFu;
        if (!K.hasAlpha) out = LLVMBuildOr(B, out, ConstI(0xFF000000u), "");
        return LLVMBuildOr(B, LLVMBuildAnd(B, out, ConstI(~keep), ""), LLVMBuildAnd(B, old, ConstI(keep), ""), "");
    }

    const PipelineKey K;
    LLVMTypeRef v16i = nullptr, i8 = nullptr;
    LLVMValueRef args = nullptr, callContext = nullptr, dx = nullptr, dy = nullptr, invW = nullptr;
    LLVMValueRef planes = nullptr, textures = nullptr, callLanes = nullptr;
    LLVMValueRef colorRow[kQuads][2] = {}, depthRow[kQuads][2] = {};
};

}  // namespace

CompiledPipeline::CompiledPipeline(PipelineFunction entry, void* tracker, const CompileStats& stats)
    : entry_(entry), tracker_(tracker), stats_(stats) {}

CompiledPipeline::~CompiledPipeline() { RemoveCode(tracker_); }

std::unique_ptr<CompiledPipeline> CompilePipeline(const ExecProgram& program, const PipelineKey& key) {
    if (!Enabled() || !PipelineCompilable(program) || key.varyingCount > kMaxPixelInputs) return nullptr;
    // Every input the program reads comes from a varying (LinkVaryings gives
    // each declared input one); anything else keeps the device's path.
    uint32_t filled = 0;
    for (int i = 0; i < key.varyingCount; ++i) filled |= 1u << key.varyingTarget[i];
    if (program.inputMask & ((1u << kMaxPixelInputs) - 1) & ~filled) return nullptr;
    const auto start = std::chrono::steady_clock::now();
    static std::atomic<unsigned> counter{0};
    const std::string name = "kiln_pipeline_" + std::to_string(counter++);
    LLVMOrcThreadSafeContextRef context = nullptr;
    LLVMModuleRef module = NewModule(name.c_str(), &context);
    CompileStats stats;
    {
        PipelineEmitter emitter(LLVMOrcThreadSafeContextGetContext(context), module, program, key);
        emitter.Build(name.c_str(), &stats);
    }
    void* tracker = nullptr;
    const uint64_t address = AddModule(module, context, name.c_str(), &tracker);
    if (!address) return nullptr;
    stats.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    RecordPipelineCompile(stats.milliseconds);
    return std::make_unique<CompiledPipeline>(reinterpret_cast<PipelineFunction>(address), tracker, stats);
}

#else  // no code generator in this build

CompiledPipeline::CompiledPipeline(PipelineFunction entry, void* tracker, const CompileStats& stats)
    : entry_(entry), tracker_(tracker), stats_(stats) {}
CompiledPipeline::~CompiledPipeline() = default;
std::unique_ptr<CompiledPipeline> CompilePipeline(const exec::ExecProgram&, const PipelineKey&) { return nullptr; }

#endif

}  // namespace gfx::jit
