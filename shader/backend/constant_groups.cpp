#include "shader/backend/constant_groups.h"

#include <algorithm>
#include <map>

namespace {

struct Slot {
    const void* declaration = nullptr;
    const char* name = nullptr;
    uint32_t variableFirst = 0;
    bool filled = false;
};

// Highest register number a slot table is allowed to reach (constant
// registers end at 8191; samplers far below).
constexpr int32_t kMaxRegister = 8191;

void FillSlots(IntermediateProgram& p, uint32_t pool, std::vector<Slot>* slots) {
    for (const IrArgument& a : p.args) {
        if (a.pool != pool || a.lastReader < 0 || a.relative >= 0 || a.reg < 0 || a.reg > kMaxRegister) continue;
        if (!a.declaration || !a.name || !*a.name) continue;
        const int32_t first = a.reg - int32_t(a.offset / 4);
        if (first < 0) continue;
        if (slots->size() <= size_t(a.reg)) slots->resize(size_t(a.reg) + 1);
        // From the register read down to the variable's first register,
        // stopping at a slot another piece already filled.
        for (int32_t r = a.reg; r >= first; --r) {
            Slot& slot = (*slots)[size_t(r)];
            if (slot.filled) break;
            slot = Slot{a.declaration, a.name, uint32_t(first), true};
        }
    }
}

void CutGroups(const std::vector<Slot>& slots, bool sampler, std::vector<ConstantGroup>* groups) {
    for (size_t r = 0; r < slots.size();) {
        if (!slots[r].filled) {
            ++r;
            continue;
        }
        size_t end = r + 1;
        while (end < slots.size() && slots[end].filled && slots[end].declaration == slots[r].declaration &&
               slots[end].variableFirst == slots[r].variableFirst && slots[end].name == slots[r].name)
            ++end;
        ConstantGroup g;
        g.declaration = slots[r].declaration;
        g.name = slots[r].name;
        g.sampler = sampler;
        g.firstRegister = uint32_t(r);
        g.registerCount = uint32_t(end - r);
        g.variableFirstRegister = slots[r].variableFirst;
        groups->push_back(g);
        r = end;
    }
}

}  // namespace

std::vector<ConstantGroup> CollectConstantGroups(IntermediateProgram& p, uint32_t floatPool, uint32_t samplerPool) {
    p.ComputeUses();
    std::vector<Slot> floats, samplers;
    FillSlots(p, floatPool, &floats);
    FillSlots(p, samplerPool, &samplers);
    std::vector<ConstantGroup> groups;
    CutGroups(floats, false, &groups);
    CutGroups(samplers, true, &groups);
    return groups;
}
