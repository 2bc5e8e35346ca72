// A copy of the lowering's state, to lower a piece of the program again (a
// loop body whose carried variables grew) or to lower it another way (an
// "if" whose arms turned out too small for a branch).
#pragma once

#include "shader/frontend/lowering/lowerer.h"

namespace hlsl::lowering {

// Everything the lowering of a statement changes, to lower it again.
struct LoweringSnapshot {
    explicit LoweringSnapshot(Lowerer& l)
        : lowerer(l), args(l.p.args.size()), instructions(l.p.instructions.size()), pools(l.p.pools.size()),
          map(l.map), slotOwner(l.slotOwner), literals(l.literals_), one(l.one_), zero(l.zero_),
          minusOne(l.minusOne_), statics(l.staticsSeen), integers(l.uniformRegisters), rounds(l.unrolledRounds),
          entryReturn(l.entryReturn), here(l.here) {}

    void Restore() const {
        Lowerer& l = lowerer;
        l.p.args.resize(args);
        l.p.instructions.resize(instructions);
        l.p.pools.resize(pools);
        l.map = map;
        l.slotOwner = slotOwner;
        l.literals_ = literals;
        l.one_ = one;
        l.zero_ = zero;
        l.minusOne_ = minusOne;
        l.staticsSeen = statics;
        l.uniformRegisters = integers;
        l.unrolledRounds = rounds;
        l.entryReturn = entryReturn;
        l.here = here;
    }

    Lowerer& lowerer;
    size_t args, instructions, pools;
    std::vector<int32_t> map, slotOwner;
    std::map<uint64_t, int32_t> literals;
    int32_t one, zero, minusOne;
    std::set<const VarDecl*> statics;
    std::map<std::pair<const VarDecl*, char>, int32_t> integers;
    size_t rounds;
    const Node* entryReturn;
    SourceLocation here;
};

}  // namespace hlsl::lowering
