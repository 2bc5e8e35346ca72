// Dropping literal registers that the pattern steps left unread, so that no
// "def" is written for them and the remaining ones stay consecutive.
#include "shader/backend/codegen/code_generator.h"

namespace codegen {

std::vector<uint32_t> CodeGenerator::LiteralComponentsRead() const {
    std::vector<uint32_t> components(literalValues_.size(), 0);
    for (const IrInstruction& inst : instructions)
        for (int32_t in : inst.inputs) {
            if (in < 0 || ClassOf(in) != ArgClass::Literal || args[in].reg < 0) continue;
            const size_t reg = size_t(args[in].reg);
            if (reg < components.size()) components[reg] |= 1u << RegisterOf(in).component;
        }
    return components;
}

std::vector<int32_t> CodeGenerator::CompactLiteralRegisters(const std::vector<bool>& keep) {
    std::vector<int32_t> renumber(literalValues_.size(), -1);
    size_t kept = 0;
    for (size_t r = 0; r < renumber.size(); ++r) {
        if (r >= keep.size() || !keep[r]) continue;
        renumber[r] = int32_t(kept);
        literalValues_[kept] = literalValues_[r];
        literalUsed_[kept] = literalUsed_[r];
        literalBase_[kept] = literalBase_[r];
        ++kept;
    }
    literalValues_.resize(kept);
    literalUsed_.resize(kept);
    literalBase_.resize(kept);
    for (IrArgument& a : args)
        if (PoolClass(a.pool) == ArgClass::Literal && a.reg >= 0 && size_t(a.reg) < renumber.size())
            a.reg = renumber[size_t(a.reg)];
    return renumber;
}

}  // namespace codegen
