// What the target-form patterns ask of the packed program: whether a value
// still sits in its register at a later instruction, whether two operands
// hold the same value or opposite values, and the removal of instructions
// whose results nobody reads any more.
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

namespace {

uint32_t ModifierOf(const IrArgument& a) { return (a.flags & kValueSourceModifierMask) >> 16; }

}  // namespace

bool CodeGenerator::HoldsUntil(int32_t arg, size_t from, size_t to) const {
    for (size_t depth = 0; arg >= 0 && depth < 4; ++depth) {
        const ArgClass cls = ClassOf(arg);
        if (cls == ArgClass::Input || cls == ArgClass::Constant || cls == ArgClass::Literal) {
            arg = args[arg].relative;  // registers no instruction writes
            continue;
        }
        const RegRef r = RegisterOf(arg);
        if (!r.valid) return false;
        const IrArgument& a = args[arg];
        for (size_t m = from; m < to && m < instructions.size(); ++m) {
            // Past a loop boundary the register holds the value of another
            // round, or of the code after the loop.
            if (m > from && IsFlowOp(instructions[m].code())) return false;
            for (int32_t out : instructions[m].outputs) {
                // Registers of one kind are told apart by number and
                // component before the full lookup.
                if (out < 0 || (args[out].reg != a.reg && args[out].relative < 0) ||
                    (args[out].component != a.component && args[out].relative < 0))
                    continue;
                const RegRef w = RegisterOf(out);
                if (w.type == r.type && w.number == r.number && (w.component == r.component || args[out].relative >= 0))
                    return false;
            }
        }
        arg = args[arg].relative;
    }
    return arg < 0;
}

int32_t CodeGenerator::CopiedFrom(int32_t arg) const {
    // Every temporary is written once, so a plain move's result holds its
    // source's value wherever it is read.
    for (size_t depth = 0; depth < 64; ++depth) {
        if (arg < 0 || ClassOf(arg) != ArgClass::Temp || ModifierOf(args[arg]) != 0 || args[arg].firstWriter < 0 ||
            Clamped(arg))
            break;
        const IrInstruction& move = instructions[size_t(args[arg].firstWriter)];
        if (move.code() != kOpMove || move.inputs.size() != move.outputs.size()) break;
        int32_t source = -1;
        for (size_t c = 0; c < move.outputs.size(); ++c)
            if (move.outputs[c] == arg) source = move.inputs[c];
        if (source < 0 || ModifierOf(args[source]) != 0 || args[source].relative >= 0) break;
        arg = source;
    }
    return arg;
}

bool CodeGenerator::SameValue(int32_t x, size_t xAt, int32_t y, size_t yAt) const {
    if (x < 0 || y < 0) return false;
    if (x == y) return true;
    const IrArgument& a = args[x];
    const IrArgument& b = args[y];
    if (ModifierOf(a) == 0 && ModifierOf(b) == 0 && CopiedFrom(x) == CopiedFrom(y)) return true;
    if (ClassOf(x) == ArgClass::Literal || ClassOf(y) == ArgClass::Literal)
        return ClassOf(x) == ClassOf(y) && a.literal == b.literal && ModifierOf(a) == ModifierOf(b);
    // The same register component, not written between the two reads.
    const RegRef rx = RegisterOf(x), ry = RegisterOf(y);
    if (!rx.valid || rx.type != ry.type || rx.number != ry.number || rx.component != ry.component) return false;
    if (ModifierOf(a) != ModifierOf(b) || a.relative != b.relative) return false;
    return xAt <= yAt ? HoldsUntil(x, xAt, yAt) : HoldsUntil(y, yAt, xAt);
}

bool CodeGenerator::IsNegationOf(int32_t x, size_t xAt, int32_t y, size_t yAt) const {
    if (x < 0 || y < 0) return false;
    const IrArgument& a = args[x];
    const IrArgument& b = args[y];
    const uint32_t ma = ModifierOf(a), mb = ModifierOf(b);
    // The same register read once with and once without the negate modifier.
    if (ClassOf(x) != ArgClass::Literal && ClassOf(y) != ArgClass::Literal) {
        const RegRef rx = RegisterOf(x), ry = RegisterOf(y);
        const bool opposite = (ma == gfx::isa::SRCMOD_NEG && mb == gfx::isa::SRCMOD_NONE) ||
                              (ma == gfx::isa::SRCMOD_NONE && mb == gfx::isa::SRCMOD_NEG);
        if (opposite && rx.valid && rx.type == ry.type && rx.number == ry.number && rx.component == ry.component &&
            a.relative == b.relative && (xAt <= yAt ? HoldsUntil(y, xAt, yAt) : HoldsUntil(x, yAt, xAt)))
            return true;
    }
    // The result of a negate instruction of y (possibly copied by moves).
    if (ma != gfx::isa::SRCMOD_NONE) return false;
    const int32_t root = CopiedFrom(x);
    if (ClassOf(root) != ArgClass::Temp || ModifierOf(args[root]) != 0 || args[root].firstWriter < 0 || Clamped(root))
        return false;
    const size_t k = size_t(args[root].firstWriter);
    const IrInstruction& neg = instructions[k];
    if (neg.code() != kOpNegate || neg.inputs.size() != neg.outputs.size()) return false;
    for (size_t c = 0; c < neg.outputs.size(); ++c)
        if (neg.outputs[c] == root) return SameValue(neg.inputs[c], k, y, yAt);
    return false;
}

std::vector<std::pair<size_t, size_t>> CodeGenerator::ReadsOf(int32_t arg, size_t from) const {
    std::vector<std::pair<size_t, size_t>> reads;
    const RegRef r = RegisterOf(arg);
    if (!r.valid) return reads;
    auto same = [&](int32_t other) {
        if (other < 0) return false;
        const RegRef o = RegisterOf(other);
        return o.valid && o.type == r.type && o.number == r.number && o.component == r.component;
    };
    for (size_t m = from + 1; m < instructions.size(); ++m) {
        const IrInstruction& inst = instructions[m];
        for (size_t k = 0; k < inst.inputs.size(); ++k)
            for (int32_t a = inst.inputs[k], depth = 0; a >= 0 && depth < 4; a = args[a].relative, ++depth)
                if (same(a)) {
                    reads.push_back({m, k});
                    break;
                }
        for (int32_t out : inst.outputs)
            if (same(out) && args[out].relative < 0) return reads;
    }
    return reads;
}

void CodeGenerator::DropIfUnread(size_t index) {
    if (index >= instructions.size()) return;
    IrInstruction& inst = instructions[index];
    if (inst.code() == kOpEmpty || inst.outputs.empty()) return;
    for (int32_t out : inst.outputs) {
        if (out < 0) continue;
        if (ClassOf(out) != ArgClass::Temp || !ReadsOf(out, index).empty()) return;
    }
    inst.op = MakeOp(kOpEmpty, 0);
    inst.inputs.clear();
    inst.outputs.clear();
}

}  // namespace codegen
