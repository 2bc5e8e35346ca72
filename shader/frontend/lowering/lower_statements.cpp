// Statements. Both arms of an "if" are lowered from copies of the value map
// and merged per component; a return inside one arm (2_x and 3.x models) is
// merged at the end of the function. Loops are unrolled while their condition
// stays a compile-time constant; on the models with loops, one whose count is
// a uniform integer becomes a real loop (lower_dynamic_loop.cpp), and so may
// one whose count is known (lower_constant_loop.cpp). "break" and "continue"
// end a round early (lower_break.cpp).
#include <algorithm>

#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {

void Lowerer::LowerStatements(const std::vector<Stmt*>& stmts) {
    for (const Stmt* s : stmts) {
        if (returned || left || Failed()) break;
        LowerStatement(s);
    }
}

void Lowerer::LowerStatement(const Stmt* s) {
    if (!s || Failed()) return;  // an empty statement
    here = s->loc;
    switch (s->kind) {
        case NodeKind::ExprStmt: Lower(static_cast<const ExprStmt*>(s)->expr); return;
        case NodeKind::DeclStmt:
            for (const VarDecl* v : static_cast<const DeclStmt*>(s)->vars) LowerDeclaration(v);
            return;
        case NodeKind::Return: {
            const ReturnStmt* r = static_cast<const ReturnStmt*>(s);
            if (r->value && r->function && r->function->returnType) {
                const uint32_t size = TypeSize(r->function->returnType);
                const Value v = Broadcast(Lower(r->value), size);
                for (uint32_t i = 0; i < size && r->function->returnOffset + i < map.size(); ++i)
                    map[r->function->returnOffset + i] = v[i];
            }
            if (r->function && r->function == entryFunction) entryReturn = r;
            returned = true;
            return;
        }
        case NodeKind::If: LowerIf(static_cast<const IfStmt*>(s)); return;
        case NodeKind::Loop: LowerLoop(static_cast<const LoopStmt*>(s)); return;
        case NodeKind::Block: LowerStatements(static_cast<const BlockStmt*>(s)->stmts); return;
        case NodeKind::Break:
        case NodeKind::Continue: LowerJump(s); return;
        default: Error(s->loc, lowmsg::kUnrecognizedStatement); return;
    }
}

void Lowerer::LowerDeclaration(const VarDecl* v) {
    if (!v || !v->type) return;
    const uint32_t size = TypeSize(v->type);
    if (v->usage & kUsageStatic) {
        // A static local keeps its components from one expansion to the next
        // and is initialised once.
        if (!staticsSeen.insert(v).second) return;
    }
    Placeholders(v, v->valueOffset, size);
    if (!v->init) return;
    std::vector<uint32_t> slots;
    for (uint32_t i = 0; i < size; ++i) slots.push_back(v->valueOffset + i);
    WriteSlots(slots, Broadcast(Lower(v->init), size));
}

void Lowerer::LowerIf(const IfStmt* s) {
    const Value c = Lower(s->condition);
    if (c.empty() || Failed()) return;
    double constant;
    if (LiteralOf(c[0], &constant)) {
        LowerStatement(constant != 0 ? s->then : s->otherwise);
        return;
    }
    here = s->loc;
    if (LowerCompareBreak(s)) return;
    // An arm lowered for a branch that did not pay is lowered again: its
    // warnings are already out. "[flatten]" merges the arms wherever they
    // could branch; "[branch]" branches wherever the model can.
    bool tried = false;
    const bool asked = s->attributes.Has(kAttrBranch);
    if (flowControl && !s->attributes.Has(kAttrFlatten)) {
        armsLoweredInVain = false;
        if (LowerBranch(s) || (returnInArm && (asked ? LowerAskedBranch(s, c[0]) : LowerCompareBranch(s)))) return;
        tried = armsLoweredInVain;
    }
    if (asked) ReportBranchMerged(s);
    struct Mute {
        int& count;
        bool on;
        ~Mute() {
            if (on) --count;
        }
    } mute{muteWarnings, tried && ++muteWarnings > 0};
    Value t, f;
    {
        // The masks are tested at the class of the condition's own value.
        const PrecisionScope scope(*this, PrecisionOfValue(Value{c[0]}));
        const Value a = Max(Value{c[0]}, Neg(Value{c[0]}));
        t = Less(Neg(a), a);
        f = GreaterEqual(Neg(a), a);
    }

    const std::vector<int32_t> before = map;
    const Value outerMask = mask;
    const Value goingBefore = going;
    const Value inRoundBefore = loopExits ? loopExits->inRound : Value{};
    double outer;
    const bool unconditional = LiteralOf(outerMask[0], &outer) && outer == 1;
    mask = unconditional ? t : Mul(outerMask, t);
    returned = left = false;
    LowerStatement(s->then);
    const bool thenReturned = returned, thenLeft = left;
    std::vector<int32_t> thenMap = std::move(map);

    map = before;
    mask = unconditional ? f : Mul(outerMask, f);
    returned = left = false;
    LowerStatement(s->otherwise);
    const bool elseReturned = returned, elseLeft = left;
    left = false;
    // A return or jump taken inside an arm leaves the code after the "if"
    // running only where it was not taken.
    mask = MaskAfter(outerMask, goingBefore, inRoundBefore);
    if (Failed()) return;
    here = s->loc;
    if (thenReturned != elseReturned) {
        if (!returnInArm) {
            Error(s->loc, lowmsg::kAsymmetricReturn);
            return;
        }
        // The arm that returned waits for the end of the function; the other
        // one goes on under the condition of its own arm.
        const Value taken = thenReturned ? t : f;
        const Value path = unconditional ? taken : Mul(outerMask, taken);
        if (thenReturned) {
            partialReturns.push_back({path[0], std::move(thenMap)});
        } else {
            partialReturns.push_back({path[0], std::move(map)});
            map = std::move(thenMap);
        }
        // `going` holds for the whole function: where an outer arm did not
        // run, this return was not taken either.
        const Value& goesOn = thenReturned ? f : t;
        going = Mul(going, unconditional ? goesOn : Complement(path));
        mask = Mul(mask, goesOn);
        returned = false;
        left = thenReturned ? elseLeft : thenLeft;
        return;
    }
    if (thenLeft || elseLeft) {
        // The paths of an arm that jumped wait for the end of the round or
        // loop (lower_break.cpp); the other arm's go on.
        left = thenLeft && elseLeft;
        if (!thenLeft) map = std::move(thenMap);
        return;
    }
    MergeMap(thenMap, t[0]);
    returned = thenReturned && elseReturned;
}

void Lowerer::MergeMap(const std::vector<int32_t>& other, int32_t t) {
    // Entries that differ get this map's value where t is 0 and the other
    // value where it is 1; a side that never assigned the variable leaves it
    // to the other. The merge of a component runs at the class of the values
    // it merges (literals take any class), one interpolation per class.
    struct Merge {
        uint32_t precision;
        std::vector<size_t> slots;
        Value elseValues, thenValues;
    };
    std::vector<Merge> merges;
    for (size_t i = 0; i < map.size() && i < other.size(); ++i) {
        if (other[i] == map[i]) continue;
        if (IsPlaceholder(other[i])) continue;
        if (IsPlaceholder(map[i])) {
            map[i] = other[i];
            continue;
        }
        Value pair;
        for (int32_t arg : {map[i], other[i]})
            if (!IsLiteral(arg)) pair.push_back(arg);
        const uint32_t cls = PrecisionOfValue(pair);
        auto it = std::find_if(merges.begin(), merges.end(), [&](const Merge& m) { return m.precision == cls; });
        if (it == merges.end()) it = merges.insert(merges.end(), Merge{cls, {}, {}, {}});
        it->slots.push_back(i);
        it->elseValues.push_back(map[i]);
        it->thenValues.push_back(other[i]);
    }
    for (const Merge& m : merges) {
        const PrecisionScope scope(*this, m.precision);
        const Value v = Lerp(m.elseValues, m.thenValues, Value{t});
        for (size_t k = 0; k < m.slots.size(); ++k) map[m.slots[k]] = v[k];
    }
}

void Lowerer::MergeReturns(size_t first) {
    // The latest return is merged first, so an earlier one taken by the same
    // invocation overrides it.
    while (partialReturns.size() > first) {
        const PartialReturn r = std::move(partialReturns.back());
        partialReturns.pop_back();
        MergeMap(r.map, r.condition);
    }
}

void Lowerer::LowerLoop(const LoopStmt* s) {
    struct OuterLoop {  // remembers the outermost loop while it is unrolled
        const LoopStmt*& slot;
        bool set;
        OuterLoop(const LoopStmt*& outer, const LoopStmt* s) : slot(outer), set(!outer) {
            if (set) slot = s;
        }
        ~OuterLoop() {
            if (set) slot = nullptr;
        }
    } outer(outerLoop, s);
    LoopExits exits(*this);
    exits.loop = s;
    const Value maskBefore = mask, goingBefore = going;
    if (s->init && s->form != LoopStmt::kDo) LowerStatement(s->init);
    // The first run of a "do" body is a round of its own.
    if (s->init && s->form == LoopStmt::kDo && !LowerRound(s->init)) {
        if (!Failed()) FinishLoop(maskBefore, goingBefore, false);
        return;
    }
    if (s->attributes.Has(kAttrLoop) && !flowControl) ReportLoopUnrolled(s);
    if (flowControl && !s->attributes.Has(kAttrUnroll) && !Failed() && exits.breaks.condition < 0 &&
        LowerConstantLoop(s))
        return;
    for (int round = 0; round <= kMaxLoopRounds; ++round) {
        if (returned || Failed()) return;
        if (round == kMaxLoopRounds) break;
        // Without a condition only a "break" ends the loop.
        double constant = 1;
        const Value c = s->condition ? Lower(s->condition) : Value{Literal(1)};
        if (c.empty() || !LiteralOf(c[0], &constant)) {
            if (round == 0 && flowControl && !s->attributes.Has(kAttrUnroll) && exits.breaks.condition < 0 &&
                LowerDynamicLoop(s))
                return;
            break;
        }
        if (constant == 0) {
            FinishLoop(maskBefore, goingBefore, true);
            return;
        }
        if (++unrolledRounds > kMaxUnrolledRounds) TooLarge(lowmsg::kTooManyRounds, kMaxUnrolledRounds, s->loc);
        if (!UnrollRoundAllowed(s, round)) return;
        if (!LowerRound(s->body)) {
            if (!Failed()) FinishLoop(maskBefore, goingBefore, false);
            return;
        }
        if (returned || Failed()) return;
        if (s->iteration) Lower(s->iteration);
    }
    if (!Failed()) ReportLoopNotUnrolled(s);
}

}  // namespace hlsl::lowering
