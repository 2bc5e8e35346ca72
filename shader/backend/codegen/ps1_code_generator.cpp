#include "shader/backend/codegen/ps1_code_generator.h"

#include <algorithm>
#include <cmath>

#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/ir_passes.h"
#include "shader/frontend/lowering/lowering.h"

namespace codegen {

using namespace gfx::isa;

namespace {

// The texture coordinate index of an input argument, -1 when it is not one.
int32_t TexcoordIndex(const IntermediateProgram& p, int32_t arg) {
    const IrArgument& a = p.args[arg];
    const uint32_t f = p.pools[a.pool].flags;
    if (!(f & kPoolBound) || !(f & kPoolValueAtEntry) || (f & (kPoolUniform | kPoolLiteral))) return -1;
    const SemanticName s = SplitSemantic(hlsl::SemanticOf(a.semanticNode));
    if (s.lower != "texcoord") return -1;
    return s.index + std::max(a.reg, 0);
}

}  // namespace

void Ps1CodeGenerator::SetLimits() {
    limits.pixelShader = true;
    physicalRegisters.assign(pools.size(), -1);
    physicalRegisters[kPoolTemps] = TempLimit();
}

int Ps1CodeGenerator::TempLimit() const {
    // ps_1_4: the r registers the stages leave free; earlier models: r0, r1
    // and the t registers no stage or coordinate uses.
    const uint32_t used = stages_ | coordinates_;
    int free = 0;
    for (int r = 0; r < (IsPs14() ? 6 : 4); ++r) free += !(used & (1u << r));
    return IsPs14() ? std::max(free, 1) : 2 + free;
}

void Ps1CodeGenerator::MapTemp(int32_t packed, uint32_t* type, uint32_t* number) const {
    const uint32_t used = stages_ | coordinates_;
    *type = REG_TEMP;
    *number = uint32_t(std::max(packed, 0));
    int32_t k = IsPs14() ? -1 : 1;
    if (!IsPs14() && packed < 2) return;
    for (uint32_t r = 0; r < (IsPs14() ? 6u : 4u); ++r) {
        if (used & (1u << r)) continue;
        if (++k == packed) {
            *type = IsPs14() ? uint32_t(REG_TEMP) : uint32_t(REG_TEXTURE);
            *number = r;
            return;
        }
    }
    *number = 6;  // beyond the model: the encoder reports it
}

HRESULT Ps1CodeGenerator::VectorizeProgram() {
    // Lookups become texture stages: the coordinates must be a texture
    // coordinate input read in order, and the stage is its index.
    int texturePool = -1;
    std::map<uint32_t, int32_t> stageSampler;  // stage -> sampler pool
    for (size_t i = 0; i < instructions.size(); ++i) {
        IrInstruction& inst = instructions[i];
        if (!IsSampleOp(inst.code())) continue;
        const uint32_t kind = (inst.code() - kOpSample) % 4;
        const uint32_t n = inst.count();
        int32_t stage = -1;
        bool direct = kind == kSamplePlain && n >= 2;
        for (uint32_t c = 0; c < n && direct; ++c) {
            const int32_t arg = inst.inputs[n + c];
            const int32_t index = TexcoordIndex(*this, arg);
            if (c == 0) stage = index;
            direct = index >= 0 && index == stage && args[arg].component == int32_t(c);
        }
        // A one-dimensional lookup repeats u.
        if (!direct && n == 2 && inst.inputs[n] == inst.inputs[n + 1]) {
            stage = TexcoordIndex(*this, inst.inputs[n]);
            direct = stage >= 0 && args[inst.inputs[n]].component == 0;
        }
        if (!direct) {
            if (kind != kSamplePlain) Report(&inst.location, codegen_diag::kPs1NotSupported, OpName(inst.code()), "", Minor());
            else Report(&inst.location, codegen_diag::kPs1DependentRead, Minor());
            return E_FAIL;
        }
        if (stage >= TexcoordLimit()) {
            Report(&inst.location, codegen_diag::kPs1TooManyLoads);
            return E_FAIL;
        }
        const uint32_t samplerPool = args[inst.inputs[0]].pool;
        auto [it, inserted] = stageSampler.insert({uint32_t(stage), int32_t(samplerPool)});
        if (!inserted && it->second != int32_t(samplerPool)) {
            Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
            return E_FAIL;
        }
        ArgumentPool& pool = pools[samplerPool];
        const std::string wanted = "s" + std::to_string(stage);
        if (!pool.binding.empty() && pool.binding != wanted && pool.binding != "S" + std::to_string(stage)) {
            Report(&inst.location, codegen_diag::kPs1SamplerStage, stage);
            return E_FAIL;
        }
        pool.binding = wanted;
        if (texturePool < 0) {
            texturePool = AddPool("t", kPoolBound | kPoolReadable | kPoolWritable, -1, 4);
            if (texturePool < 0) return E_OUTOFMEMORY;
        }
        for (uint32_t c = 0; c < inst.outputs.size(); ++c) {
            const int32_t out = inst.outputs[c];
            if (out < 0) continue;
            args[out].pool = uint32_t(texturePool);
            args[out].reg = stage;
            args[out].component = int32_t(c);
        }
        stages_ |= 1u << stage;
    }
    // Texture coordinates read by arithmetic: texcoord (ps_1_1 to ps_1_3) or
    // texcrd into the stage's register (ps_1_4).
    for (const IrInstruction& inst : instructions) {
        if (IsSampleOp(inst.code())) continue;
        for (int32_t in : inst.inputs) {
            const int32_t index = in >= 0 ? TexcoordIndex(*this, in) : -1;
            if (index < 0 || index >= TexcoordLimit()) continue;
            if (stages_ & (1u << index)) {
                Report(&inst.location, codegen_diag::kPs1SameTexcoord, Minor());
                return E_FAIL;
            }
            if (!(coordinates_ & (1u << index)))
                Report(&inst.location, codegen_diag::kPs1TexcoordClamped, Minor());
            coordinates_ |= 1u << index;
            if (!IsPs14() && args[in].component == 3) {
                Report(&inst.location, codegen_diag::kPs1TexcoordW, Minor());
                return E_FAIL;
            }
        }
    }
    physicalRegisters[kPoolTemps] = TempLimit();
    return IntermediateProgram::VectorizeProgram();
}

HRESULT Ps1CodeGenerator::ResolveSemantics() {
    HRESULT hr = Ps2CodeGenerator::ResolveSemantics();
    if (FAILED(hr)) return hr;
    // ps_1_4 arithmetic reads texture coordinates from the register texcrd
    // copied them into.
    if (IsPs14())
        for (auto& [key, io] : ioRegisters_)
            if (io.valid && io.type == REG_TEXTURE) io.type = REG_TEMP;
    return S_OK;
}

void Ps1CodeGenerator::AddTargetLiterals() {
    bool warned = false;
    for (auto& values : literalValues_)
        for (double& v : values)
            if (v < -1.0 || v > 1.0) {
                if (!warned) Report(nullptr, codegen_diag::kPs1LiteralClamped);
                warned = true;
                v = std::clamp(v, -1.0, 1.0);
            }
    for (IrArgument& a : args)
        if (PoolClass(a.pool) == ArgClass::Literal) a.literal = std::clamp(a.literal, -1.0, 1.0);
    // The models replicate only some components: a literal operand that
    // would need another swizzle gets a register of its own with the values
    // where the instruction reads them.
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    for (size_t i = 0; i < instructions.size(); ++i) {
        const uint32_t code = instructions[i].code(), n = instructions[i].count();
        int operands = OperandCount(code);
        if (code == kOpMad || code == kOpMadNegated) operands = 3;
        const bool dot = code == kOpDot;
        if (dot) operands = 2;
        if (instructions[i].outputs.empty()) continue;
        for (int k = 0; k < operands && n <= 4; ++k) {
            std::vector<int32_t> list(instructions[i].inputs.begin() + std::ptrdiff_t(k * n),
                                      instructions[i].inputs.begin() + std::ptrdiff_t((k + 1) * n));
            bool literal = true;
            for (int32_t arg : list) literal &= ClassOf(arg) == ArgClass::Literal;
            if (!literal) continue;
            std::vector<uint32_t> positions(n);
            for (uint32_t c = 0; c < n; ++c)
                positions[c] = dot ? kPositions[c] : RegisterOf(instructions[i].outputs[std::min<size_t>(c, instructions[i].outputs.size() - 1)]).component;
            MOperand operand = SourceOf(list.data(), n, positions.data());
            if (AcceptSwizzle(&operand)) continue;
            std::array<double, 4> values;
            values.fill(args[list[0]].literal);
            for (uint32_t c = 0; c < n; ++c) values[positions[c]] = args[list[c]].literal;
            const int32_t reg = int32_t(literalValues_.size());
            literalValues_.push_back(values);
            literalUsed_.push_back(kMaskAll);
            for (uint32_t c = 0; c < n; ++c) {
                const double value = args[list[c]].literal;
                const uint32_t valueFlags = args[list[c]].flags;
                const int arg = AddArgument(kPoolLiterals, reg, int32_t(positions[c]), value);
                if (arg < 0) return;
                args[arg].flags = valueFlags;
                instructions[i].inputs[k * n + c] = arg;
            }
        }
    }
}

void Ps1CodeGenerator::ApplyPatterns() {
    FoldNegation();
    FuseMultiplyAdd();
}

HRESULT Ps1CodeGenerator::EmitDeclarations() {
    // The texture stages, in stage order, ahead of the arithmetic.
    for (uint32_t stage = 0; stage < 8; ++stage) {
        MInst m;
        if (stages_ & (1u << stage)) {
            m.opcode = OP_TEX;
            if (IsPs14()) {
                m.dest = TempOperand(stage);
                MOperand coordinate;
                coordinate.type = REG_TEXTURE;
                coordinate.number = stage;
                m.src.push_back(coordinate);
            } else {
                m.dest.type = REG_TEXTURE;
                m.dest.number = stage;
            }
        } else if (coordinates_ & (1u << stage)) {
            m.opcode = OP_TEXCOORD;
            if (IsPs14()) {
                m.dest = TempOperand(stage, kMaskX | kMaskY | kMaskZ);
                MOperand coordinate;
                coordinate.type = REG_TEXTURE;
                coordinate.number = stage;
                m.src.push_back(coordinate);
            } else {
                m.dest.type = REG_TEXTURE;
                m.dest.number = stage;
            }
        } else {
            continue;
        }
        HRESULT hr = Encode(m, nullptr);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Ps1CodeGenerator::LowerInstruction(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    const uint32_t code = inst.code();
    if (IsSampleOp(code)) return S_OK;  // written with the texture stages
    switch (code) {
        case kOpEmpty:
        case kOpMove:
        case kOpNegate:
        case kOpAdd:
        case kOpMul:
        case kOpMad:
        case kOpMadNegated:
            return Ps2CodeGenerator::LowerInstruction(index, out);
        case kOpSelect:
            if (Minor() >= 2) return EmitComponentWise(index, OP_CMP, out);
            break;
        case kOpDot:
            if (inst.count() == 3 || (inst.count() == 4 && Minor() >= 2)) return EmitDot(index, out);
            break;
        default: break;
    }
    Report(LocationOf(index), codegen_diag::kPs1NotSupported, OpName(code), "", Minor());
    return E_NOTIMPL;
}

bool Ps1CodeGenerator::AcceptSwizzle(MOperand* o) const {
    static constexpr uint32_t kAllowed[] = {kSwizzleIdentity, kSwizzleWWWW, kSwizzleXXXX, kSwizzleYYYY, kSwizzleZZZZ};
    const size_t count = IsPs14() ? 5 : 2;
    for (size_t k = 0; k < count; ++k) {
        bool match = true;
        for (int i = 0; i < 4 && match; ++i)
            if (o->readMask & (1u << i)) match = SwizzleComponent(kAllowed[k], i) == o->swizzle[i];
        if (!match) continue;
        for (int i = 0; i < 4; ++i) o->swizzle[i] = uint8_t(SwizzleComponent(kAllowed[k], i));
        return true;
    }
    return false;
}

HRESULT Ps1CodeGenerator::Legalize(size_t index, std::vector<MInst>* insts) {
    for (const MInst& m : *insts)
        for (const MOperand& s : m.src)
            if (s.relative) {
                Report(LocationOf(index), codegen_diag::kPs1RelativeAddressing);
                return E_FAIL;
            }
    HRESULT hr = EnforceReadPorts(index, insts, 2);
    if (FAILED(hr)) return hr;
    for (MInst& m : *insts) {
        // Write masks: .rgb, .a or .rgba only; the widened components must
        // hold nothing that is still needed.
        if (m.hasDest) {
            uint32_t mask = m.dest.mask;
            if (mask != kMaskW && mask != kMaskAll && mask != (kMaskX | kMaskY | kMaskZ))
                mask = (mask & kMaskW) ? kMaskAll : (kMaskX | kMaskY | kMaskZ);
            const uint32_t extra = mask & ~m.dest.mask;
            if (extra) {
                for (const IrArgument& a : args) {
                    if (PoolClass(a.pool) != ArgClass::Temp || a.reg < 0 || a.firstWriter < 0) continue;
                    const RegRef r = RegisterOf(int32_t(&a - args.data()));
                    if (r.type != m.dest.type || r.number != m.dest.number || !(extra & (1u << r.component))) continue;
                    if (a.firstWriter < int32_t(index) && a.lastReader > int32_t(index)) {
                        Report(LocationOf(index), codegen_diag::kPs1WriteMasks, Minor());
                        return E_FAIL;
                    }
                }
                for (MOperand& s : m.src) {
                    s.readMask |= extra;
                    s.FillSwizzle();
                }
                m.dest.mask = mask;
            }
        }
        for (MOperand& s : m.src) {
            if (AcceptSwizzle(&s)) continue;
            if (IsPs14()) Report(LocationOf(index), codegen_diag::kPs1Swizzle);
            else Report(LocationOf(index), codegen_diag::kCannotMapPixel);
            return E_FAIL;
        }
    }
    return S_OK;
}

}  // namespace codegen
