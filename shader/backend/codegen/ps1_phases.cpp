// ps_1_4 dependent reads run in two phases:
//   phase 1: texld rN, tN and texcrd rN, tN for every stage read in place,
//            then the arithmetic that computes the coordinates of the
//            dependent lookups (no colour inputs there: they arrive in
//            phase 2);
//   phase  : the marker;
//   phase 2: texld rK, rC for every dependent lookup (C holds its
//            coordinates in x, y, z order), then the rest of the arithmetic.
// A lookup whose coordinates come from a phase-2 lookup would need a third
// phase and is reported.
#include <algorithm>
#include <cstdlib>

#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/codegen/ps1_code_generator.h"
#include "shader/backend/ir_passes.h"

namespace codegen {

using namespace gfx::isa;

namespace {

// Every instruction that writes each argument.
std::vector<std::vector<int32_t>> WritersOf(const IntermediateProgram& p) {
    std::vector<std::vector<int32_t>> writers(p.args.size());
    for (size_t i = 0; i < p.instructions.size(); ++i)
        for (int32_t out : p.instructions[i].outputs)
            if (out >= 0) writers[size_t(out)].push_back(int32_t(i));
    return writers;
}

}  // namespace

HRESULT Ps1CodeGenerator::CheckSecondPhaseLookup(size_t index) {
    // Walks the producers of the coordinates: a dependent lookup among them
    // needs a third phase, a colour input cannot be read in phase 1.
    const std::vector<std::vector<int32_t>> writers = WritersOf(*this);
    std::vector<uint8_t> seen(instructions.size(), 0);
    std::vector<int32_t> work;
    const IrInstruction& lookup = instructions[index];
    const uint32_t n = lookup.count();
    auto visit = [&](int32_t arg) -> HRESULT {
        for (; arg >= 0; arg = args[arg].relative) {
            if (ClassOf(arg) == ArgClass::Input && Ps1TexcoordIndex(*this, arg) < 0) {
                Report(&lookup.location, codegen_diag::kPs1DependentOnColor);
                return E_FAIL;
            }
            for (int32_t w : writers[size_t(arg)])
                if (!seen[size_t(w)]) {
                    seen[size_t(w)] = 1;
                    work.push_back(w);
                }
        }
        return S_OK;
    };
    for (uint32_t c = n; c < lookup.inputs.size(); ++c) {
        HRESULT hr = visit(lookup.inputs[c]);
        if (FAILED(hr)) return hr;
    }
    while (!work.empty()) {
        const IrInstruction& inst = instructions[size_t(work.back())];
        work.pop_back();
        if (IsSampleOp(inst.code())) {
            int32_t stage;
            if (!Ps1DirectLookup(*this, inst, &stage)) {
                Report(&lookup.location, codegen_diag::kPs1DoubleDependent);
                return E_FAIL;
            }
            continue;
        }
        for (int32_t in : inst.inputs) {
            HRESULT hr = visit(in);
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

void Ps1CodeGenerator::SeparatePhases() {
    // Phase 1 holds what the second-phase lookups' coordinates need; the
    // lookups follow, then everything else, each part in its present order.
    const std::vector<std::vector<int32_t>> writers = WritersOf(*this);
    std::vector<uint8_t> first(instructions.size(), 0), lookups(instructions.size(), 0);
    std::vector<int32_t> work;
    for (size_t i = 0; i < instructions.size(); ++i) {
        if (!IsSecondPhaseLookup(instructions[i])) continue;
        lookups[i] = 1;
        work.push_back(int32_t(i));
    }
    while (!work.empty()) {
        const IrInstruction& inst = instructions[size_t(work.back())];
        work.pop_back();
        for (int32_t in : inst.inputs)
            for (int32_t arg = in; arg >= 0; arg = args[arg].relative)
                for (int32_t w : writers[size_t(arg)])
                    if (!first[size_t(w)] && !lookups[size_t(w)]) {
                        first[size_t(w)] = 1;
                        work.push_back(w);
                    }
    }
    std::vector<IrInstruction> ordered;
    ordered.reserve(instructions.size());
    for (int part = 0; part < 3; ++part)
        for (size_t i = 0; i < instructions.size(); ++i) {
            const int which = lookups[i] ? 1 : (first[i] || IsSampleOp(instructions[i].code())) ? 0 : 2;
            if (which == part) ordered.push_back(instructions[i]);
        }
    instructions = std::move(ordered);
}

bool Ps1CodeGenerator::IsSecondPhaseLookup(const IrInstruction& inst) const {
    if (!IsSampleOp(inst.code())) return false;
    for (int32_t out : inst.outputs)
        if (out >= 0 && ClassOf(out) == ArgClass::TextureResult && args[out].reg >= 0 && args[out].reg < 32)
            return (secondPhase_ & (1u << args[out].reg)) != 0;
    return false;
}

HRESULT Ps1CodeGenerator::VectorizeForModel() {
    // The shared vectorising and packing, with the phases separated after
    // the reordering and before the registers are packed, and the
    // temporaries packed into what the stages leave free.
    for (IrArgument& a : args) {
        if (pools[a.pool].flags & kPoolBound) continue;
        a.reg = -1;
        a.component = -1;
    }
    CompactProgram(*this);
    const bool optimize = !Skip(kCompileSkipOptimization);
    if (optimize) {
        if (gatherVectors) GatherVectorInstructions(*this);
        CombineInstructions(*this);
    }
    HRESULT hr = AssignComponents(*this);
    if (FAILED(hr)) return hr;
    if (optimize) CombineInstructions(*this);
    hr = GatherLiteralRegisters(*this);
    if (FAILED(hr)) return hr;
    if (optimize) ReorderInstructions(*this);
    if (secondPhase_) SeparatePhases();
    vectorized = true;
    CompactProgram(*this);
    for (uint32_t pool = 0; pool < pools.size(); ++pool) {
        const uint32_t f = pools[pool].flags;
        if (f & (kPoolBound | kPoolLiteral) || pool == kPoolDiscard) continue;
        int32_t registers = pool < physicalRegisters.size() ? physicalRegisters[pool] : -1;
        if (registers < 0) {
            registers = 0;
            for (const IrArgument& a : args)
                if (a.pool == pool) registers = std::max(registers, a.reg + 1);
        }
        if (registers == 0) continue;
        hr = pool == kPoolTemps ? PackTemporaries(registers) : PackRegisters(*this, pool, registers);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Ps1CodeGenerator::PackTemporaries(int registers) {
    return OnCopy([&](IntermediateProgram& copy) { return PackRegisters(copy, kPoolTemps, registers); });
}

HRESULT Ps1CodeGenerator::OnCopy(const std::function<HRESULT(IntermediateProgram&)>& step) {
    // The step runs on a copy first, so that running out of the model's few
    // temporaries is reported as such, at the instruction where it happened;
    // any other failure is repeated on the program itself for its messages.
    IntermediateProgram trial = *this;
    ErrorLog quiet;
    trial.log = &quiet;
    HRESULT hr = step(trial);
    if (SUCCEEDED(hr) && !trial.errorFlag) {
        ErrorLog* own = log;
        static_cast<IntermediateProgram&>(*this) = std::move(trial);
        log = own;
        return hr;
    }
    const std::string text = quiet.Messages().empty() ? std::string() : quiet.Messages().front();
    if (text.find("X4004") == std::string::npos) return step(*this);
    // The message names the line of the instruction that found no register.
    const SourceLocation* where = nullptr;
    const size_t close = text.find("): ");
    const size_t open = close == std::string::npos ? close : text.rfind('(', close);
    const uint32_t line = open == std::string::npos ? 0 : uint32_t(std::strtoul(text.c_str() + open + 1, nullptr, 10));
    for (const IrInstruction& inst : instructions)
        if (inst.location.line == line) {
            where = &inst.location;
            break;
        }
    Report(where, codegen_diag::kPs1OutOfTemps);
    return E_FAIL;
}

MOperand Ps1CodeGenerator::SecondPhaseCoordinate(const IrInstruction& inst, bool* plain) const {
    const uint32_t n = inst.count();
    const bool oneD = n == 2 && inst.inputs[n] == inst.inputs[n + 1];
    const uint32_t used = oneD ? 1 : std::min<uint32_t>(n, 3);
    static constexpr uint32_t kPositions[3] = {0, 1, 2};
    MOperand coordinate = SourceOf(&inst.inputs[n], used, kPositions);
    *plain = (coordinate.type == REG_TEMP || coordinate.type == REG_TEXTURE) && !coordinate.relative &&
             coordinate.modifier == SRCMOD_NONE;
    for (uint32_t c = 0; c < used; ++c) *plain = *plain && coordinate.swizzle[c] == c;
    coordinate.readMask = (1u << used) - 1;
    return coordinate;
}

HRESULT Ps1CodeGenerator::EmitSecondPhase(size_t index, std::vector<MInst>* out) {
    // Written once, at the first second-phase lookup: the instructions that
    // put coordinates where texld reads them (x, y, z in order; still phase
    // 1), the marker, then every second-phase lookup.
    if (phaseWritten_) return S_OK;
    phaseWritten_ = true;
    std::vector<MInst> lookups;
    for (size_t i = index; i < instructions.size() && IsSecondPhaseLookup(instructions[i]); ++i) {
        const IrInstruction& inst = instructions[i];
        bool plain = false;
        MOperand coordinate = SecondPhaseCoordinate(inst, &plain);
        if (!plain) {
            // Gathered one component at a time: mul by the first position's
            // selector, then mad for the others, every write full-width.
            uint32_t t;
            HRESULT hr = Scratch(index, &t);
            if (FAILED(hr)) return hr;
            bool first = true;
            for (int c = 0; c < 3; ++c) {
                if (!(coordinate.readMask & (1u << c))) continue;
                if (selectorRegister_[size_t(c)] < 0) {
                    Report(&inst.location, codegen_diag::kPs1DependentRead, Minor());
                    return E_FAIL;
                }
                MOperand from = coordinate;
                from.Replicate(coordinate.swizzle[c]);
                MOperand selector;
                selector.type = REG_CONST;
                selector.number = uint32_t(literalBase_[size_t(selectorRegister_[size_t(c)])]);
                MInst m;
                m.opcode = first ? OP_MUL : OP_MAD;
                m.dest = Temp(t);
                m.src = {from, selector};
                if (!first) m.src.push_back(Temp(t));
                first = false;
                out->push_back(m);
            }
            coordinate = Temp(t);
        }
        for (int c = 0; c < 4; ++c) coordinate.swizzle[c] = uint8_t(c);
        coordinate.readMask = kMaskAll;
        MInst texld;
        texld.opcode = OP_TEX;
        for (int32_t o : inst.outputs)
            if (o >= 0) texld.dest = TempOperand(uint32_t(args[o].reg));
        texld.src.push_back(coordinate);
        lookups.push_back(texld);
    }
    MInst marker;
    marker.opcode = OP_PHASE;
    marker.hasDest = false;
    out->push_back(marker);
    out->insert(out->end(), lookups.begin(), lookups.end());
    return S_OK;
}

}  // namespace codegen
