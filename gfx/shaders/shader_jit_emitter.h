// The shader code generator's emitter, shared by the compiled shaders
// (shader_jit.cpp) and the compiled pixel pipelines (pipeline_jit.cpp).
// Internal to the code generator: included only where LLVM is available.
//
// Every register component is a <16 x float> vector (one value per lane),
// read from and written to the ExecState like the interpreter does, so ops
// left to the interpreter see the same register file. Because the register
// file and the constant table are passed as non-aliasing pointers, LLVM keeps
// values in machine registers between native ops and drops stores that a
// later op overwrites; only the values an interpreted op or the caller may
// read reach memory.
//
// The arithmetic is written with the same IEEE operations in the same order
// as the per-lane reference (shader_exec_math.h) and no fast-math flags, so
// the results match the interpreter bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include <llvm-c/Core.h>
#include <llvm-c/Orc.h>

#include "gfx/shaders/shader_jit.h"

namespace gfx::jit::detail {

using namespace exec;
using namespace isa;

// The interpreter's code for op `index`, called from compiled code.
void RunInterpretedOp(float* regs, CallContext* context, int32_t index);
// A texture lookup through the sampler's shortcut (TextureSampler::SampleFast)
// as the interpreter tries it first; 0 when the shortcut does not apply.
int32_t SampleShortcut(CallContext* context, int32_t sampler, const float* u, const float* v, float* out);
// Arithmetic the generator writes itself.
bool NativeOp(const ExecOp& op);
// Lookups whose coordinates the generator computes.
bool ShortcutSample(const ExecOp& op);

// A fresh module for the JIT's target; the context is the module's.
LLVMModuleRef NewModule(const char* name, LLVMOrcThreadSafeContextRef* context);
// Verifies and optimises `module`, adds it to the JIT and looks up `name`.
// Returns the address (0 on failure, the module then released) and the
// resource tracker that owns the code.
uint64_t AddModule(LLVMModuleRef module, LLVMOrcThreadSafeContextRef context, const char* name, void** tracker);
// Adds one pipeline compile to PipelineTotals.
void RecordPipelineCompile(double milliseconds);
// Releases code added by AddModule.
void RemoveCode(void* tracker);

struct Vec4 {
    LLVMValueRef c[4];
};

class Emitter {
public:
    Emitter(LLVMContextRef context, LLVMModuleRef module, const ExecProgram& program)
        : C(context), M(module), B(LLVMCreateBuilderInContext(context)), P(program) {
        f32 = LLVMFloatTypeInContext(C);
        i32 = LLVMInt32TypeInContext(C);
        i64 = LLVMInt64TypeInContext(C);
        v16 = LLVMVectorType(f32, kLanes);
        f32p = LLVMPointerType(f32, 0);
        v16p = LLVMPointerType(v16, 0);
        i8p = LLVMPointerType(LLVMInt8TypeInContext(C), 0);
    }
    virtual ~Emitter() { LLVMDisposeBuilder(B); }

    // Builds the function `name`: void(float* regs, const float* constants,
    // CallContext* context, const float* inputs).
    void Build(const char* name, CompileStats* stats) {
        LLVMTypeRef params[4] = {f32p, f32p, i8p, f32p};
        LLVMTypeRef fnType = LLVMFunctionType(LLVMVoidTypeInContext(C), params, 4, 0);
        LLVMValueRef fn = LLVMAddFunction(M, name, fnType);
        const unsigned noalias = LLVMGetEnumAttributeKindForName("noalias", 7);
        LLVMAddAttributeAtIndex(fn, 1, LLVMCreateEnumAttribute(C, noalias, 0));
        LLVMAddAttributeAtIndex(fn, 2, LLVMCreateEnumAttribute(C, noalias, 0));
        LLVMAddAttributeAtIndex(fn, 4, LLVMCreateEnumAttribute(C, noalias, 0));
        Begin(fn);
        EmitProgram(LLVMGetParam(fn, 0), LLVMGetParam(fn, 1), LLVMGetParam(fn, 2), LLVMGetParam(fn, 3), stats);
        LLVMBuildRetVoid(B);
    }

protected:
    // Opens the entry block of `fn` and the stack blocks of the lookups.
    void Begin(LLVMValueRef fn) {
        const unsigned nounwind = LLVMGetEnumAttributeKindForName("nounwind", 8);
        LLVMAddAttributeAtIndex(fn, LLVMAttributeFunctionIndex, LLVMCreateEnumAttribute(C, nounwind, 0));
        LLVMTypeRef helperParams[3] = {f32p, i8p, i32};
        helperType = LLVMFunctionType(LLVMVoidTypeInContext(C), helperParams, 3, 0);
        helper = LLVMConstIntToPtr(LLVMConstInt(i64, reinterpret_cast<uintptr_t>(&RunInterpretedOp), 0),
                                   LLVMPointerType(helperType, 0));
        LLVMPositionBuilderAtEnd(B, LLVMAppendBasicBlockInContext(C, fn, "entry"));
        LLVMTypeRef lanes = LLVMArrayType(f32, kLanes), block = LLVMArrayType(f32, 4 * kLanes);
        sampleU = LLVMBuildBitCast(B, Aligned(LLVMBuildAlloca(B, lanes, "u")), f32p, "");
        sampleV = LLVMBuildBitCast(B, Aligned(LLVMBuildAlloca(B, lanes, "v")), f32p, "");
        sampleOut = LLVMBuildBitCast(B, Aligned(LLVMBuildAlloca(B, block, "texel")), f32p, "");
        LLVMTypeRef shortcutParams[5] = {i8p, i32, f32p, f32p, f32p};
        shortcutType = LLVMFunctionType(i32, shortcutParams, 5, 0);
        shortcut = LLVMConstIntToPtr(LLVMConstInt(i64, reinterpret_cast<uintptr_t>(&SampleShortcut), 0),
                                     LLVMPointerType(shortcutType, 0));
    }

    // The program's ops at the builder's position, on the given register
    // file, constant table, CallContext and input blocks.
    void EmitProgram(LLVMValueRef regFile, LLVMValueRef constants, LLVMValueRef callContext, LLVMValueRef inputBlocks,
                     CompileStats* stats) {
        regs = regFile;
        consts = constants;
        context = callContext;
        inputs = inputBlocks;
        Prepare();
        for (size_t i = 0; i < P.ops.size(); ++i) {
            const ExecOp& op = P.ops[i];
            if (op.kind == Kind::Ret || op.kind == Kind::Label) break;  // the main program ends
            if (op.kind == Kind::Nop) continue;
            if (NativeOp(op)) {
                Write(op, Arith(op));
                ++stats->nativeOps;
            } else if (ShortcutSample(op)) {
                Sample(op, int(i));
                ++stats->nativeOps;
            } else {
                Interpret(int(i));
                ++stats->interpretedOps;
            }
        }
    }

    // Input `slot` component `comp` for every lane: by default read from the
    // input blocks.
    virtual LLVMValueRef Input(int slot, int comp) {
        LLVMValueRef offset = LLVMConstInt(i64, uint64_t(slot * 4 + comp) * kLanes, 0);
        LLVMValueRef p = LLVMBuildBitCast(B, LLVMBuildGEP2(B, f32, inputs, &offset, 1, ""), v16p, "");
        LLVMValueRef v = LLVMBuildLoad2(B, v16, p, "");
        LLVMSetAlignment(v, 16);
        return v;
    }

    // A lookup's texel when the code may compute it without the sampler
    // (null: call the sampler's shortcut). `fallback` is the block to branch
    // to when the inline read does not apply after all; the code continues
    // at the builder's position with the texel otherwise.
    virtual bool InlineSample(const ExecOp& op, LLVMValueRef u, LLVMValueRef v, LLVMBasicBlockRef fallback,
                              Vec4* texel) {
        (void)op, (void)u, (void)v, (void)fallback, (void)texel;
        return false;
    }

    LLVMValueRef Aligned(LLVMValueRef alloca) {
        LLVMSetAlignment(alloca, 64);
        return alloca;
    }
    LLVMValueRef Lanes(LLVMValueRef base, int block) {
        LLVMValueRef offset = LLVMConstInt(i64, uint64_t(block) * kLanes, 0);
        return LLVMBuildBitCast(B, LLVMBuildGEP2(B, f32, base, &offset, 1, ""), v16p, "");
    }

    // The interpreter's code for op `index`.
    void Interpret(int index) {
        LLVMValueRef args[3] = {regs, context, LLVMConstInt(i32, uint64_t(index), 0)};
        LLVMBuildCall2(B, helperType, helper, args, 3, "");
    }

    // texld/texldp: u and v computed here, the sampler's shortcut tried, and
    // the interpreter's op run when it does not apply.
    void Sample(const ExecOp& op, int index) {
        const Vec4 coord = Read(op.src[0]);
        LLVMValueRef u = coord.c[0], v = coord.c[1];
        if (op.sampleMode == SampleMode::Project) {
            u = Div(u, coord.c[3]);
            v = Div(v, coord.c[3]);
        }
        LLVMValueRef fn = LLVMGetBasicBlockParent(LLVMGetInsertBlock(B));
        LLVMBasicBlockRef call = LLVMAppendBasicBlockInContext(C, fn, "call");
        LLVMBasicBlockRef fast = LLVMAppendBasicBlockInContext(C, fn, "shortcut");
        LLVMBasicBlockRef slow = LLVMAppendBasicBlockInContext(C, fn, "interpreted");
        LLVMBasicBlockRef done = LLVMAppendBasicBlockInContext(C, fn, "sampled");
        Vec4 inlined;
        if (InlineSample(op, u, v, call, &inlined)) {
            Vec4 r;
            for (int k = 0; k < 4; ++k) r.c[k] = inlined.c[op.resultSwz[k] & 3];
            Write(op, r);
            LLVMBuildBr(B, done);
        } else {
            LLVMBuildBr(B, call);
        }
        LLVMPositionBuilderAtEnd(B, call);
        LLVMSetAlignment(LLVMBuildStore(B, u, Lanes(sampleU, 0)), 16);
        LLVMSetAlignment(LLVMBuildStore(B, v, Lanes(sampleV, 0)), 16);
        LLVMValueRef args[5] = {context, LLVMConstInt(i32, op.sampler, 0), sampleU, sampleV, sampleOut};
        LLVMValueRef taken = LLVMBuildCall2(B, shortcutType, shortcut, args, 5, "");
        LLVMBuildCondBr(B, LLVMBuildICmp(B, LLVMIntNE, taken, LLVMConstInt(i32, 0, 0), ""), fast, slow);
        LLVMPositionBuilderAtEnd(B, fast);
        Vec4 texel, r;
        for (int k = 0; k < 4; ++k) {
            texel.c[k] = LLVMBuildLoad2(B, v16, Lanes(sampleOut, k), "");
            LLVMSetAlignment(texel.c[k], 16);
        }
        for (int k = 0; k < 4; ++k) r.c[k] = texel.c[op.resultSwz[k] & 3];
        Write(op, r);
        LLVMBuildBr(B, done);
        LLVMPositionBuilderAtEnd(B, slow);
        Interpret(index);
        LLVMBuildBr(B, done);
        LLVMPositionBuilderAtEnd(B, done);
    }

    // exec::PrepareState in code: zeroes the registers that may be read
    // before written (stores a later op overwrites are dropped by the
    // optimiser) and loads the inputs the program reads.
    void Prepare() {
        for (int slot = 0; slot < kLaneSlotCount; ++slot) {
            if (!(P.clearSlots[slot >> 6] >> (slot & 63) & 1)) continue;
            for (int k = 0; k < 4; ++k) StoreSlot(slot, k, Splat(0.0f));
        }
        const int inputCount = P.kind == ShaderKind::Vertex ? kMaxVertexInputs : kMaxPixelInputs;
        for (int i = 0; i < kTexBase - kInputBase; ++i) {
            if (!(P.inputMask >> i & 1)) continue;
            for (int k = 0; k < 4; ++k) {
                StoreSlot(kInputBase + i, k, i < inputCount ? Input(i, k) : Splat(0.0f));
            }
        }
    }

    LLVMValueRef Splat(float x) {
        LLVMValueRef e[kLanes];
        for (auto& v : e) v = LLVMConstReal(f32, x);
        return LLVMConstVector(e, kLanes);
    }
    LLVMValueRef SlotPointer(int slot, int comp) {
        LLVMValueRef offset = LLVMConstInt(i64, uint64_t(slot * 4 + comp) * kLanes, 0);
        LLVMValueRef p = LLVMBuildGEP2(B, f32, regs, &offset, 1, "");
        return LLVMBuildBitCast(B, p, v16p, "");
    }
    LLVMValueRef LoadSlot(int slot, int comp) {
        LLVMValueRef v = LLVMBuildLoad2(B, v16, SlotPointer(slot, comp), "");
        LLVMSetAlignment(v, 16);
        return v;
    }
    void StoreSlot(int slot, int comp, LLVMValueRef v) {
        LLVMValueRef s = LLVMBuildStore(B, v, SlotPointer(slot, comp));
        LLVMSetAlignment(s, 16);
    }
    // A float constant component for every lane: the program's literal, the
    // caller's table, or zero outside the table (as the interpreter reads it).
    LLVMValueRef LoadConst(int index, int comp) {
        if (index < 0 || index >= P.floatConstCount) return Splat(0.0f);
        const int16_t lit = P.literalIndex[index];
        if (lit >= 0) return Splat(P.literals[lit * 4 + comp]);
        LLVMValueRef offset = LLVMConstInt(i64, uint64_t(index) * 4 + comp, 0);
        LLVMValueRef scalar = LLVMBuildLoad2(B, f32, LLVMBuildGEP2(B, f32, consts, &offset, 1, ""), "");
        LLVMValueRef one = LLVMBuildInsertElement(B, LLVMGetUndef(v16), scalar, LLVMConstInt(i32, 0, 0), "");
        return LLVMBuildShuffleVector(B, one, LLVMGetUndef(v16), LLVMConstNull(LLVMVectorType(i32, kLanes)), "");
    }

    LLVMValueRef Intrinsic(const char* name, LLVMValueRef x) {
        const unsigned id = LLVMLookupIntrinsicID(name, std::strlen(name));
        LLVMTypeRef t = v16;
        LLVMValueRef fn = LLVMGetIntrinsicDeclaration(M, id, &t, 1);
        return LLVMBuildCall2(B, LLVMIntrinsicGetType(C, id, &t, 1), fn, &x, 1, "");
    }
    LLVMValueRef Add(LLVMValueRef a, LLVMValueRef b) { return LLVMBuildFAdd(B, a, b, ""); }
    LLVMValueRef Sub(LLVMValueRef a, LLVMValueRef b) { return LLVMBuildFSub(B, a, b, ""); }
    LLVMValueRef Mul(LLVMValueRef a, LLVMValueRef b) { return LLVMBuildFMul(B, a, b, ""); }
    LLVMValueRef Div(LLVMValueRef a, LLVMValueRef b) { return LLVMBuildFDiv(B, a, b, ""); }
    LLVMValueRef Neg(LLVMValueRef a) { return LLVMBuildFNeg(B, a, ""); }
    LLVMValueRef Abs(LLVMValueRef a) { return Intrinsic("llvm.fabs", a); }
    LLVMValueRef Cmp(LLVMRealPredicate p, LLVMValueRef a, LLVMValueRef b) { return LLVMBuildFCmp(B, p, a, b, ""); }
    LLVMValueRef Select(LLVMValueRef c, LLVMValueRef a, LLVMValueRef b) { return LLVMBuildSelect(B, c, a, b, ""); }
    // a < b ? a : b, and a >= b ? a : b, as the reference writes them.
    LLVMValueRef Min(LLVMValueRef a, LLVMValueRef b) { return Select(Cmp(LLVMRealOLT, a, b), a, b); }
    LLVMValueRef Max(LLVMValueRef a, LLVMValueRef b) { return Select(Cmp(LLVMRealOGE, a, b), a, b); }
    // std::min(hi, std::max(lo, x)): NaN becomes lo.
    LLVMValueRef Clamp(LLVMValueRef x, float lo, float hi) {
        LLVMValueRef l = Splat(lo), h = Splat(hi);
        LLVMValueRef t = Select(Cmp(LLVMRealOLT, l, x), x, l);
        return Select(Cmp(LLVMRealOLT, t, h), t, h);
    }

    Vec4 Read(const Operand& o) {
        Vec4 raw;
        for (int k = 0; k < 4; ++k) {
            raw.c[k] = o.file == File::Zero   ? Splat(0.0f)
                       : o.file == File::Lane ? LoadSlot(o.index, k)
                                              : LoadConst(o.index, k);
            if (o.clampUnit) raw.c[k] = Clamp(raw.c[k], -1.0f, 1.0f);
        }
        Vec4 v;
        for (int k = 0; k < 4; ++k) v.c[k] = raw.c[o.swz[k] & 3];
        const LLVMValueRef half = Splat(0.5f), one = Splat(1.0f), two = Splat(2.0f);
        const LLVMValueRef z = v.c[2], w = v.c[3];
        for (auto& x : v.c) {
            switch (o.mod) {
                case SRCMOD_NEG: x = Neg(x); break;
                case SRCMOD_BIAS: x = Sub(x, half); break;
                case SRCMOD_BIASNEG: x = Neg(Sub(x, half)); break;
                case SRCMOD_SIGN: x = Sub(Mul(two, x), one); break;
                case SRCMOD_SIGNNEG: x = Neg(Sub(Mul(two, x), one)); break;
                case SRCMOD_COMP: x = Sub(one, x); break;
                case SRCMOD_X2: x = Mul(two, x); break;
                case SRCMOD_X2NEG: x = Neg(Mul(two, x)); break;
                case SRCMOD_DZ: x = Div(x, z); break;
                case SRCMOD_DW: x = Div(x, w); break;
                case SRCMOD_ABS: x = Abs(x); break;
                case SRCMOD_ABSNEG: x = Neg(Abs(x)); break;
                case SRCMOD_NOT: x = Select(Cmp(LLVMRealOEQ, x, Splat(0.0f)), one, Splat(0.0f)); break;
                default: break;
            }
        }
        return v;
    }

    static Vec4 All(LLVMValueRef x) { return Vec4{{x, x, x, x}}; }

    Vec4 Arith(const ExecOp& op) {
        Vec4 src[3];
        for (int i = 0; i < 3; ++i) src[i] = i < op.srcCount ? Read(op.src[i]) : All(Splat(0.0f));
        const auto& a = src[0].c;
        const auto& b = src[1].c;
        const auto& c = src[2].c;
        const LLVMValueRef zero = Splat(0.0f), one = Splat(1.0f);
        const int s = op.scalarComp & 3;
        Vec4 r;
        auto each = [&](auto f) {
            for (int k = 0; k < 4; ++k) r.c[k] = f(k);
        };
        switch (op.opcode) {
            case OP_MOV: r = src[0]; break;
            case OP_ADD: each([&](int k) { return Add(a[k], b[k]); }); break;
            case OP_SUB: each([&](int k) { return Sub(a[k], b[k]); }); break;
            case OP_MUL: each([&](int k) { return Mul(a[k], b[k]); }); break;
            case OP_MAD: each([&](int k) { return Add(Mul(a[k], b[k]), c[k]); }); break;
            case OP_MIN: each([&](int k) { return Min(a[k], b[k]); }); break;
            case OP_MAX: each([&](int k) { return Max(a[k], b[k]); }); break;
            case OP_SLT: each([&](int k) { return Select(Cmp(LLVMRealOLT, a[k], b[k]), one, zero); }); break;
            case OP_SGE: each([&](int k) { return Select(Cmp(LLVMRealOGE, a[k], b[k]), one, zero); }); break;
            case OP_ABS: each([&](int k) { return Abs(a[k]); }); break;
            case OP_FRC: each([&](int k) { return Sub(a[k], Intrinsic("llvm.floor", a[k])); }); break;
            case OP_CMP: each([&](int k) { return Select(Cmp(LLVMRealOGE, a[k], zero), b[k], c[k]); }); break;
            case OP_CND: each([&](int k) { return Select(Cmp(LLVMRealOGT, a[k], Splat(0.5f)), b[k], c[k]); }); break;
            case OP_LRP: each([&](int k) { return Add(Mul(a[k], Sub(b[k], c[k])), c[k]); }); break;
            case OP_SGN:
                each([&](int k) {
                    return Select(Cmp(LLVMRealOLT, a[k], zero), Splat(-1.0f),
                                  Select(Cmp(LLVMRealOGT, a[k], zero), one, zero));
                });
                break;
            case OP_SETP: {
                LLVMRealPredicate p;
                switch (op.comparison) {
                    case CMP_GT: p = LLVMRealOGT; break;
                    case CMP_EQ: p = LLVMRealOEQ; break;
                    case CMP_GE: p = LLVMRealOGE; break;
                    case CMP_LT: p = LLVMRealOLT; break;
                    case CMP_NE: p = LLVMRealUNE; break;
                    case CMP_LE: p = LLVMRealOLE; break;
                    default: p = LLVMRealPredicateFalse; break;
                }
                each([&](int k) { return Select(Cmp(p, a[k], b[k]), one, zero); });
                break;
            }
            case OP_DP3: r = All(Add(Add(Mul(a[0], b[0]), Mul(a[1], b[1])), Mul(a[2], b[2]))); break;
            case OP_DP4:
                r = All(Add(Add(Add(Mul(a[0], b[0]), Mul(a[1], b[1])), Mul(a[2], b[2])), Mul(a[3], b[3])));
                break;
            case OP_DP2ADD: r = All(Add(Add(Mul(a[0], b[0]), Mul(a[1], b[1])), c[0])); break;
            case OP_RCP: r = All(Div(one, a[s])); break;
            case OP_RSQ: r = All(Div(one, Intrinsic("llvm.sqrt", Abs(a[s])))); break;
            case OP_DST: r = Vec4{{one, Mul(a[1], b[1]), a[2], b[3]}}; break;
            case OP_CRS:
                r = Vec4{{Sub(Mul(a[1], b[2]), Mul(a[2], b[1])), Sub(Mul(a[2], b[0]), Mul(a[0], b[2])),
                          Sub(Mul(a[0], b[1]), Mul(a[1], b[0])), zero}};
                break;
            case OP_NRM: {
                LLVMValueRef dot = Add(Add(Mul(a[0], a[0]), Mul(a[1], a[1])), Mul(a[2], a[2]));
                LLVMValueRef f = Div(one, Intrinsic("llvm.sqrt", Abs(dot)));
                each([&](int k) { return Mul(a[k], f); });
                break;
            }
            case OP_TEXCOORD: r = Vec4{{a[0], a[1], a[2], one}}; break;
            default: r = All(zero); break;
        }
        return r;
    }

    // The result modifiers and the masked store, as the interpreter's Write.
    void Write(const ExecOp& op, Vec4 r) {
        const Dest& d = op.dst;
        for (int k = 0; k < 4; ++k) {
            if (!(d.mask >> k & 1)) continue;
            LLVMValueRef x = r.c[k];
            if (d.shift != 0) x = Mul(x, Splat(std::ldexp(1.0f, d.shift)));
            if (d.saturate) {
                x = Select(Cmp(LLVMRealOGT, x, Splat(0.0f)), Select(Cmp(LLVMRealOLT, x, Splat(1.0f)), x, Splat(1.0f)),
                           Splat(0.0f));
            }
            if (d.range > 0.0f) x = Clamp(x, -d.range, d.range);
            StoreSlot(d.index, k, x);
        }
    }

    LLVMContextRef C;
    LLVMModuleRef M;
    LLVMBuilderRef B;
    const ExecProgram& P;
    LLVMTypeRef f32, i32, i64, v16, f32p, v16p, i8p;
    LLVMValueRef regs = nullptr, consts = nullptr, context = nullptr, inputs = nullptr, helper = nullptr;
    LLVMTypeRef helperType = nullptr;
    LLVMValueRef sampleU = nullptr, sampleV = nullptr, sampleOut = nullptr, shortcut = nullptr;
    LLVMTypeRef shortcutType = nullptr;
};


}  // namespace gfx::jit::detail
