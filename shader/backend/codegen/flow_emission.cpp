// The flow operations as target instructions: the copies into the values a
// loop carries or a branch merges (grouped by destination and source
// register, so a vector takes one move), then the flow instruction itself.
// The copies are one parallel assignment: a source that another copy
// overwrites is read from a scratch copy made before any of them.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/codegen/codegen_messages.h"

namespace codegen {

using namespace gfx::isa;

namespace {

struct CopyGroup {
    std::vector<int32_t> from, to;
};

}  // namespace

HRESULT CodeGenerator::EmitFlowBoundary(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    const uint32_t code = inst.code();
    const size_t first = FlowOperandsBeforeCopies(code, inst.count(), inst.inputs.size());
    const size_t n = std::min(inst.outputs.size(), inst.inputs.size() - std::min(first, inst.inputs.size()));

    std::vector<CopyGroup> groups;
    for (size_t c = 0; c < n; ++c) {
        const int32_t to = inst.outputs[c], from = inst.inputs[first + c];
        if (to < 0 || from < 0) continue;
        const RegRef d = RegisterOf(to), s = RegisterOf(from);
        const uint32_t modifier = args[from].flags & kValueSourceModifierMask;
        if (d.type == s.type && d.number == s.number && d.component == s.component && args[from].relative < 0 &&
            !modifier)
            continue;  // the value stays where it is
        auto same = [&](const CopyGroup& g) {
            const RegRef gd = RegisterOf(g.to[0]), gs = RegisterOf(g.from[0]);
            return gd.type == d.type && gd.number == d.number && gs.type == s.type && gs.number == s.number &&
                   args[g.from[0]].relative == args[from].relative &&
                   (args[g.from[0]].flags & kValueSourceModifierMask) == modifier;
        };
        auto it = std::find_if(groups.begin(), groups.end(), same);
        if (it == groups.end()) it = groups.insert(groups.end(), CopyGroup{});
        it->from.push_back(from);
        it->to.push_back(to);
    }

    std::vector<MInst> copies;
    for (const CopyGroup& g : groups) {
        std::vector<uint32_t> positions;
        for (int32_t to : g.to) positions.push_back(RegisterOf(to).component);
        MInst m;
        m.opcode = OP_MOV;
        m.dest = DestOf(g.to.data(), g.to.size());
        m.src.push_back(SourceOf(g.from.data(), g.from.size(), positions.data()));
        copies.push_back(std::move(m));
    }
    for (size_t k = 0; k < copies.size(); ++k) {
        MOperand& s = copies[k].src[0];
        uint32_t read = 0;
        for (int i = 0; i < 4; ++i)
            if (s.readMask & (1u << i)) read |= 1u << s.swizzle[i];
        const bool overwritten = std::any_of(copies.begin(), copies.end(), [&](const MInst& other) {
            return &other != &copies[k] && other.dest.type == s.type && other.dest.number == s.number &&
                   (other.dest.mask & read);
        });
        if (!overwritten) continue;
        HRESULT hr = MoveToScratch(index, &s, out, false);
        if (FAILED(hr)) return hr;
    }
    for (MInst& m : copies) out->push_back(std::move(m));

    MInst boundary;
    boundary.hasDest = false;
    switch (code) {
        case kOpLoopBegin: boundary.opcode = OP_REP; break;
        case kOpLoopEnd: boundary.opcode = LoopStep(index) ? uint32_t(OP_ENDLOOP) : uint32_t(OP_ENDREP); break;
        case kOpIfBegin:
            boundary.opcode = inst.inputs.size() == 2 ? WithComparison(OP_IFC, inst.count()) : uint32_t(OP_IF);
            break;
        case kOpElse: boundary.opcode = OP_ELSE; break;
        case kOpLoopBreak:
            boundary.opcode = inst.count() ? WithComparison(OP_BREAKC, inst.count()) : uint32_t(OP_BREAK);
            break;
        default: boundary.opcode = OP_ENDIF; break;
    }
    const bool bounded = code == kOpLoopBegin && ClassOf(inst.inputs[0]) != ArgClass::Integer;
    if (bounded) {
        // "rep" as often as the model allows; the round that reaches the
        // bound breaks out at its top.
        if (!OpenCounterLoop(index, &boundary)) {
            MOperand o;
            o.type = REG_CONSTINT;
            o.number = uint32_t(std::max(boundedLoopRegister_, 0));
            boundary.src.push_back(o);
        }
        out->push_back(std::move(boundary));
        const size_t counter = inst.count() - 1;
        if (counter >= inst.outputs.size()) return E_FAIL;
        MInst stop;
        stop.opcode = WithComparison(OP_BREAKC, CMP_GE);
        stop.hasDest = false;
        for (int32_t arg : {inst.outputs[counter], inst.inputs[0]}) stop.src.push_back(ScalarSource(arg));
        out->push_back(std::move(stop));
        return S_OK;
    }
    if ((code == kOpIfBegin && inst.inputs.size() == 2) || (code == kOpLoopBreak && inst.count())) {
        // The two compared values, each replicated from its component.
        for (int32_t arg : {inst.inputs[0], inst.inputs[1]}) boundary.src.push_back(ScalarSource(arg));
    } else if (first && code != kOpLoopBreak && !(code == kOpLoopBegin && OpenCounterLoop(index, &boundary))) {
        // The loop's count or the branch's condition: a whole constant register.
        const RegRef r = RegisterOf(inst.inputs[0]);
        MOperand o;
        o.type = r.type;
        o.number = r.number;
        boundary.src.push_back(o);
    }
    out->push_back(std::move(boundary));
    return S_OK;
}

HRESULT CodeGenerator::DefineBoundedLoopRegister() {
    boundedLoopRegister_ = -1;
    bool needed = false;
    for (size_t i = 0; i < instructions.size(); ++i)
        needed |= instructions[i].code() == kOpLoopBegin && ClassOf(instructions[i].inputs[0]) != ArgClass::Integer &&
                  !LoopStep(i);
    if (!needed) return S_OK;
    boundedLoopRegister_ = FreeIntegerRegister();
    if (boundedLoopRegister_ < 0) {
        Report(nullptr, codegen_diag::kConstantIndexExceeded);
        return E_FAIL;
    }
    return DefineInteger(boundedLoopRegister_, {255, 0, 0, 0});
}

}  // namespace codegen
