// Which register an argument lives in, as far as vectorising is concerned:
// all literals count as one register (they are gathered per instruction
// later), other arguments by pool, register and relative index, or, while a
// bound argument has no register number yet, by its variable and the
// register offset inside it.
#pragma once

#include <cstdint>
#include <tuple>

#include "shader/backend/intermediate_program.h"

using RegisterIdentity = std::tuple<int, uint32_t, intptr_t, int32_t>;

inline RegisterIdentity IdentityOf(const IntermediateProgram& p, int32_t arg, int32_t virtualRegister = -1) {
    const IrArgument& a = p.args[arg];
    if ((p.pools[a.pool].flags & kPoolLiteral) && a.relative < 0) return {0, 0, 0, 0};
    if (virtualRegister >= 0) return {1, a.pool, virtualRegister, -1};
    if (a.reg >= 0) return {2, a.pool, a.reg, a.relative};
    return {3, a.pool, reinterpret_cast<intptr_t>(a.declaration), int32_t(a.offset / 4)};
}

// The component an argument supplies inside its register.
inline int32_t ComponentOf(const IrArgument& a) { return a.component >= 0 ? a.component : int32_t(a.offset % 4); }
