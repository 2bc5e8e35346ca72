// The plain variant of every dispatched operation: portable floating-point
// code whose sums of products stay in extended precision until stored. These
// are the reference results the other variants are held to.
#pragma once

#include "math/dispatch/slot_list.h"

namespace klmath::plain {

#define KL_PLAIN_DECLARE(n, name, ret, params, args) ret name params;
KL_MATH_SLOTS(KL_PLAIN_DECLARE)
#undef KL_PLAIN_DECLARE

}  // namespace klmath::plain
