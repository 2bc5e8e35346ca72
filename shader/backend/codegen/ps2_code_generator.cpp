#include "shader/backend/codegen/ps2_code_generator.h"

#include <algorithm>

#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/codegen/semantic_tables.h"
#include "shader/frontend/lowering/lowering.h"

namespace codegen {

using namespace gfx::isa;

void Ps2CodeGenerator::SetLimits() {
    limits.pixelShader = true;
    physicalRegisters.assign(pools.size(), -1);
    physicalRegisters[kPoolTemps] = TempLimit();
}

HRESULT Ps2CodeGenerator::ResolveSemantics() {
    std::set<const void*> reported;
    for (const IrArgument& a : args) {
        const ArgClass cls = PoolClass(a.pool);
        if ((cls != ArgClass::Input && cls != ArgClass::Output) || a.reg < 0) continue;
        if (a.firstUse < 0) continue;
        const bool input = cls == ArgClass::Input;
        if (!ioRegisters_.count({a.pool, a.reg})) {
            IoRegister io;
            ioRegisters_[{a.pool, a.reg}] = io;
            const char* text = hlsl::SemanticOf(a.semanticNode);
            const SourceLocation where = hlsl::SemanticLocation(a.semanticNode);
            if (!text) {
                Report(nullptr, input ? codegen_diag::kInputMissingSemantic : codegen_diag::kOutputMissingSemantic);
                continue;
            }
            const SemanticName s = SplitSemantic(text);
            const int32_t index = s.index + a.reg;
            const int32_t usage = UsageOfName(s.lower.c_str());
            bool valid = false;
            const bool face = s.lower == "vface";
            if (input && DeclaresInputs() && (face || s.lower == "vpos") && index == 0) {
                // VPOS (the pixel's x and y) and VFACE (its sign says which
                // side faces the viewer) are registers of their own.
                io.type = REG_MISCTYPE;
                io.number = face ? kMiscFace : kMiscPosition;
                io.scalar = face;
            } else if (input && DeclaresInputs()) {
                // Any interpolated usage; the position reaches a pixel
                // shader only as VPOS, point size and depth never.
                bool deprecated = false;
                int32_t u = usage, n = index;
                if (s.lower == "diffuse" && index == 0) u = USAGE_COLOR, deprecated = true;
                if (s.lower == "specular" && !s.hasNumber) u = USAGE_COLOR, n = 1 + a.reg, deprecated = true;
                if (u == USAGE_POSITION || u == USAGE_POSITIONT || u == USAGE_PSIZE) {
                    if (reported.insert(a.semanticNode).second)
                        Report(&where, codegen_diag::kInvalidInputReference, s.letters.c_str(), int(index));
                    continue;
                }
                if (u < 0 || n > 15 || u == USAGE_TESSFACTOR || u == USAGE_DEPTH || u == USAGE_SAMPLE) {
                    if (reported.insert(a.semanticNode).second)
                        Report(&where, codegen_diag::kInvalidInputSemantic, s.letters.c_str(), int(index));
                    continue;
                }
                if (deprecated && reported.insert(a.semanticNode).second)
                    Report(&where, codegen_diag::kInputDeprecated, text, "COLOR", int(n));
                io.usage = uint32_t(u);
                io.usageIndex = uint32_t(n);
                if (!BindInput(&io, where)) return E_FAIL;
            } else if (input) {
                bool deprecated = false;
                int32_t colour = -1;
                if (usage == USAGE_COLOR && index < 2) colour = index;
                if (s.lower == "diffuse" && index == 0) colour = 0, deprecated = true;
                if (s.lower == "specular" && !s.hasNumber) colour = 1 + a.reg, deprecated = true;
                if (colour >= 0 && colour < 2) {
                    io.type = REG_INPUT;
                    io.number = uint32_t(colour);
                    io.usage = USAGE_COLOR;
                    io.usageIndex = uint32_t(colour);
                    valid = true;
                } else if (usage == USAGE_TEXCOORD && index < TexcoordLimit()) {
                    io.type = REG_TEXTURE;
                    io.number = uint32_t(index);
                    io.usage = USAGE_TEXCOORD;
                    io.usageIndex = uint32_t(index);
                    valid = true;
                } else if ((usage == USAGE_POSITION || usage == USAGE_FOG || usage == USAGE_PSIZE)) {
                    if (reported.insert(a.semanticNode).second)
                        Report(&where, codegen_diag::kInvalidInputReference, s.letters.c_str(), int(index));
                    continue;
                }
                if (valid && deprecated && reported.insert(a.semanticNode).second)
                    Report(&where, codegen_diag::kInputDeprecated, text, "COLOR", int(io.usageIndex));
                if (!valid) {
                    if (reported.insert(a.semanticNode).second)
                        Report(&where, codegen_diag::kInvalidInputSemantic, s.letters.c_str(), int(index));
                    continue;
                }
            } else {
                if (usage == USAGE_COLOR && index < (Ps1() ? 1 : 4)) {
                    io.type = Ps1() ? uint32_t(REG_TEMP) : uint32_t(REG_COLOROUT);
                    io.number = uint32_t(index);
                    valid = true;
                } else if (usage == USAGE_DEPTH && index == 0 && !Ps1()) {
                    io.type = REG_DEPTHOUT;
                    io.scalar = true;
                    valid = true;
                }
                io.usage = uint32_t(usage);
                io.usageIndex = uint32_t(index);
                if (!valid) {
                    if (reported.insert(a.semanticNode).second)
                        Report(&where, Ps1() && usage >= 0 ? codegen_diag::kPs1OutputNotImplemented
                                                           : codegen_diag::kInvalidOutputSemantic,
                               s.letters.c_str(), int(index));
                    continue;
                }
            }
            io.valid = true;
            ioRegisters_[{a.pool, a.reg}] = io;
        }
        const IoRegister& io = ioRegisters_[{a.pool, a.reg}];
        if (input && io.valid && io.type == REG_MISCTYPE && a.component > (io.number == kMiscFace ? 0 : 1) &&
            a.lastReader >= 0) {
            // vPos holds x and y only, vFace one value.
            if (reported.insert(a.semanticNode).second) {
                const SourceLocation where = hlsl::SemanticLocation(a.semanticNode);
                Report(&where, codegen_diag::kInvalidInputReference, io.number == kMiscFace ? "VFACE" : "VPOS",
                       a.component);
            }
            continue;
        }
        if (input && io.valid && a.lastReader >= 0) {
            uint32_t& width = inputWidth_[{io.type, io.number}];
            width = std::max<uint32_t>(width, uint32_t(std::clamp(a.component, 0, 3)) + 1);
            // A texture coordinate is declared partial precision when every
            // component the program reads carries a low or medium class.
            const uint32_t precision = a.flags & kValuePrecisionMask;
            const bool partial = precision && (precision & (~precision + 1)) != kValuePrecisionFull;
            auto [it, inserted] = partialInputs_.insert({{io.type, io.number}, partial});
            if (!inserted) it->second = it->second && partial;
        }
    }
    if (errorFlag) return E_FAIL;
    return CheckSamplerDimensions();
}

bool Ps2CodeGenerator::BindInput(IoRegister* io, const SourceLocation& where) {
    const auto key = std::make_pair(io->usage, io->usageIndex);
    auto it = std::find(inputs3_.begin(), inputs3_.end(), key);
    if (it == inputs3_.end()) {
        const RegisterInfo* v = FindRegister("v");
        Profile profile;
        const int limit = v && ProfileFromVersionToken(version, &profile) ? v->Limit(profile) : 0;
        if (inputs3_.size() >= size_t(limit)) {
            Report(&where, codegen_diag::kInputIndexExceeded);
            return false;
        }
        inputs3_.push_back(key);
        it = inputs3_.end() - 1;
    }
    io->type = REG_INPUT;
    io->number = uint32_t(it - inputs3_.begin());
    return true;
}

HRESULT Ps2CodeGenerator::CheckOutputs() {
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> written;
    bool overlap = false, depth = false;
    for (const IrInstruction& inst : instructions) {
        for (int32_t out : inst.outputs) {
            if (out < 0 || ClassOf(out) != ArgClass::Output) continue;
            const RegRef r = RegisterOf(out);
            if (!r.valid) continue;
            uint32_t& mask = written[{r.type, r.number}];
            if ((mask & (1u << r.component)) && !overlap && !Skip(kCompileSkipOptimization)) {
                Report(&inst.location, codegen_diag::kOverlappingOutputWrites);
                overlap = true;
            }
            mask |= 1u << r.component;
            if (r.type == REG_DEPTHOUT && r.component != 0 && !depth) {
                Report(&inst.location, codegen_diag::kDepthScalar);
                depth = true;
            }
        }
    }
    const uint32_t colourType = Ps1() ? uint32_t(REG_TEMP) : uint32_t(REG_COLOROUT);
    if (written[{colourType, 0}] != kMaskAll) {
        const SourceLocation where = OutputLocation(colourType, 0);
        Report(&where, codegen_diag::kColor0Incomplete);
        return E_FAIL;
    }
    int last = -1;
    for (int n = 1; n < 4; ++n) {
        auto it = written.find({colourType, uint32_t(n)});
        if (it == written.end()) continue;
        if (it->second != kMaskAll) {
            const SourceLocation where = OutputLocation(colourType, uint32_t(n));
            Report(&where, codegen_diag::kColorNotFourComponents, n);
        }
        last = n;
    }
    for (int n = 1; n < last; ++n)
        if (!written.count({colourType, uint32_t(n)})) {
            const SourceLocation where = OutputLocation(colourType, uint32_t(last));
            Report(&where, codegen_diag::kColorsNotContiguous);
            break;
        }
    return errorFlag ? E_FAIL : S_OK;
}

void Ps2CodeGenerator::AddTargetLiterals() {
    bool compares = false;
    for (const IrInstruction& inst : instructions)
        compares |= inst.code() == kOpSetLess || inst.code() == kOpSetGreaterEqual;
    if (!compares) return;
    // The 0 and 1 the comparisons choose between share a literal register
    // that already holds them, or takes free components of one.
    for (size_t r = 0; r < literalValues_.size(); ++r) {
        int zero = -1, one = -1;
        for (int pass = 0; pass < 2; ++pass)
            for (int c = 0; c < 4; ++c) {
                const bool used = (literalUsed_[r] >> c) & 1;
                if (used != (pass == 0)) continue;
                if (zero < 0 && c != one && (!used || literalValues_[r][c] == 0.0)) zero = c;
                else if (one < 0 && c != zero && (!used || literalValues_[r][c] == 1.0)) one = c;
            }
        if (zero < 0 || one < 0) continue;
        literalValues_[r][zero] = 0.0;
        literalValues_[r][one] = 1.0;
        literalUsed_[r] |= 1u << zero | 1u << one;
        compareLiteral_ = int32_t(r);
        compareZero_ = uint32_t(zero);
        compareOne_ = uint32_t(one);
        return;
    }
    compareLiteral_ = int32_t(literalValues_.size());
    compareZero_ = 0;
    compareOne_ = 1;
    literalValues_.push_back({0.0, 1.0, 0.0, 0.0});
    literalUsed_.push_back(3);
}

void Ps2CodeGenerator::ApplyPatterns() {
    if (!Skip(kCompileSkipOptimization)) {
        PredicateMerges();
        FuseReciprocalSquareRoot();
        FoldNegation();
        FoldNegationThroughRegisters();
        FuseNormalize();
        FuseMultiplyAdd();
        SelectOnComparedValues();
        FoldAbsolute();
        SelectToMinMax();
        ComparisonsIntoDifferences();
        FoldSaturate();
        FoldDot2Add();
        FuseMultiplyAddChains();
        ReplicateScalarResults();
        FuseLinearInterpolation();
        ComputeUses();
    }
    DropUnreadLiterals();
}

bool Ps2CodeGenerator::PartialPrecision(const IrInstruction& inst) const {
    bool any = false;
    for (int32_t out : inst.outputs) {
        if (out < 0) continue;
        const uint32_t p = args[out].flags & kValuePrecisionMask;
        if (!p || (p & (~p + 1)) == kValuePrecisionFull) return false;
        any = true;
    }
    return any;
}

HRESULT Ps2CodeGenerator::EmitDeclarations() {
    for (const auto& [reg, width] : inputWidth_) {
        // Colour inputs (type 1) sort before texture coordinates (type 3).
        // vFace takes no write mask: its declaration names the whole register.
        const bool face = reg.first == REG_MISCTYPE && reg.second == kMiscFace;
        const uint32_t mask = face ? kMaskAll : (1u << std::min<uint32_t>(width, 4)) - 1;
        // 3.0 inputs carry their usage; before 3.0 the register type says it.
        const bool declared = DeclaresInputs() && reg.first == REG_INPUT && reg.second < inputs3_.size();
        const DWORD usage =
            declared ? MakeDclUsage(inputs3_[reg.second].first, inputs3_[reg.second].second) : 0x80000000u;
        const bool texcoord = reg.first == REG_TEXTURE || (declared && inputs3_[reg.second].first == USAGE_TEXCOORD);
        const bool partial = texcoord && partialInputs_[reg];
        HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DCL));
        if (SUCCEEDED(hr)) hr = stream_.Append(usage);
        if (SUCCEEDED(hr))
            hr = stream_.Append(MakeDest(reg.first, reg.second, mask, partial ? kResultPartialPrecision : 0));
        if (FAILED(hr)) return hr;
        stream_.EndInstruction();
        if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    }
    return EmitSamplerDeclarations();
}

HRESULT Ps2CodeGenerator::EmitClip(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    const size_t n = std::min<size_t>(inst.inputs.size(), 4);
    if (n == 0) return S_OK;
    MOperand v = SourceOf(inst.inputs.data(), n, kPositions);
    bool plain = (v.type == REG_TEMP || v.type == REG_TEXTURE) && !v.relative && v.modifier == SRCMOD_NONE;
    for (uint32_t i = 0; i < 4 && plain; ++i) plain = v.swizzle[i] == i;
    if (!plain) {
        // texkill tests all four components: fill the unread ones with a copy.
        v.readMask = kMaskAll;
        HRESULT hr = MoveToScratch(index, &v, out, true);
        if (FAILED(hr)) return hr;
    }
    MInst m;
    m.opcode = OP_TEXKILL;
    m.dest.type = v.type;
    m.dest.number = v.number;
    m.dest.mask = kMaskAll;
    out->push_back(m);
    return S_OK;
}

HRESULT Ps2CodeGenerator::EmitMinMax(size_t index, bool max, std::vector<MInst>* out) {
    HRESULT hr = EmitComponentWise(index, max ? OP_MAX : OP_MIN, out);
    if (FAILED(hr)) return hr;
    std::vector<MInst> result;
    for (MInst& m : *out) {
        const bool aliased = (m.src[0].type == m.dest.type && m.src[0].number == m.dest.number) ||
                             (m.src[1].type == m.dest.type && m.src[1].number == m.dest.number);
        if (!aliased) {
            result.push_back(m);
            continue;
        }
        // The difference chooses between the two operands.
        uint32_t t;
        hr = Scratch(index, &t);
        if (FAILED(hr)) return hr;
        MOperand negB = m.src[1];
        negB.modifier = negB.modifier == SRCMOD_NEG ? SRCMOD_NONE : SRCMOD_NEG;
        result.push_back(MInst{OP_ADD, true, Temp(t, m.dest.mask), {m.src[0], negB}});
        MOperand d = Temp(t);
        d.readMask = m.dest.mask;
        d.FillSwizzle();
        result.push_back(MInst{OP_CMP, true, m.dest, {d, max ? m.src[0] : m.src[1], max ? m.src[1] : m.src[0]}});
    }
    *out = std::move(result);
    return S_OK;
}

HRESULT Ps2CodeGenerator::EmitCompare(size_t index, bool less, std::vector<MInst>* out) {
    HRESULT hr = EmitComponentWise(index, OP_ADD, out);
    if (FAILED(hr)) return hr;
    // A comparison with 0 compares the value itself.
    const IrInstruction& inst = instructions[index];
    bool withZero = inst.inputs.size() == 2 * size_t(inst.count());
    for (size_t c = inst.count(); c < inst.inputs.size() && withZero; ++c) withZero = IsLiteralValue(inst.inputs[c], 0.0);
    std::vector<MInst> result;
    for (MInst& m : *out) {
        MOperand d = m.src[0];
        if (!withZero) {
            uint32_t t;
            hr = Scratch(index, &t);
            if (FAILED(hr)) return hr;
            m.src[1].modifier = m.src[1].modifier == SRCMOD_NEG ? SRCMOD_NONE : SRCMOD_NEG;
            result.push_back(MInst{OP_ADD, true, Temp(t, m.dest.mask), {m.src[0], m.src[1]}});
            d = Temp(t);
            d.readMask = m.dest.mask;
            d.FillSwizzle();
        }
        MOperand zero, one;
        zero.type = one.type = REG_CONST;
        zero.number = one.number = uint32_t(literalBase_[compareLiteral_]);
        zero.Replicate(compareZero_);
        one.Replicate(compareOne_);
        result.push_back(MInst{OP_CMP, true, m.dest, {d, less ? zero : one, less ? one : zero}});
    }
    *out = std::move(result);
    return S_OK;
}

HRESULT Ps2CodeGenerator::EmitDot2Add(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    if (inst.inputs.size() != 5 || inst.outputs.size() != 1 || inst.outputs[0] < 0) {
        Report(LocationOf(index), codegen_diag::kCannotMapPixel);
        return E_NOTIMPL;
    }
    static constexpr uint32_t kPositions[2] = {0, 1};
    const uint32_t component = RegisterOf(inst.outputs[0]).component;
    MOperand addend = SourceOf(&inst.inputs[4], 1, &component);
    addend.Replicate(RegisterOf(inst.inputs[4]).component);
    out->push_back(MInst{OP_DP2ADD, true, DestOf(&inst.outputs[0], 1),
                         {SourceOf(&inst.inputs[0], 2, kPositions), SourceOf(&inst.inputs[2], 2, kPositions), addend}});
    return S_OK;
}

HRESULT Ps2CodeGenerator::LowerInstruction(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    const uint32_t code = inst.code();
    switch (code) {
        case kOpEmpty: return S_OK;
        case kOpMove: {
            HRESULT hr = EmitComponentWise(index, OP_MOV, out);
            if (FAILED(hr)) return hr;
            for (size_t k = 0; k < out->size();) {
                const MInst& m = (*out)[k];
                // Only a plain copy onto itself does nothing: a negated (or
                // otherwise modified) read of the same register changes it.
                bool same = m.src[0].type == m.dest.type && m.src[0].number == m.dest.number &&
                            m.src[0].modifier == SRCMOD_NONE;
                for (int c = 0; c < 4 && same; ++c)
                    if (m.dest.mask & (1u << c)) same = m.src[0].swizzle[c] == c;
                // A saturating move onto itself still clamps.
                for (int32_t o : inst.outputs) same &= o < 0 || !(args[o].flags & kValueSaturate);
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
        case kOpRsq:
        case kOpRsqNegated: return EmitReciprocalSquareRoot(index, out);
        case kOpNormalize: return EmitNormalize(index, out);
        case kOpLerp: return EmitLerp(index, out);
        case kOpFraction: return EmitComponentWise(index, OP_FRC, out);
        case kOpExp2: return EmitScalarRuns(index, OP_EXP, out);
        case kOpLog2: return EmitScalarRuns(index, OP_LOG, out);
        case kOpSqrt: return EmitSqrt(index, out);
        case kOpMin: return EmitMinMax(index, false, out);
        case kOpMax: return EmitMinMax(index, true, out);
        case kOpSetLess: return EmitCompare(index, true, out);
        case kOpSetGreaterEqual: return EmitCompare(index, false, out);
        case kOpAdd: return EmitComponentWise(index, OP_ADD, out);
        case kOpMul: return EmitComponentWise(index, OP_MUL, out);
        case kOpDot: return EmitDot(index, out);
        case kOpDot2Add: return EmitDot2Add(index, out);
        case kOpClip: return EmitClip(index, out);
        case kOpDerivativeX: return EmitComponentWise(index, OP_DSX, out);
        case kOpDerivativeY: return EmitComponentWise(index, OP_DSY, out);
        case kOpSelect: return EmitComponentWise(index, OP_CMP, out);
        case kOpSetPredicate: return EmitSetPredicate(index, out);
        case kOpPredicatedMerge: return EmitPredicatedMerge(instructions[index], out);
        case kOpAbs: return EmitComponentWise(index, OP_ABS, out, 1);
        case kOpMad:
        case kOpMadNegated: {
            HRESULT hr = EmitComponentWise(index, OP_MAD, out, 3);
            if (code == kOpMadNegated)
                for (MInst& m : *out) m.src[1].modifier = m.src[1].modifier == SRCMOD_NEG ? SRCMOD_NONE : SRCMOD_NEG;
            return hr;
        }
        default:
            if (IsSampleOp(code)) return EmitSample(index, out);
            break;
    }
    Report(LocationOf(index), codegen_diag::kCannotMapPixel);
    return E_NOTIMPL;
}

bool Ps2CodeGenerator::AcceptSwizzle(MOperand* o) const {
    if (ArbitrarySwizzles()) return true;
    static constexpr uint32_t kAllowed[] = {
        kSwizzleIdentity, kSwizzleXXXX, kSwizzleYYYY, kSwizzleZZZZ, kSwizzleWWWW,
        MakeSwizzle(1, 2, 0, 3), MakeSwizzle(2, 0, 1, 3), MakeSwizzle(3, 2, 1, 0),
    };
    for (uint32_t allowed : kAllowed) {
        bool match = true;
        for (int i = 0; i < 4 && match; ++i)
            if (o->readMask & (1u << i)) match = SwizzleComponent(allowed, i) == o->swizzle[i];
        if (!match) continue;
        for (int i = 0; i < 4; ++i) o->swizzle[i] = uint8_t(SwizzleComponent(allowed, i));
        return true;
    }
    return false;
}

HRESULT Ps2CodeGenerator::Legalize(size_t index, std::vector<MInst>* insts) {
    for (const MInst& m : *insts)
        for (const MOperand& s : m.src)
            if (s.relative) {
                Report(LocationOf(index), Ps1() ? codegen_diag::kPs1RelativeAddressing : codegen_diag::kNoRelativeInPixel);
                return E_FAIL;
            }
    const IrInstruction& inst = instructions[index];
    SaturateResults(index, insts);
    HRESULT hr = EnforceReadPorts(index, insts, 2);
    if (FAILED(hr)) return hr;
    const bool partial = PartialPrecision(inst);
    // A comparison's 0 or 1 is exact at any precision, but the difference it
    // tests is computed at the precision of what it compares.
    const bool comparison = inst.code() == kOpSetLess || inst.code() == kOpSetGreaterEqual;
    std::vector<MInst> result;
    for (MInst& m : *insts) {
        for (MOperand& s : m.src) {
            if (s.type == REG_SAMPLER || AcceptSwizzle(&s)) continue;
            hr = MoveToScratch(index, &s, &result, true);
            if (FAILED(hr)) return hr;
            AcceptSwizzle(&s);
        }
        // Outputs are written by moves only.
        if (m.hasDest && (m.dest.type == REG_COLOROUT || m.dest.type == REG_DEPTHOUT) && m.opcode != OP_MOV) {
            uint32_t t;
            hr = Scratch(index, &t);
            if (FAILED(hr)) return hr;
            MOperand out = m.dest;
            m.dest = Temp(t, out.mask);
            if (partial) m.dest.resultModifier |= kResultPartialPrecision;
            out.resultModifier = partial ? kResultPartialPrecision : 0;
            result.push_back(m);
            MOperand s = Temp(t);
            s.readMask = out.mask;
            s.FillSwizzle();
            AcceptSwizzle(&s);
            result.push_back(MInst{OP_MOV, true, out, {s}});
            continue;
        }
        if (partial && m.hasDest && m.opcode != OP_TEXKILL && (!comparison || m.opcode == OP_CMP))
            m.dest.resultModifier |= kResultPartialPrecision;
        result.push_back(m);
    }
    *insts = std::move(result);
    return S_OK;
}

// Outputs are written once each, by a mov.
void Ps2CodeGenerator::Peephole(std::vector<MInst>* insts, std::vector<size_t>* origin) {
    std::set<std::pair<uint32_t, uint32_t>> written;
    for (size_t k = 0; k < insts->size(); ++k) {
        const MInst& m = (*insts)[k];
        if (!m.hasDest || (m.dest.type != REG_COLOROUT && m.dest.type != REG_DEPTHOUT)) continue;
        if (m.opcode != OP_MOV) {
            Report(LocationOf((*origin)[k]), kOutputWriteNotMove);
            return;
        }
        if (!written.insert({m.dest.type, m.dest.number}).second) {
            Report(LocationOf((*origin)[k]), kMultipleOutputMoves);
            return;
        }
    }
}

}  // namespace codegen
