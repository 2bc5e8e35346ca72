#include "shader/backend/codegen/vs_code_generator.h"

#include <algorithm>
#include <set>

#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/codegen/semantic_tables.h"
#include "shader/frontend/lowering/lowering.h"

namespace codegen {

using namespace gfx::isa;

void VsCodeGenerator::SetLimits() {
    limits.exactIntegerIndices = !IsVs2();
    physicalRegisters.assign(pools.size(), -1);
    physicalRegisters[kPoolTemps] = TempLimit();
    physicalRegisters[kPoolAddressRegs] = 1;
}

// vs_1_1 and vs_2_0 have twelve temporaries; vs_2_x, vs_3_0 and the
// software models thirty-two.
int VsCodeGenerator::TempLimit() const { return (version & 0xFFFF) > 0x0200 ? 32 : 12; }

bool VsCodeGenerator::BindOutput(IoRegister* io, const SourceLocation& where) {
    // Outputs of the same semantic share one register, as inputs do.
    const auto key = std::make_pair(io->usage, io->usageIndex);
    auto it = std::find(outputs_.begin(), outputs_.end(), key);
    if (it == outputs_.end()) {
        const RegisterInfo* o = FindRegister("o");
        Profile profile;
        const int limit = o && ProfileFromVersionToken(version, &profile) ? o->Limit(profile) : 0;
        if (outputs_.size() >= size_t(limit)) {
            Report(&where, codegen_diag::kOutputIndexExceeded);
            return false;
        }
        outputs_.push_back(key);
        it = outputs_.end() - 1;
    }
    io->type = REG_OUTPUT;
    io->number = uint32_t(it - outputs_.begin());
    return true;
}

HRESULT VsCodeGenerator::ResolveSemantics() {
    std::set<const void*> reported;
    for (const IrArgument& a : args) {
        const ArgClass cls = PoolClass(a.pool);
        if ((cls != ArgClass::Input && cls != ArgClass::Output) || a.reg < 0) continue;
        if (a.firstUse < 0 || ioRegisters_.count({a.pool, a.reg})) continue;
        const bool input = cls == ArgClass::Input;
        const char* text = hlsl::SemanticOf(a.semanticNode);
        const SourceLocation where = hlsl::SemanticLocation(a.semanticNode);
        IoRegister io;
        ioRegisters_[{a.pool, a.reg}] = io;
        if (!text) {
            Report(nullptr, input ? codegen_diag::kInputMissingSemantic : codegen_diag::kOutputMissingSemantic);
            continue;
        }
        const SemanticName s = SplitSemantic(text);
        const int32_t index = s.index + a.reg;
        int32_t usage = UsageOfName(s.lower.c_str());
        bool valid = usage >= 0 && index <= 15;
        bool deprecated = false;
        uint32_t usageIndex = uint32_t(index);
        if (s.lower == "diffuse") {
            usage = 10;
            valid = index == 0;
            deprecated = true;
        } else if (s.lower == "specular") {
            usage = 10;
            valid = !s.hasNumber;
            usageIndex = uint32_t(1 + a.reg);
            deprecated = true;
        }
        if (input) {
            if (usage == 9 && (index < 1 || index > 15)) valid = false;
            if (usage == 8) valid = false;
        } else if (DeclaresOutputs()) {
            // Every output usage but the pre-transformed position and the
            // input-only ones; fog and point size are single components.
            valid &= usage != USAGE_TESSFACTOR && usage != USAGE_POSITIONT && usage != USAGE_DEPTH &&
                     usage != USAGE_SAMPLE;
            io.scalar = usage == USAGE_FOG || usage == USAGE_PSIZE;
        } else {
            switch (usage) {
                case 0: io.type = REG_RASTOUT; io.number = kRastoutPosition; valid &= index == 0; break;
                case 4: io.type = REG_RASTOUT; io.number = kRastoutPointSize; io.scalar = true; valid &= index == 0; break;
                case 11: io.type = REG_RASTOUT; io.number = kRastoutFog; io.scalar = true; valid &= index == 0; break;
                case 10: io.type = REG_ATTROUT; io.number = usageIndex; valid &= usageIndex <= 1; break;
                case 5: io.type = REG_TEXCRDOUT; io.number = usageIndex; valid &= usageIndex <= 7; break;
                default: valid = false; break;
            }
        }
        if (!valid) {
            if (reported.insert(a.semanticNode).second)
                Report(&where, input ? codegen_diag::kInvalidInputSemantic : codegen_diag::kInvalidOutputSemantic,
                       s.letters.c_str(), int(index));
            continue;
        }
        if (deprecated && reported.insert(a.semanticNode).second)
            Report(&where, input ? codegen_diag::kInputDeprecated : codegen_diag::kOutputDeprecated, text, "COLOR",
                   int(usageIndex));
        io.usage = uint32_t(usage);
        io.usageIndex = usageIndex;
        if (input) {
            // Inputs of the same semantic share one register.
            const auto key = std::make_pair(io.usage, io.usageIndex);
            auto it = std::find(inputs_.begin(), inputs_.end(), key);
            if (it == inputs_.end()) {
                if (inputs_.size() >= 16) {
                    Report(&where, codegen_diag::kInputIndexExceeded);
                    return E_FAIL;
                }
                inputs_.push_back(key);
                it = inputs_.end() - 1;
            }
            io.type = REG_INPUT;
            io.number = uint32_t(it - inputs_.begin());
        } else if (DeclaresOutputs() && !BindOutput(&io, where)) {
            return E_FAIL;
        }
        io.valid = true;
        ioRegisters_[{a.pool, a.reg}] = io;
    }
    if (errorFlag) return E_FAIL;
    return CheckSamplerDimensions();
}

HRESULT VsCodeGenerator::CheckOutputs() {
    // Written components per output register, and which piece wrote them.
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> written;
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, std::pair<uint32_t, int32_t>> owner;
    bool overlap = false, psize = false, fog = false;
    for (const IrInstruction& inst : instructions) {
        for (int32_t out : inst.outputs) {
            if (out < 0 || ClassOf(out) != ArgClass::Output) continue;
            const IrArgument& a = args[out];
            const RegRef r = RegisterOf(out);
            if (!r.valid) continue;
            written[{r.type, r.number}] |= 1u << r.component;
            const auto key = std::make_tuple(r.type, r.number, r.component);
            const auto piece = std::make_pair(a.pool, a.reg);
            auto it = owner.find(key);
            if (it != owner.end() && it->second != piece && !overlap) {
                Report(&inst.location, codegen_diag::kOverlappingOutputs);
                overlap = true;
            }
            owner[key] = piece;
            const uint32_t usage = ioRegisters_[piece].usage;
            if (usage == USAGE_PSIZE && r.component != 0 && !psize) {
                Report(&inst.location, codegen_diag::kPsizeScalar);
                psize = true;
            }
            if (usage == USAGE_FOG && r.component != 0 && !fog) {
                Report(&inst.location, codegen_diag::kFogScalar);
                fog = true;
            }
        }
    }
    std::pair<uint32_t, uint32_t> position{REG_RASTOUT, kRastoutPosition};
    if (DeclaresOutputs()) {
        // The o register that holds POSITION0; without one, a number no
        // output has, so the position counts as unwritten.
        auto it = std::find(outputs_.begin(), outputs_.end(), std::make_pair(uint32_t(USAGE_POSITION), 0u));
        position = {REG_OUTPUT, uint32_t(it == outputs_.end() ? outputs_.size() : it - outputs_.begin())};
        outputMasks_.assign(outputs_.size(), 0);
        for (size_t n = 0; n < outputs_.size(); ++n) outputMasks_[n] = written[{REG_OUTPUT, uint32_t(n)}];
    }
    if (written[position] != kMaskAll) {
        const SourceLocation where = OutputLocation(position.first, position.second);
        Report(&where, codegen_diag::kPositionIncomplete);
    }
    return errorFlag ? E_FAIL : S_OK;
}

HRESULT VsCodeGenerator::EmitDeclarations() {
    for (size_t v = 0; v < inputs_.size(); ++v) {
        if (v >= 16) {
            Report(nullptr, codegen_diag::kInputsExceeded);
            return E_FAIL;
        }
        HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DCL));
        if (SUCCEEDED(hr)) hr = stream_.Append(MakeDclUsage(inputs_[v].first, inputs_[v].second));
        if (SUCCEEDED(hr)) hr = stream_.Append(MakeDest(REG_INPUT, uint32_t(v)));
        if (FAILED(hr)) return hr;
        stream_.EndInstruction();
        if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    }
    // vs_3_0: every o register is declared with its usage and the
    // components the program writes (fog and point size in x alone).
    for (size_t o = 0; o < outputs_.size() && o < outputMasks_.size(); ++o) {
        const uint32_t usage = outputs_[o].first;
        const uint32_t mask = usage == USAGE_FOG || usage == USAGE_PSIZE ? 1u : outputMasks_[o];
        if (!mask) continue;
        HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DCL));
        if (SUCCEEDED(hr)) hr = stream_.Append(MakeDclUsage(usage, outputs_[o].second));
        if (SUCCEEDED(hr)) hr = stream_.Append(MakeDest(REG_OUTPUT, uint32_t(o), mask));
        if (FAILED(hr)) return hr;
        stream_.EndInstruction();
        if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    }
    return EmitSamplerDeclarations();
}

HRESULT VsCodeGenerator::EmitFraction11(size_t index, std::vector<MInst>* out) {
    // frc writes x and y together; expp leaves the fractional part of its
    // source in y. Any other component goes through the y of a scratch
    // register.
    const IrInstruction& inst = instructions[index];
    for (std::vector<uint32_t> group : DestinationGroups(inst)) {
        std::vector<int32_t> outs, ins;
        std::vector<uint32_t> positions, rest;
        for (uint32_t c : group) {
            const uint32_t d = RegisterOf(inst.outputs[c]).component;
            if (d <= 1) {
                outs.push_back(inst.outputs[c]);
                ins.push_back(inst.inputs[c]);
                positions.push_back(d);
            } else {
                rest.push_back(c);
            }
        }
        const MOperand dest = DestOf(outs.data(), outs.size());
        // The rest must not read x or y of the register frc writes.
        bool clear = dest.type == REG_TEMP && outs.size() == 2;
        for (uint32_t c : rest) {
            const RegRef s = RegisterOf(inst.inputs[c]);
            clear = clear && !(s.type == dest.type && s.number == dest.number && s.component <= 1);
        }
        if (clear) {
            out->push_back(MInst{OP_FRC, true, dest, {SourceOf(ins.data(), ins.size(), positions.data())}});
            group = rest;
        }
        HRESULT hr = EmitPartialScalar11(index, group, OP_EXPP, 1, out);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT VsCodeGenerator::EmitPartialScalar11(size_t index, const std::vector<uint32_t>& group, uint32_t opcode,
                                             uint32_t resultComponent, std::vector<MInst>* out) {
    // The vs_1_1 forms of expp and logp leave the wanted result in one
    // component only: a destination component there is written directly,
    // the others are computed into that component of a scratch register and
    // moved. expp's x is 2 to the power floor(x): exact for integer inputs.
    // When the sources share the destination register, they are copied
    // first, so no component reads what an earlier one wrote.
    const IrInstruction& inst = instructions[index];
    if (group.empty()) return S_OK;
    const RegRef d0 = RegisterOf(inst.outputs[group[0]]);
    bool shared = false;
    for (uint32_t c : group) {
        const RegRef s = RegisterOf(inst.inputs[c]);
        shared |= group.size() > 1 && s.type == d0.type && s.number == d0.number;
    }
    uint32_t copy = 0;
    if (shared) {
        HRESULT hr = Scratch(index, &copy);
        if (FAILED(hr)) return hr;
        const int32_t first = inst.inputs[group[0]];
        const uint32_t position = 0;
        MOperand whole = SourceOf(&first, 1, &position);
        for (int k = 0; k < 4; ++k) whole.swizzle[k] = uint8_t(k);
        out->push_back(MInst{OP_MOV, true, Temp(copy), {whole}});
    }
    // Components that read the same source component share one result.
    std::vector<std::vector<uint32_t>> runs;
    for (uint32_t c : group) {
        const RegRef s = RegisterOf(inst.inputs[c]);
        auto same = [&](const std::vector<uint32_t>& run) {
            const int32_t other = inst.inputs[run[0]];
            const RegRef r = RegisterOf(other);
            return r.type == s.type && r.number == s.number && r.component == s.component &&
                   args[other].relative == args[inst.inputs[c]].relative &&
                   (args[other].flags & kValueSourceModifierMask) == (args[inst.inputs[c]].flags & kValueSourceModifierMask);
        };
        auto it = std::find_if(runs.begin(), runs.end(), same);
        if (it == runs.end()) runs.push_back({c});
        else it->push_back(c);
    }
    for (const std::vector<uint32_t>& run : runs) {
        const int32_t i = inst.inputs[run[0]];
        std::vector<int32_t> outs;
        for (uint32_t c : run) outs.push_back(inst.outputs[c]);
        const RegRef d = RegisterOf(outs[0]);
        const MOperand dest = DestOf(outs.data(), outs.size());
        const uint32_t position = d.component;
        MOperand src = SourceOf(&i, 1, &position);
        src.Replicate(RegisterOf(i).component);
        if (shared) {
            MOperand from = Temp(copy);
            from.Replicate(RegisterOf(i).component);
            from.modifier = src.modifier;
            src = from;
        }
        const bool exact = opcode == OP_EXPP && resultComponent == 2 && d.component == 0 &&
                           (args[i].flags & kValueInteger) != 0;
        if (run.size() == 1 && (d.component == resultComponent || exact) && d.type == REG_TEMP) {
            out->push_back(MInst{opcode, true, dest, {src}});
            continue;
        }
        uint32_t t;
        HRESULT hr = Scratch(index, &t);
        if (FAILED(hr)) return hr;
        out->push_back(MInst{opcode, true, Temp(t, 1u << resultComponent), {src}});
        MOperand r = Temp(t);
        r.Replicate(resultComponent);
        out->push_back(MInst{OP_MOV, true, dest, {r}});
        ReleaseScratch(t);
    }
    return S_OK;
}

HRESULT VsCodeGenerator::EmitExpLog(size_t index, bool exponent, std::vector<MInst>* out) {
    // Partial precision when every result carries the lowest class.
    const IrInstruction& inst = instructions[index];
    bool partial = !inst.outputs.empty();
    for (int32_t o : inst.outputs) {
        const uint32_t p = o >= 0 ? args[o].flags & kValuePrecisionMask : 0;
        partial = partial && p && (p & (~p + 1)) == kValuePrecisionLow;
    }
    const uint32_t full = exponent ? OP_EXP : OP_LOG;
    if (!partial) return EmitScalarRuns(index, full, out);
    const uint32_t opcode = exponent ? OP_EXPP : OP_LOGP;
    if (IsVs2()) return EmitScalarRuns(index, opcode, out);
    for (const std::vector<uint32_t>& group : DestinationGroups(inst)) {
        HRESULT hr = EmitPartialScalar11(index, group, opcode, 2, out);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT VsCodeGenerator::LowerInstruction(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    switch (inst.code()) {
        case kOpEmpty: return S_OK;
        case kOpMove: {
            HRESULT hr = EmitComponentWise(index, OP_MOV, out);
            if (FAILED(hr)) return hr;
            for (size_t k = 0; k < out->size();) {
                MInst& m = (*out)[k];
                if (m.dest.type == REG_ADDR) m.opcode = IsVs2() ? uint32_t(OP_MOVA) : uint32_t(OP_MOV);
                // Only a plain copy onto itself does nothing: a negated read
                // of the same register changes it.
                bool same = m.src[0].type == m.dest.type && m.src[0].number == m.dest.number && !m.src[0].relative &&
                            m.src[0].modifier == SRCMOD_NONE;
                for (int c = 0; c < 4 && same; ++c)
                    if (m.dest.mask & (1u << c)) same = m.src[0].swizzle[c] == c;
                if (same && !Skip(kCompileSkipOptimization)) out->erase(out->begin() + std::ptrdiff_t(k));
                else ++k;
            }
            return S_OK;
        }
        case kOpNegate: {
            HRESULT hr = EmitComponentWise(index, OP_MOV, out);
            for (MInst& m : *out) m.src[0].modifier = SRCMOD_NEG;
            return hr;
        }
        case kOpReciprocal: return EmitScalarRuns(index, OP_RCP, out);
        case kOpFraction: return IsVs2() ? EmitComponentWise(index, OP_FRC, out) : EmitFraction11(index, out);
        case kOpExp2: return EmitExpLog(index, true, out);
        case kOpLog2: return EmitExpLog(index, false, out);
        case kOpSqrt: return EmitSqrt(index, out);
        case kOpMin: return EmitComponentWise(index, OP_MIN, out);
        case kOpMax: return EmitComponentWise(index, OP_MAX, out);
        case kOpSetLess: return EmitComponentWise(index, OP_SLT, out);
        case kOpSetGreaterEqual: return EmitComponentWise(index, OP_SGE, out);
        case kOpAdd: return EmitComponentWise(index, OP_ADD, out);
        case kOpMul: return EmitComponentWise(index, OP_MUL, out);
        case kOpDot: return EmitDot(index, out);
        case kOpLit: {
            std::vector<int32_t> outs;
            for (int32_t o : inst.outputs)
                if (o >= 0) outs.push_back(o);
            static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
            const size_t n = std::min<size_t>(inst.inputs.size(), 4);
            out->push_back(MInst{OP_LIT, true, DestOf(outs.data(), outs.size()), {SourceOf(inst.inputs.data(), n, kPositions)}});
            return S_OK;
        }
        case kOpAbs:
            if (IsVs2()) return EmitComponentWise(index, OP_ABS, out, 1);
            break;
        case kOpRsq:
        case kOpRsqNegated: return EmitReciprocalSquareRoot(index, out);
        case kOpNormalize:
            if (IsVs2()) return EmitNormalize(index, out);
            break;
        case kOpLerp:
            if (IsVs2()) return EmitLerp(index, out);
            break;
        case kOpDistance: return EmitDistance(index, out);
        case kOpSetPredicate: return EmitSetPredicate(index, out);
        case kOpPredicatedMerge: return EmitPredicatedMerge(inst, out);
        case kOpMad:
        case kOpMadNegated: {
            HRESULT hr = EmitComponentWise(index, OP_MAD, out, 3);
            if (inst.code() == kOpMadNegated)
                for (MInst& m : *out) m.src[1].modifier = SRCMOD_NEG;
            return hr;
        }
        default:
            // vs_3_0 lookups at a given level (the lowering allows no other).
            if (IsSampleOp(inst.code()) && DeclaresOutputs() && SampleKindOf(inst.code()) == kSampleLevel)
                return EmitSample(index, out);
            break;
    }
    Report(LocationOf(index), codegen_diag::kCannotMapVertex);
    return E_NOTIMPL;
}

HRESULT VsCodeGenerator::Legalize(size_t index, std::vector<MInst>* insts) {
    HRESULT hr = EnforceReadPorts(index, insts, IsVs2() ? 2 : 3);
    if (FAILED(hr)) return hr;
    // Across a loop boundary a0 holds whatever the other side left in it.
    if (IsFlowOp(instructions[index].code())) addressHolds_ = -1;
    // Load a0.x before each instruction that reads through a different index.
    for (size_t k = 0; k < insts->size(); ++k) {
        const MInst& m = (*insts)[k];
        int32_t wanted = -1;
        for (const MOperand& s : m.src)
            if (s.relative && ClassOf(s.relativeArg) != ArgClass::LoopRegister) {
                wanted = s.relativeArg;
                break;
            }
        if (m.hasDest && m.dest.type == REG_ADDR) addressHolds_ = -1;
        if (wanted < 0 || wanted == addressHolds_) continue;
        const MOperand src = ScalarSource(wanted);
        MOperand dest;
        dest.type = REG_ADDR;
        dest.number = 0;
        dest.mask = kMaskX;
        insts->insert(insts->begin() + std::ptrdiff_t(k),
                      MInst{IsVs2() ? uint32_t(OP_MOVA) : uint32_t(OP_MOV), true, dest, {src}});
        addressHolds_ = wanted;
        ++k;
    }
    return S_OK;
}

void VsCodeGenerator::ApplyPatterns() {
    if (Skip(kCompileSkipOptimization)) return;
    PredicateMerges();
    FuseDistanceVector();
    FuseReciprocalSquareRoot();
    FoldNegation();
    if (IsVs2()) {
        FuseAbsoluteValue();
        FuseNormalize();
    }
    RetargetDotResults();
    FuseMultiplyAdd();
    ReplicateScalarResults();
    if (IsVs2()) FuseLinearInterpolation();
}

}  // namespace codegen

namespace codegen {

namespace {

// Whether `o` is a plain read of its first `columns` components in order
// (no modifier, direct).
bool PlainRead(const MOperand& o, uint32_t columns) {
    bool inOrder = true;
    for (uint32_t i = 0; i < columns; ++i) inOrder &= o.swizzle[i] == i;
    return !o.relative && o.modifier == SRCMOD_NONE && inOrder;
}

}  // namespace

// Dot products filling consecutive components of one register from x, with
// the same vector and consecutive constant rows, become one matrix
// instruction: 3 columns with 2, 3 or 4 rows (m3x2, m3x3, m3x4), 4 columns
// with 3 or 4 rows (m4x3, m4x4).
void VsCodeGenerator::Peephole(std::vector<MInst>* insts, std::vector<size_t>* origin) {
    std::vector<MInst>& list = *insts;
    for (size_t k = 0; k < list.size(); ++k) {
        const MInst& first = list[k];
        if (first.opcode != OP_DP3 && first.opcode != OP_DP4) continue;
        const uint32_t columns = first.opcode == OP_DP4 ? 4 : 3;
        size_t rows = 0;
        while (rows < 4 && k + rows < list.size()) {
            const MInst& m = list[k + rows];
            const bool fits = m.opcode == first.opcode && m.dest.type == first.dest.type &&
                              m.dest.number == first.dest.number && m.dest.mask == (1u << rows) &&
                              m.dest.resultModifier == 0 && m.src[0].SameRegister(first.src[0]) &&
                              PlainRead(m.src[0], columns) && m.src[1].IsConstant() && PlainRead(m.src[1], columns) &&
                              m.src[1].number == first.src[1].number + rows &&
                              !(m.src[0].type == m.dest.type && m.src[0].number == m.dest.number);
            if (!fits) break;
            ++rows;
        }
        uint32_t opcode = 0;
        if (columns == 3 && rows >= 2) opcode = rows == 2 ? OP_M3x2 : rows == 3 ? OP_M3x3 : OP_M3x4;
        if (columns == 4 && rows >= 3) opcode = rows == 3 ? OP_M4x3 : OP_M4x4;
        if (!opcode) continue;
        MInst matrix = first;
        matrix.opcode = opcode;
        matrix.dest.mask = (1u << rows) - 1;
        for (MOperand& src : matrix.src)
            for (int i = 0; i < 4; ++i) src.swizzle[i] = uint8_t(i);
        list[k] = matrix;
        list.erase(list.begin() + std::ptrdiff_t(k + 1), list.begin() + std::ptrdiff_t(k + rows));
        origin->erase(origin->begin() + std::ptrdiff_t(k + 1), origin->begin() + std::ptrdiff_t(k + rows));
    }
}

}  // namespace codegen
