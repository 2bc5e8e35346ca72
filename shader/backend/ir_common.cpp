// Helpers the passes share: literal tests, replacement and compaction.
#include <algorithm>

#include "shader/backend/ir_passes.h"

bool IsLiteralArgument(const IntermediateProgram& p, int32_t arg) {
    return arg >= 0 && size_t(arg) < p.args.size() && p.args[arg].relative < 0 &&
           (p.pools[p.args[arg].pool].flags & kPoolLiteral);
}

double LiteralValue(const IntermediateProgram& p, int32_t arg) { return p.args[arg].literal; }

bool IsReplaceableOutput(const IntermediateProgram& p, int32_t arg) {
    return arg >= 0 && !(p.pools[p.args[arg].pool].flags & kPoolMustWrite);
}

bool IsComponentWise(uint32_t code) { return IsUnaryOp(code) || IsBinaryOp(code) || code == kOpSelect; }

int OperandCount(uint32_t code) {
    if (IsUnaryOp(code)) return 1;
    if (IsBinaryOp(code)) return 2;
    if (code == kOpSelect) return 3;
    return 0;
}

namespace {

// Computed values: bound, literal and address arguments are registers whose
// variable names mean something else (constant table, fragment records), and
// a copy of an input or constant is not a write of that variable.
bool IsTemporary(const IntermediateProgram& p, int32_t arg) {
    if (arg < 0 || size_t(arg) >= p.args.size() || p.args[arg].pool >= p.pools.size()) return false;
    constexpr uint32_t kNotTemporary =
        kPoolBound | kPoolMustWrite | kPoolLiteral | kPoolUniform | kPoolSampler | kPoolAddress;
    const uint32_t f = p.pools[p.args[arg].pool].flags;
    return (f & kPoolWritable) && !(f & kNotTemporary);
}

}  // namespace

void CarryVariable(IntermediateProgram& p, int32_t from, int32_t to) {
    if (from == to || !IsTemporary(p, from) || !IsTemporary(p, to)) return;
    const IrArgument& source = p.args[from];
    IrArgument& target = p.args[to];
    if (!source.declaration || target.declaration) return;
    target.declaration = source.declaration;
    target.name = source.name;
    target.offset = source.offset;
}

void ApplyReplacements(IntermediateProgram& p) {
    for (size_t i = 0; i < p.args.size(); ++i)
        if (p.args[i].replacement != int32_t(i)) CarryVariable(p, int32_t(i), p.Resolve(int32_t(i)));
    for (IrInstruction& inst : p.instructions)
        for (int32_t& in : inst.inputs)
            if (in >= 0) in = p.Resolve(in);
    for (IrArgument& a : p.args)
        if (a.relative >= 0) a.relative = p.Resolve(a.relative);
}

void CompactProgram(IntermediateProgram& p) {
    ApplyReplacements(p);
    std::erase_if(p.instructions, [](const IrInstruction& inst) { return inst.code() == kOpEmpty; });

    // Keep what instructions refer to (with relative chains) and the outputs.
    std::vector<char> keep(p.args.size(), 0);
    auto mark = [&](int32_t arg) {
        for (size_t depth = 0; arg >= 0 && !keep[arg] && depth <= p.args.size(); ++depth) {
            keep[arg] = 1;
            arg = p.args[arg].relative;
        }
    };
    for (const IrInstruction& inst : p.instructions) {
        for (int32_t in : inst.inputs) mark(in);
        for (int32_t out : inst.outputs) mark(out);
    }
    for (size_t i = 0; i < p.args.size(); ++i)
        if (p.args[i].pool != kPoolDiscard && (p.pools[p.args[i].pool].flags & kPoolMustWrite)) mark(int32_t(i));

    std::vector<int32_t> renumber(p.args.size(), -1);
    std::vector<IrArgument> kept;
    kept.reserve(p.args.size());
    for (size_t i = 0; i < p.args.size(); ++i) {
        if (!keep[i] || p.args[i].pool == kPoolDiscard) continue;
        renumber[i] = int32_t(kept.size());
        kept.push_back(p.args[i]);
    }
    for (size_t i = 0; i < kept.size(); ++i) {
        IrArgument& a = kept[i];
        a.replacement = int32_t(i);
        if (a.relative >= 0) a.relative = renumber[a.relative];
    }
    for (IrInstruction& inst : p.instructions) {
        for (int32_t& in : inst.inputs)
            if (in >= 0) in = renumber[in];
        for (int32_t& out : inst.outputs)
            if (out >= 0) out = renumber[out];
    }
    p.args = std::move(kept);
}
