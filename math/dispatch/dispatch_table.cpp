#include "math/dispatch/dispatch_table.h"

#include "math/plain/plain_ops.h"

namespace klmath {
namespace {

// The lazy entry of each slot: selects the path for the whole process, which
// overwrites every slot, then jumps through its own slot with the caller's
// arguments.
#define KL_LAZY_ENTRY(n, name, ret, params, args) \
    ret Lazy##name params {                       \
        MathPathSelect(1);                        \
        return As<n>(MathDispatchTable[n]) args;  \
    }
KL_MATH_SLOTS(KL_LAZY_ENTRY)
#undef KL_LAZY_ENTRY

}  // namespace

// Both tables are initialised from addresses only, so they are filled before
// any code runs (no dependence on the order of static initialisation).
#define KL_LAZY_SLOT(n, name, ret, params, args) reinterpret_cast<MathOp>(&Lazy##name),
MathOp MathDispatchTable[kSlotCount] = {KL_MATH_SLOTS(KL_LAZY_SLOT)};
const MathOp MathLazyTable[kSlotCount] = {KL_MATH_SLOTS(KL_LAZY_SLOT)};
#undef KL_LAZY_SLOT

const MathOp MathPlainTable[kSlotCount] = {
#define KL_PLAIN_SLOT(n, name, ret, params, args) reinterpret_cast<MathOp>(&plain::name),
    KL_MATH_SLOTS(KL_PLAIN_SLOT)
#undef KL_PLAIN_SLOT
};

}  // namespace klmath

// The public entries: one indirect jump each.
#define KL_PUBLIC_ENTRY(n, name, ret, params, args) \
    ret KL##name params { return klmath::As<n>(klmath::MathDispatchTable[n]) args; }
KL_MATH_SLOTS(KL_PUBLIC_ENTRY)
#undef KL_PUBLIC_ENTRY
