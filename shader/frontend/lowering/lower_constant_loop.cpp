// Loops whose count is known when compiling, as real loops on the models
// with loops: "for (int i = 3; i < 40; i += 2)". The counter starts at a
// known value, moves by a literal step and is compared with a known bound, so
// the rounds are counted here; the loop is a "rep" on an integer register the
// program defines with that count, and the counter becomes a value the loop
// carries (its value is an affine function of the round).
//
// Such a loop is unrolled as before unless it asks for a real loop
// ("[loop]"), the compile asks for real loops (the unrolled program did not
// fit its model: LoweringOptions), or it runs too long to unroll. A "rep"
// runs at most 255 rounds; a longer loop is lowered as several in a row.
#include <algorithm>
#include <cmath>

#include "shader/frontend/lowering/expression_shapes.h"
#include "shader/frontend/lowering/lowering_messages.h"
#include "shader/frontend/lowering/lowering_snapshot.h"

namespace hlsl::lowering {

namespace {

// The most rounds one "rep" runs.
constexpr uint32_t kMaxRepRounds = 255;
// A loop runs as at most this many "rep" loops in a row; a longer one is
// unrolled (and reported as too long).
constexpr uint32_t kMaxRepLoops = 16;

// The value of a literal, looked through implicit conversions.
bool LiteralValue(const Expr* e, double* v) {
    e = WithoutConversion(e);
    if (!e || e->kind != NodeKind::Literal) return false;
    const LiteralExpr* l = static_cast<const LiteralExpr*>(e);
    if (l->values.size() != 1) return false;
    *v = l->values[0].AsDouble();
    return true;
}

// The counter a loop's iteration steps by a literal ("i++", "--i", "i += 2",
// "i -= 0.5"), and the step.
const VarDecl* SteppedCounter(const Expr* iteration, double* step) {
    iteration = WithoutConversion(iteration);
    if (!iteration || iteration->kind != NodeKind::Operator) return nullptr;
    const OperatorExpr* o = static_cast<const OperatorExpr*>(iteration);
    const VarDecl* counter = VariableOf(o->operands[0]);
    switch (o->op) {
        case Op::PreIncrement: case Op::PostIncrement: *step = 1; return counter;
        case Op::PreDecrement: case Op::PostDecrement: *step = -1; return counter;
        case Op::AddAssign: case Op::SubtractAssign:
            if (!LiteralValue(o->operands[1], step)) return nullptr;
            if (o->op == Op::SubtractAssign) *step = -*step;
            return counter;
        default: return nullptr;
    }
}

bool Holds(Op op, double a, double b) {
    switch (op) {
        case Op::Less: return a < b;
        case Op::LessEqual: return a <= b;
        case Op::Greater: return a > b;
        case Op::GreaterEqual: return a >= b;
        case Op::NotEqual: return a != b;
        default: return false;
    }
}

Op Mirrored(Op op) {
    switch (op) {
        case Op::Less: return Op::Greater;
        case Op::LessEqual: return Op::GreaterEqual;
        case Op::Greater: return Op::Less;
        case Op::GreaterEqual: return Op::LessEqual;
        default: return op;
    }
}

// Whether instructions [first, end) read a register by a computed index.
bool ReadsRelative(const IntermediateProgram& p, size_t first, size_t end) {
    for (size_t i = first; i < end && i < p.instructions.size(); ++i)
        for (int32_t arg : p.instructions[i].inputs)
            if (arg >= 0 && p.args[arg].relative >= 0) return true;
    return false;
}

}  // namespace

int32_t Lowerer::LoopCountRegister(uint32_t n) {
    // Loops of the same count share one.
    for (size_t a = 0; a < p.args.size(); ++a) {
        const IrArgument& arg = p.args[a];
        if (arg.pool >= p.pools.size() || arg.name || arg.literal != double(n)) continue;
        const ArgumentPool& pool = p.pools[arg.pool];
        if (pool.name == "i" && !(pool.flags & kPoolUniform)) return int32_t(a);
    }
    const int pool = p.AddPool("i", kPoolBound | kPoolValueAtEntry | kPoolReadable, 1, 4);
    if (pool < 0) throw std::bad_alloc();
    const int32_t count = p.AddArgument(uint32_t(pool), 0, 0, double(n));
    if (count < 0) throw std::bad_alloc();
    p.args[count].flags = kValueInteger | kValueNonNegative | kValuePrecisionFull;
    return count;
}

bool Lowerer::LowerConstantLoop(const LoopStmt* s) {
    double step = 0;
    const VarDecl* counter = SteppedCounter(s->iteration, &step);
    if (!counter || !counter->type || TypeSize(counter->type) != 1 || step == 0 || !std::isfinite(step)) return false;
    const uint32_t counterSlot = counter->valueOffset;
    double start;
    if (counterSlot >= map.size() || !LiteralOf(map[counterSlot], &start)) return false;

    // "counter op bound" or "bound op counter", the bound a literal or a
    // variable of known value.
    const Expr* condition = WithoutConversion(s->condition);
    if (!condition || condition->kind != NodeKind::Operator) return false;
    const OperatorExpr* o = static_cast<const OperatorExpr*>(condition);
    Op op = o->op;
    const Expr* boundSide = o->operands[1];
    if (VariableOf(o->operands[0]) != counter) {
        if (VariableOf(o->operands[1]) != counter) return false;
        boundSide = o->operands[0];
        op = Mirrored(op);
    }
    double bound;
    if (!LiteralValue(boundSide, &bound)) {
        const VarDecl* v = VariableOf(boundSide);
        if (!v || !v->type || TypeSize(v->type) != 1 || v->valueOffset >= map.size() ||
            !LiteralOf(map[v->valueOffset], &bound))
            return false;
    }

    // The rounds, counted as the device computes the counter (in single
    // precision). A loop that runs longer than real loops reach is unrolled
    // unless it asked to be a loop.
    const uint32_t limit = kMaxRepRounds * kMaxRepLoops;
    uint32_t rounds = 0;
    for (float v = float(start); Holds(op, v, bound); v += float(step)) {
        if (++rounds <= limit) continue;
        if (s->attributes.Has(kAttrLoop)) {
            Error(s->loc, lowmsg::kLoopTooLong, limit, limit);
            return true;
        }
        return false;
    }
    if (rounds == 0) return false;  // unrolling lowers nothing
    // A "break" leaves one "rep" by break_c (the 2_x and 3.x models), so the
    // loop must be one.
    if (BreaksOut(s->body) && (!returnInArm || rounds > kMaxRepRounds)) return false;

    const bool tooLong = rounds > uint32_t(kMaxLoopRounds);
    if (!s->attributes.Has(kAttrLoop) && !options->constantLoopsAsLoops && !tooLong) {
        options->constantLoopsUnrolled = true;
        return false;
    }

    // The counter inside the loop runs from its start to its value after the
    // last round.
    const double last = start + step * rounds;
    uint32_t counterFlags = 0;
    if (start == std::floor(start) && step == std::floor(step)) counterFlags |= kValueInteger;
    if (std::min(start, last) >= 0) counterFlags |= kValueNonNegative;
    if (std::max(start, last) <= 0) counterFlags |= kValueNonPositive;

    here = s->loc;
    const LoweringSnapshot snapshot(*this);
    ErrorLog::State saved;
    if (p.log) saved = p.log->Save();
    const std::set<const Stmt*> warnedBefore = hintsWarned;
    const HRESULT hrBefore = hr_;
    const bool errorBefore = p.errorFlag;
    const size_t first = p.instructions.size();
    for (uint32_t left = rounds, loop = 0; left > 0; ++loop) {
        const uint32_t n = std::min(left, kMaxRepRounds);
        const int32_t count = LoopCountRegister(n);
        // The body lowered again for each further loop repeats no warning.
        if (loop > 0) ++muteWarnings;
        // The first loop knows where its counter starts: it may read
        // constants through aL.
        const bool lowered = LowerLoopRounds(s, {count, false, counterSlot, uint32_t(map.size()), counterFlags,
                                                 loop == 0, loop == 0, start, step});
        if (loop > 0) --muteWarnings;
        // A body that returns or moves its counter is unrolled, and so is one
        // that a loop of rounds that could be unrolled cannot express: an
        // error in it (an array indexed by the counter that is no uniform
        // array), or constants indexed by the counter in a pixel shader,
        // which has no relative addressing. What its lowering said is said
        // again there.
        const bool unroll = !lowered || (loop == 0 && !tooLong &&
                                         (Failed() || (pixelTarget && ReadsRelative(p, first, p.instructions.size()))));
        if (unroll) {
            snapshot.Restore();
            if (p.log) p.log->Restore(std::move(saved));
            hintsWarned = warnedBefore;
            hr_ = hrBefore;
            p.errorFlag = errorBefore;
            return false;
        }
        if (Failed()) return true;
        left -= n;
    }
    return true;
}

}  // namespace hlsl::lowering
