// The expansions of the intrinsic functions, shared by the files that hold
// them.
#pragma once

#include "shader/frontend/intrinsics.h"
#include "shader/frontend/lowering/lowerer.h"

namespace hlsl::lowering {

// Whether the intrinsic is a texture lookup.
inline bool IsLookup(IntrinsicId id) {
    return (id >= kTex1D && id <= kTexCubebias) || (id >= kTex1Dlod && id <= kTexCubelod);
}

// The component-wise intrinsics; false when `id` is not one of them.
bool LowerComponentwise(Lowerer& l, IntrinsicId id, std::vector<Value> args, size_t n, Value* out);

// Sine and/or cosine of every component of x: the sines first, then the
// cosines, computed by one shared expansion.
Value SineCosine(Lowerer& l, const Value& x, bool sine, bool cosine);

}  // namespace hlsl::lowering
