// The segment table behind TableRsqrt: 512 straight-line pieces of 1/sqrt(m)
// for m in [0.5, 2).
#pragma once

namespace klmath {

struct RsqrtSegment {
    float slope;
    float intercept;
};

// [0.5, 1) in 256 segments of width 1/512, then [1, 2) in 256 of width 1/256.
const RsqrtSegment* RsqrtSegmentTable();

}  // namespace klmath
