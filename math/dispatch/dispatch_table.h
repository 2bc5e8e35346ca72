// The process-wide dispatch table: one operation pointer per slot, the constant
// table of plain variants, and the variant sets that a path installs.
#pragma once

#include <span>

#include "math/dispatch/slot_list.h"

namespace klmath {

// A slot holds any operation; the public entry casts it back to its signature.
using MathOp = void (*)();

constexpr int kSlotCount = 71;

enum Slot : int {
#define KL_SLOT_ENUM(n, name, ret, params, args) kSlot##name = n,
    KL_MATH_SLOTS(KL_SLOT_ENUM)
#undef KL_SLOT_ENUM
};

// The exact signature of each slot, so that variant lists are type-checked.
template <int N>
struct SlotSignature;
#define KL_SLOT_SIGNATURE(n, name, ret, params, args) \
    template <>                                       \
    struct SlotSignature<n> {                         \
        using type = ret(*) params;                   \
    };
KL_MATH_SLOTS(KL_SLOT_SIGNATURE)
#undef KL_SLOT_SIGNATURE

template <int N>
using SlotFn = typename SlotSignature<N>::type;

// One variant for one slot.
struct SlotEntry {
    int slot;
    MathOp op;
};

template <int N>
SlotEntry Use(SlotFn<N> fn) {
    return {N, reinterpret_cast<MathOp>(fn)};
}

// Casts a slot's operation back to its signature.
template <int N>
SlotFn<N> As(MathOp op) {
    return reinterpret_cast<SlotFn<N>>(op);
}

extern MathOp MathDispatchTable[kSlotCount];
// The lazy entry of each slot (what the table holds before any selection).
extern const MathOp MathLazyTable[kSlotCount];
extern const MathOp MathPlainTable[kSlotCount];

// Puts the table back in its start-up state: lazy entries in every slot and
// the path unselected, so the next dispatched call selects again. For tests.
void ResetToLazyEntries();

// Variant sets, by instruction family. Each lists only the slots it replaces.
std::span<const SlotEntry> X86Variants();        // slots 0-7 and 34
std::span<const SlotEntry> SseVariants();        // the SSE slot list
std::span<const SlotEntry> Sse2Variants();       // the SSE list without slot 44
std::span<const SlotEntry> Sse3DNowArrays();     // slots 59-65 and 68 of the 3DNow! path
// This build has no 3DNow! instructions: both sets are empty, so the 3DNow!
// path keeps the plain and x86 variants in their slots.
std::span<const SlotEntry> ThreeDNowVariants();
std::span<const SlotEntry> ThreeDNowExtVariants();

}  // namespace klmath
