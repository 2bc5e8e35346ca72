// The SSE2 byte-lane halving agrees with the plain routine on every width,
// including the tails past the last group of four and saturated bytes.
#include <gtest/gtest.h>

#include <vector>

#include "texture/pixels/image_resampler.h"

namespace {

TEST(BoxHalvingLanes, Sse2MatchesThePlainRoutine) {
    uint32_t seed = 5;
    for (uint32_t width = 1; width <= 37; ++width)
        for (int fill = 0; fill < 3; ++fill) {
            std::vector<BYTE> row0(8 * width), row1(8 * width);
            for (size_t i = 0; i < row0.size(); ++i) {
                seed = seed * 1664525u + 1013904223u;
                // Random bytes, all 255 (no 16-bit overflow may clip), and sums that end in ...10 (rounding).
                row0[i] = fill == 0 ? BYTE(seed >> 24) : fill == 1 ? 255 : BYTE(i & 1 ? 1 : 0);
                row1[i] = fill == 0 ? BYTE(seed >> 16) : fill == 1 ? 255 : BYTE(i & 2 ? 1 : 0);
            }
            std::vector<BYTE> plain(4 * width, 0xCD), fast(4 * width, 0xCD);
            HalveRowByLanesPlain(row0.data(), row1.data(), plain.data(), width);
            HalveRowByLanesSse2(row0.data(), row1.data(), fast.data(), width);
            ASSERT_EQ(plain, fast) << "width " << width << ", fill " << fill;
        }
}

}  // namespace
