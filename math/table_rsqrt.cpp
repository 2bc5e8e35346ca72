#include <cmath>
#include <cstring>

#include "math/klmath.h"
#include "math/rsqrt_table.h"

namespace klmath {
namespace {

struct Table {
    RsqrtSegment seg[512];
    Table() {
        for (int i = 0; i < 512; ++i) {
            double lo = i < 256 ? 0.5 + i / 512.0 : 1.0 + (i - 256) / 256.0;
            double hi = i < 256 ? lo + 1 / 512.0 : lo + 1 / 256.0;
            double ylo = 1 / std::sqrt(lo), yhi = 1 / std::sqrt(hi);
            // The slope keeps 16 significant bits; the intercept makes the line
            // pass through (lo, 1/sqrt(lo)) with that slope.
            int e;
            double frac = std::frexp((yhi - ylo) / (hi - lo), &e);
            double slope = std::ldexp(std::nearbyint(std::ldexp(frac, 16)), e - 16);
            seg[i] = {static_cast<float>(slope), static_cast<float>(ylo - slope * lo)};
        }
    }
};

}  // namespace

// Built on first use, so callers running during static initialisation (colour
// tables of other libraries) see a complete table.
const RsqrtSegment* RsqrtSegmentTable() {
    static const Table table;
    return table.seg;
}

}  // namespace klmath

float TableRsqrt(float x) {
    uint32_t b;
    std::memcpy(&b, &x, 4);
    const klmath::RsqrtSegment& s = klmath::RsqrtSegmentTable()[(b >> 15) & 0x1FF];
    uint32_t mbits = (b & 0xFFFFFFu) | 0x3F000000u;
    uint32_t ebits = ((0xBEFFFFFFu - b) >> 1) & 0xFF800000u;
    float m, e;
    std::memcpy(&m, &mbits, 4);
    std::memcpy(&e, &ebits, 4);
    return (m * s.slope + s.intercept) * e;
}
