// The SSE and SSE2 variants, listed per source file. Each function returns the
// slots its file fills for one instruction family.
#pragma once

#include "math/dispatch/dispatch_table.h"

namespace klmath::simd {

enum class Family { Sse, Sse2 };

std::span<const SlotEntry> VectorSlots(Family family);
std::span<const SlotEntry> MatrixSlots(Family family);
std::span<const SlotEntry> QuaternionSlots(Family family);
std::span<const SlotEntry> PlaneSlots(Family family);
std::span<const SlotEntry> ArraySlots(Family family);
std::span<const SlotEntry> HalfSlots(Family family);

}  // namespace klmath::simd
