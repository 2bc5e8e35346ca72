// What the "[unroll]" and "[unroll(n)]" attributes of a loop ask of its
// unrolling: a count caps the rounds, and a loop that asked to be unrolled
// but cannot be says so by the attribute's name. A "[loop]" the model cannot
// honour is a warning.
#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {

bool Lowerer::UnrollRoundAllowed(const LoopStmt* s, int round) {
    const uint32_t count = s->attributes.unrollCount;
    if (count == 0 || uint32_t(round) < count) return true;
    Error(s->loc, lowmsg::kUnrollCountExceeded, count, count);
    return false;
}

void Lowerer::ReportLoopNotUnrolled(const LoopStmt* s) {
    if (s->attributes.Has(kAttrUnroll)) Error(s->loc, lowmsg::kCannotUnroll, kMaxLoopRounds);
    else Error(s->loc, lowmsg::kGeneralLoop);
}

void Lowerer::ReportLoopUnrolled(const LoopStmt* s) {
    if (hintsWarned.insert(s).second)
        Warning(s->loc, lowmsg::kLoopUnrolled, p.target.name ? p.target.name : "the target");
}

}  // namespace hlsl::lowering
