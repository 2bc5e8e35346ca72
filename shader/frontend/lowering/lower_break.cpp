// "break" and "continue". A jump taken under a condition known only when the
// program runs cannot end an unrolled round for some paths and not for
// others, so the paths that take it are set aside, as a return inside one
// arm of an "if" is: the value map where it was taken is kept with the
// condition of its path, and the rest of the round (for "break", the rest of
// the loop) is lowered under a mask without them. The continues of a round
// merge back into the map at its end, before the loop's iteration; the
// breaks merge back after the last round. This needs no flow control of the
// model. Under a compile-time condition the "if" around a jump has folded
// away and the jump ends the round (or the loop) outright.
//
// A real loop (a loop begin and end, lower_dynamic_loop.cpp) leaves at a
// "break" at once on the models with break_c: the carried values take the
// values the map holds there, then the loop ends where the condition holds.
#include <algorithm>

#include "shader/frontend/lowering/expression_shapes.h"
#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {

namespace {

constexpr uint32_t kZeroOrOneFlags = kValueZeroOrOne | kValueInteger | kValueNonNegative;
// A "break" alone, or in a block of its own.
bool IsLoneBreak(const Stmt* s) {
    while (s && s->kind == NodeKind::Block) {
        const BlockStmt* b = static_cast<const BlockStmt*>(s);
        if (b->stmts.size() != 1) return false;
        s = b->stmts[0];
    }
    return s && s->kind == NodeKind::Break;
}

}  // namespace

Value Lowerer::Complement(const Value& c) {
    Value r = Add(Value{Literal(1)}, Neg(c));
    for (int32_t a : r)
        if (!IsLiteral(a)) p.args[a].flags |= kZeroOrOneFlags;
    return r;
}

Value Lowerer::MaskAfter(const Value& outer, const Value& goingBefore, const Value& inRoundBefore) {
    Value m = outer;
    if (going != goingBefore) m = Mul(m, going);
    if (loopExits && loopExits->inRound != inRoundBefore) m = Mul(m, loopExits->inRound);
    return m;
}

bool Lowerer::BreaksOut(const Stmt* s) {
    if (!s) return false;
    switch (s->kind) {
        case NodeKind::Break: return true;
        case NodeKind::If: {
            const IfStmt* i = static_cast<const IfStmt*>(s);
            return BreaksOut(i->then) || BreaksOut(i->otherwise);
        }
        case NodeKind::Block:
            for (const Stmt* inner : static_cast<const BlockStmt*>(s)->stmts)
                if (BreaksOut(inner)) return true;
            return false;
        default: return false;  // a loop inside keeps its breaks
    }
}

void Lowerer::LowerJump(const Stmt* s) {
    LoopExits* exits = loopExits;
    if (!exits) {  // the parser accepts jumps inside loops only
        Error(s->loc, lowmsg::kUnrecognizedStatement);
        return;
    }
    const bool isBreak = s->kind == NodeKind::Break;
    double always;
    const bool unconditional = LiteralOf(mask[0], &always) && always == 1;
    left = true;
    if (isBreak && exits->real) {
        // The paths that leave run no further: the mask stays.
        LowerLoopBreak(mask[0], nullptr, 0, !unconditional);
        return;
    }
    const Value stays = Complement(mask);
    AddExit(isBreak ? &exits->breaks : &exits->continues);
    if (isBreak) exits->notBroken = Mul(exits->notBroken, stays);
    exits->inRound = Mul(exits->inRound, stays);
}

void Lowerer::AddExit(PartialReturn* exit) {
    if (exit->condition < 0) {
        *exit = {mask[0], map};
        return;
    }
    // Where the mask holds the paths leaving now take their values; the
    // conditions are disjoint, so their sum is 0 or 1.
    std::swap(map, exit->map);
    MergeMap(exit->map, mask[0]);
    std::swap(map, exit->map);
    Value both = Add(Value{exit->condition}, mask);
    for (int32_t a : both)
        if (!IsLiteral(a)) p.args[a].flags |= kZeroOrOneFlags;
    exit->condition = both[0];
}

bool Lowerer::LowerRound(const Stmt* body) {
    LoopExits& exits = *loopExits;
    exits.continues = {-1, {}};
    exits.roundMask = mask;
    exits.inRound = exits.notBroken = {Literal(1)};
    const Value goingBefore = going;
    left = false;
    LowerStatement(body);
    if (Failed()) return false;
    if (returned && (exits.breaks.condition >= 0 || exits.continues.condition >= 0)) {
        // The paths still in the round returned; those that jumped go on.
        if (!returnInArm) {
            Error(here, lowmsg::kAsymmetricReturn);
            return false;
        }
        partialReturns.push_back({mask[0], map});
        going = Mul(going, Complement(mask));
        returned = false;
        left = true;
    }
    if (returned) return false;
    const bool reached = !left;
    left = false;
    PartialReturn continued = std::move(exits.continues);
    exits.continues = {-1, {}};
    if (!reached && continued.condition < 0) return false;
    if (!reached) map = std::move(continued.map);
    else if (continued.condition >= 0) MergeMap(continued.map, continued.condition);
    mask = exits.roundMask;
    if (exits.notBroken != Value{Literal(1)}) mask = Mul(mask, exits.notBroken);
    if (going != goingBefore) mask = Mul(mask, going);
    return true;
}

void Lowerer::FinishLoop(const Value& maskBefore, const Value& goingBefore, bool reached) {
    LoopExits& exits = *loopExits;
    PartialReturn broke = std::move(exits.breaks);
    exits.breaks = {-1, {}};
    if (!reached && broke.condition < 0) {
        // Every path returned inside the loop.
        returned = true;
        return;
    }
    if (!reached) map = std::move(broke.map);
    else if (broke.condition >= 0) MergeMap(broke.map, broke.condition);
    mask = going != goingBefore ? Mul(maskBefore, going) : maskBefore;
}

bool Lowerer::LowerCompareBreak(const IfStmt* s) {
    const LoopExits* exits = loopExits;
    if (!exits || !exits->real || s->otherwise || !IsLoneBreak(s->then) || mask != exits->roundMask) return false;
    const Expr* e = WithoutConversion(s->condition);
    if (!e || e->kind != NodeKind::Operator) return false;
    const OperatorExpr* o = static_cast<const OperatorExpr*>(e);
    const uint32_t code = ComparisonCode(o->op);
    if (!code) return false;
    for (const Expr* operand : {o->operands[0], o->operands[1]})
        if (!operand || !operand->type || TypeSize(operand->type) != 1) return false;
    // The copies into the carried values happen on every path, so no
    // variable that stays may still read one of them that a copy changes
    // ("float old = x; x += 1;"): then the copies are guarded (the "if"
    // merges as any other).
    for (uint32_t slot : *exits->carried) {
        const int32_t carried = exits->top[slot];
        if (map[slot] == carried) continue;
        for (int32_t value : map)
            if (value == carried) return false;
    }
    const Value a = Lower(o->operands[0]), b = Lower(o->operands[1]);
    if (Failed() || a.size() != 1 || b.size() != 1) return true;
    here = s->loc;
    // The whole round runs here, so the map's values are those of every path.
    // The paths that leave run no further: the round goes on as it was.
    LowerLoopBreak(a[0], &b[0], code, false);
    return true;
}

void Lowerer::LowerLoopBreak(int32_t condition, const int32_t* b, uint32_t code, bool guarded) {
    LoopExits& exits = *loopExits;
    IrInstruction inst;
    double always;
    const bool plain = !b && LiteralOf(condition, &always) && always == 1;
    if (!plain) {
        inst.inputs = {condition, b ? *b : Literal(0)};
        if (!b) code = ComparisonCode(Op::NotEqual);
    } else {
        code = 0;
    }
    inst.op = MakeOp(kOpLoopBreak, code);
    for (size_t i = 0; i < map.size() && i < exits.top.size(); ++i)
        if (map[i] != exits.top[i] && !IsPlaceholder(exits.top[i]) && !IsPlaceholder(map[i]) &&
            std::find(exits.carried->begin(), exits.carried->end(), uint32_t(i)) == exits.carried->end())
            exits.changedAtBreak.push_back(uint32_t(i));
    for (uint32_t slot : *exits.carried) {
        const int32_t carried = exits.top[slot];
        if (map[slot] == carried || IsPlaceholder(map[slot])) continue;
        // Unguarded, a copy would change the carried value for the paths
        // that stay, which may still read it.
        int32_t value = map[slot];
        if (guarded) {
            const PrecisionScope scope(*this, PrecisionOfValue(Value{carried, value}));
            value = Lerp(Value{carried}, Value{value}, Value{condition})[0];
        }
        inst.inputs.push_back(value);
        inst.outputs.push_back(carried);
    }
    inst.location = here;
    inst.node = exits.loop;
    if (p.instructions.size() + 1 > instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
    p.instructions.push_back(std::move(inst));
}

}  // namespace hlsl::lowering
