// Loops whose count is known only when the program runs: the counter starts
// at 0, goes up by 1 and is compared with an integer variable ("for (int i =
// 0; i < n; i++)"), so the loop runs n rounds (the models run at most 255).
// A uniform n is the count of "rep" in its integer register (the models with
// loops); a computed n (the 2_x and 3.x models, which have break_c) ends the
// round that reaches it.
//
// The body is lowered once, between a loop begin and a loop end. Variables it
// changes are carried: each gets an argument that the begin sets to the value
// before the loop, the body reads, and the end sets to the value for the next
// round; after the loop the variable is that argument. Which variables change
// is known only once the body is lowered, and reading a carried value instead
// of a known one can make the body change more (a branch no longer folds), so
// the body is lowered again, from a snapshot of the lowering, until the set
// of carried variables stays the same.
#include <algorithm>
#include <cctype>

#include "shader/frontend/lowering/expression_shapes.h"
#include "shader/frontend/lowering/lowering_messages.h"
#include "shader/frontend/lowering/lowering_snapshot.h"

namespace hlsl::lowering {

namespace {

bool IsIntegerScalar(const Type* t) {
    if (!t || !t->IsScalar()) return false;
    switch (t->base) {
        case kInt8: case kInt16: case kInt: case kUint8: case kUint16: case kUint: return true;
        default: return false;
    }
}

// "counter < bound" or "bound > counter".
bool CounterBound(const Expr* condition, const VarDecl** counter, const VarDecl** bound) {
    condition = WithoutConversion(condition);
    if (!condition || condition->kind != NodeKind::Operator) return false;
    const OperatorExpr* o = static_cast<const OperatorExpr*>(condition);
    if (o->op != Op::Less && o->op != Op::Greater) return false;
    const bool less = o->op == Op::Less;
    *counter = VariableOf(o->operands[less ? 0 : 1]);
    *bound = VariableOf(o->operands[less ? 1 : 0]);
    return *counter && *bound && *counter != *bound;
}

// "counter++", "++counter", "counter += 1".
bool StepsByOne(const Expr* iteration, const VarDecl* counter) {
    iteration = WithoutConversion(iteration);
    if (!iteration || iteration->kind != NodeKind::Operator) return false;
    const OperatorExpr* o = static_cast<const OperatorExpr*>(iteration);
    if (VariableOf(o->operands[0]) != counter) return false;
    if (o->op == Op::PostIncrement || o->op == Op::PreIncrement) return true;
    if (o->op != Op::AddAssign) return false;
    const Expr* step = WithoutConversion(o->operands[1]);
    if (!step || step->kind != NodeKind::Literal) return false;
    const LiteralExpr* l = static_cast<const LiteralExpr*>(step);
    return l->values.size() == 1 && l->values[0].AsDouble() == 1.0;
}

}  // namespace

int32_t Lowerer::UniformRegister(const VarDecl* v, int32_t use, char set) {
    auto it = uniformRegisters.find({v, set});
    if (it != uniformRegisters.end()) return it->second;
    // A binding names the float register unless it names one of this set.
    const bool integerBinding = v->reg.name && std::tolower(static_cast<unsigned char>(v->reg.name[0])) == set;
    const char name[2] = {set, 0};
    const int pool = p.AddPool(name, kPoolUniform | kPoolBound | kPoolValueAtEntry | kPoolReadable, 1, 4);
    if (pool < 0) throw std::bad_alloc();
    p.pools[pool].declaration = v;
    if (integerBinding && BindingApplies(v->reg)) p.pools[pool].binding = v->reg.name;
    const int32_t arg = p.AddArgument(uint32_t(pool), 0, 0, 0.0);
    if (arg < 0) throw std::bad_alloc();
    p.args[arg].declaration = p.args[use].declaration;
    p.args[arg].name = p.args[use].name;
    p.args[arg].flags = kValueInteger | kValuePrecisionFull;
    uniformRegisters[{v, set}] = arg;
    return arg;
}

bool Lowerer::LowerDynamicLoop(const LoopStmt* s) {
    const VarDecl *counter = nullptr, *bound = nullptr;
    if (!CounterBound(s->condition, &counter, &bound) || !StepsByOne(s->iteration, counter)) return false;
    if (!IsIntegerScalar(bound->type) || !counter->type || TypeSize(counter->type) != 1) return false;
    const uint32_t counterSlot = counter->valueOffset, boundSlot = bound->valueOffset;
    if (counterSlot >= map.size() || boundSlot >= map.size() || IsPlaceholder(map[boundSlot])) return false;
    double start;
    if (!LiteralOf(map[counterSlot], &start) || start != 0) return false;
    const int32_t boundArg = map[boundSlot];
    const uint32_t boundFlags = p.pools[p.args[boundArg].pool].flags;
    if ((boundFlags & kPoolLiteral) || p.args[boundArg].relative >= 0) return false;
    // A uniform bound is the count of "rep" in its integer register; a
    // computed one (on the models with break_c) is compared with the counter
    // at the top of every round.
    const bool uniformBound = (boundFlags & kPoolUniform) != 0;
    if (!uniformBound && !returnInArm) return false;
    // A "break" leaves by break_c, which the 2_x and 3.x models have.
    if (!returnInArm && BreaksOut(s->body)) return false;

    here = s->loc;
    const int32_t count = uniformBound ? UniformRegister(bound, boundArg, 'i') : boundArg;
    // The counter counts whole rounds from 0.
    return LowerLoopRounds(s, {count, !uniformBound, counterSlot, boundSlot, kValueInteger | kValueNonNegative, false,
                               true, 0, 1, uniformBound ? boundArg : -1});
}

bool Lowerer::LowerLoopRounds(const LoopStmt* s, const LoopRounds& r) {
    const uint32_t counterSlot = r.counterSlot, boundSlot = r.boundSlot;
    // A loop whose counter indexes constants through aL runs to its bound
    // as a computed one; a second lowering keeps the step the first chose.
    bool bounded = r.bounded;
    int32_t step = 0;
    struct CounterScope {
        std::vector<CounterLoop>& loops;
        explicit CounterScope(std::vector<CounterLoop>& l) : loops(l) { loops.emplace_back(); }
        ~CounterScope() { loops.pop_back(); }
    } counterScope{counterLoops};
    const LoweringSnapshot snapshot(*this);
    const std::vector<int32_t> before = map;
    const size_t returnsBefore = partialReturns.size();
    const Value goingBefore = going;
    std::vector<uint32_t> carried{counterSlot};
    struct Mute {
        int& count;
        bool on = false;
        void Set() {
            if (!on) ++count;
            on = true;
        }
        ~Mute() {
            if (on) --count;
        }
    } mute{muteWarnings};
    for (int pass = 0;; ++pass) {
        if (pass > 0) {
            snapshot.Restore();
            mute.Set();
        }
        // In slot order, the components of a variable side by side.
        std::sort(carried.begin(), carried.end());
        // The loop begin: each carried variable gets its argument.
        const size_t counterIndex = size_t(std::find(carried.begin(), carried.end(), counterSlot) - carried.begin());
        const int32_t count = bounded && !r.bounded ? r.boundValue : r.count;
        const int begin = p.AddInstruction(MakeOp(kOpLoopBegin, bounded ? uint32_t(counterIndex + 1) : 0),
                                           int(carried.size() + 1), int(carried.size()));
        if (begin < 0) throw std::bad_alloc();
        p.instructions[begin].location = s->loc;
        p.instructions[begin].node = s;
        p.instructions[begin].inputs[0] = count;
        for (size_t k = 0; k < carried.size(); ++k) {
            const int32_t initial = before[carried[k]];
            const int32_t value = NewTemp(p.args[initial].flags & kValuePrecisionMask);
            const int32_t owner = carried[k] < slotOwner.size() ? slotOwner[carried[k]] : -1;
            if (owner >= 0) {
                p.args[value].declaration = p.args[owner].declaration;
                p.args[value].name = p.args[owner].name;
                p.args[value].offset = p.args[owner].offset;
            }
            if (carried[k] == counterSlot) p.args[value].flags |= r.counterFlags;
            p.instructions[begin].inputs[k + 1] = initial;
            p.instructions[begin].outputs[k] = value;
            map[carried[k]] = value;
        }
        const std::vector<int32_t> top = map;
        const bool addressing = r.counterKnown && (r.boundValue < 0 || returnInArm);
        counterLoops.back() = CounterLoop{addressing ? map[counterSlot] : -1, size_t(begin), r.counterStart,
                                          r.counterStep, bounded || r.boundValue < 0, -1, -1, 0, step};

        LoopExits& exits = *loopExits;
        exits.real = true;
        exits.carried = &carried;
        exits.top = top;
        exits.changedAtBreak.clear();
        const Value maskBefore = mask;
        // A round that every path leaves by "break" ends the loop; its end is
        // never reached.
        if (!LowerRound(s->body) && !returned && !Failed()) map = top;
        exits.real = false;
        exits.carried = nullptr;
        mask = maskBefore;
        if (Failed()) return true;
        if (returned || partialReturns.size() != returnsBefore || going != goingBefore ||
            map[counterSlot] != top[counterSlot] || (boundSlot < map.size() && map[boundSlot] != top[boundSlot])) {
            // A return inside the loop, or a body that moves the counter or
            // the bound itself, needs the loop unrolled.
            if (r.unrollInstead) {
                snapshot.Restore();
                partialReturns.resize(returnsBefore);
                going = goingBefore;
                returned = false;
                return false;
            }
            Error(s->loc, lowmsg::kGeneralLoop);
            return true;
        }
        here = s->loc;
        Lower(s->iteration);
        if (Failed()) return true;

        // Variables set before the loop that the round changed; those first
        // declared inside it keep no value past it.
        std::vector<uint32_t> changed;
        for (size_t i = 0; i < map.size(); ++i)
            if (map[i] != top[i] && !IsPlaceholder(before[i]) && !IsPlaceholder(map[i])) changed.push_back(uint32_t(i));
        changed.insert(changed.end(), exits.changedAtBreak.begin(), exits.changedAtBreak.end());
        bool grown = false;
        for (uint32_t slot : changed)
            if (std::find(carried.begin(), carried.end(), slot) == carried.end()) {
                carried.push_back(slot);
                grown = true;
            }
        if (grown) continue;
        if (!bounded && r.boundValue >= 0 && counterLoops.back().loopRegister >= 0) {
            bounded = true;
            step = counterLoops.back().step;
            continue;
        }

        // The loop end: the values for the next round.
        const int end = p.AddInstruction(MakeOp(kOpLoopEnd, 0), int(carried.size()), int(carried.size()));
        if (end < 0) throw std::bad_alloc();
        p.instructions[end].location = s->loc;
        p.instructions[end].node = s;
        const IrInstruction& opening = p.instructions[begin];
        for (size_t k = 0; k < carried.size(); ++k) {
            p.instructions[end].inputs[k] = map[carried[k]];
            p.instructions[end].outputs[k] = opening.outputs[k];
        }
        for (size_t i = 0; i < map.size(); ++i) map[i] = IsPlaceholder(before[i]) ? before[i] : top[i];
        return true;
    }
}

}  // namespace hlsl::lowering
