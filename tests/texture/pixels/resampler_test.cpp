// The resampler's strategies on memory images: box halving, two-tap and tent
// weights, unfiltered and point copies.
#include <gtest/gtest.h>

#include <vector>

#include "texture/pixels/image_resampler.h"

namespace {

// A memory image of 32-bit floats per channel, so weights can be read back exactly.
struct FloatImage {
    uint32_t width, height, depth;
    std::vector<float> data;
    FloatImage(uint32_t w, uint32_t h, uint32_t d = 1) : width(w), height(h), depth(d), data(size_t{w} * h * d * 4) {}
    float& R(uint32_t x, uint32_t y, uint32_t z = 0) { return data[((size_t{z} * height + y) * width + x) * 4]; }
    ImageView View() {
        ImageView v;
        v.pixels = reinterpret_cast<BYTE*>(data.data());
        v.format = D3DFMT_A32B32G32R32F;
        v.rowPitch = width * 16;
        v.slicePitch = width * height * 16;
        v.extent = v.region = ImageBox{0, 0, width, height, 0, depth};
        return v;
    }
};

HRESULT Resample(FloatImage& dst, FloatImage& src, uint32_t filter) {
    ImageView d = dst.View(), s = src.View();
    ImageResampler r;
    return r.Run(d, s, filter);
}

struct ArgbImage {
    uint32_t width, height;
    std::vector<uint32_t> data;
    ArgbImage(uint32_t w, uint32_t h, uint32_t fill = 0) : width(w), height(h), data(size_t{w} * h, fill) {}
    ImageView View(D3DFORMAT format = D3DFMT_A8R8G8B8) {
        ImageView v;
        v.pixels = reinterpret_cast<BYTE*>(data.data());
        v.format = format;
        v.rowPitch = width * 4;
        v.extent = v.region = ImageBox{0, 0, width, height, 0, 1};
        return v;
    }
};

TEST(Resampler, BoxHalvingRoundsHalvesUp) {
    struct Case {
        uint32_t reds[4];
        uint32_t expected;
    } cases[] = {{{0, 1, 2, 2}, 1}, {{1, 1, 2, 2}, 2}, {{255, 255, 255, 255}, 255}};
    for (const Case& c : cases) {
        ArgbImage src(2, 2), dst(1, 1);
        for (int i = 0; i < 4; ++i) src.data[i] = 0xFF000000u | (c.reds[i] << 16);
        ImageView d = dst.View(), s = src.View();
        ASSERT_EQ(ImageResampler().Run(d, s, TexFilterBox), S_OK);
        EXPECT_EQ((dst.data[0] >> 16) & 0xFF, c.expected);
        EXPECT_EQ(dst.data[0] >> 24, 0xFFu);
        // The float path (taken with dithering off but different formats) agrees.
        FloatImage fdst(1, 1);
        ImageView fd = fdst.View();
        s = src.View();
        ASSERT_EQ(ImageResampler().Run(fd, s, TexFilterBox), S_OK);
        EXPECT_NEAR(fdst.R(0, 0), (c.reds[0] + c.reds[1] + c.reds[2] + c.reds[3]) / 4.0f / 255.0f, 1e-6);
    }
}

TEST(Resampler, BoxDropsTheOddLastRowAndColumn) {
    FloatImage src(3, 3), dst(1, 1);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 3; ++x) src.R(x, y) = (x == 2 || y == 2) ? 100.0f : 1.0f;
    ASSERT_EQ(Resample(dst, src, TexFilterBox), S_OK);
    EXPECT_FLOAT_EQ(dst.R(0, 0), 1.0f);

    // Box at another ratio is not a halving and falls to the tent filter: the result
    // still stays within the source's values for a constant image.
    FloatImage flat(8, 8), odd(3, 3);
    for (float& v : flat.data) v = 0.5f;
    ASSERT_EQ(Resample(odd, flat, TexFilterBox), S_OK);
    EXPECT_NEAR(odd.R(1, 1), 0.5f, 1e-5);
}

TEST(Resampler, VolumeBoxAveragesEightSamples) {
    FloatImage src(2, 2, 2), dst(1, 1, 1);
    for (uint32_t i = 0; i < 8; ++i) src.data[4 * i] = static_cast<float>(i);
    ASSERT_EQ(Resample(dst, src, TexFilterBox), S_OK);
    EXPECT_FLOAT_EQ(dst.R(0, 0), 3.5f);
}

TEST(Resampler, LinearReductionTakesPairs) {
    FloatImage src(4, 1), dst(2, 1);
    for (uint32_t x = 0; x < 4; ++x) src.R(x, 0) = static_cast<float>(1 << x);
    ASSERT_EQ(Resample(dst, src, TexFilterLinear), S_OK);
    EXPECT_FLOAT_EQ(dst.R(0, 0), 0.5f * 1 + 0.5f * 2);
    EXPECT_FLOAT_EQ(dst.R(1, 0), 0.5f * 4 + 0.5f * 8);
}

TEST(Resampler, LinearEnlargementWrapsOrClampsByMirrorFlag) {
    FloatImage src(2, 1), wrap(4, 1), clamp(4, 1);
    src.R(0, 0) = 0.0f, src.R(1, 0) = 1.0f;
    ASSERT_EQ(Resample(wrap, src, TexFilterLinear), S_OK);
    EXPECT_FLOAT_EQ(wrap.R(0, 0), 0.25f);  // 0.25 of the opposite edge
    ASSERT_EQ(Resample(clamp, src, TexFilterLinear | TexFilterMirrorU), S_OK);
    EXPECT_FLOAT_EQ(clamp.R(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(clamp.R(3, 0), 1.0f);
}

TEST(Resampler, TentReductionWeights) {
    // A single bright source pixel shows its spread: 1/16, 7/16, 7/16, 1/16 per 2:1 axis.
    FloatImage src(8, 1), dst(4, 1);
    src.R(3, 0) = 16.0f;
    ASSERT_EQ(Resample(dst, src, TexFilterTriangle), S_OK);
    EXPECT_FLOAT_EQ(dst.R(0, 0), 0.0f);
    EXPECT_FLOAT_EQ(dst.R(1, 0), 7.0f);
    EXPECT_FLOAT_EQ(dst.R(2, 0), 1.0f);
    EXPECT_FLOAT_EQ(dst.R(3, 0), 0.0f);
}

TEST(Resampler, TentEnlargementAndEdges) {
    FloatImage src(2, 1), wrap(4, 1), mirror(4, 1);
    src.R(0, 0) = 1.0f, src.R(1, 0) = 0.0f;
    ASSERT_EQ(Resample(wrap, src, TexFilterTriangle), S_OK);
    EXPECT_FLOAT_EQ(wrap.R(0, 0), 0.75f);
    EXPECT_FLOAT_EQ(wrap.R(1, 0), 0.75f);
    EXPECT_FLOAT_EQ(wrap.R(2, 0), 0.25f);
    EXPECT_FLOAT_EQ(wrap.R(3, 0), 0.25f);  // borrows from the opposite edge
    ASSERT_EQ(Resample(mirror, src, TexFilterTriangle | TexFilterMirrorU), S_OK);
    EXPECT_FLOAT_EQ(mirror.R(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(mirror.R(1, 0), 0.75f);
    EXPECT_FLOAT_EQ(mirror.R(3, 0), 0.0f);
}

TEST(Resampler, TentVolumePreservesConstants) {
    FloatImage src(4, 4, 4), dst(2, 3, 3);
    for (float& v : src.data) v = 0.25f;
    ASSERT_EQ(Resample(dst, src, TexFilterTriangle), S_OK);
    for (uint32_t i = 0; i < dst.data.size(); i += 4) EXPECT_NEAR(dst.data[i], 0.25f, 1e-5) << i;
}

TEST(Resampler, UnfilteredAndPointCopies) {
    ArgbImage src(2, 2, 0xFF112233), dst(3, 3, 0x12345678);
    ImageView d = dst.View(), s = src.View();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterNone), S_OK);
    EXPECT_EQ(dst.data[0], 0xFF112233u);
    EXPECT_EQ(dst.data[2], 0u);  // outside the source: transparent black
    EXPECT_EQ(dst.data[8], 0u);

    ArgbImage wide(4, 1);
    for (uint32_t x = 0; x < 4; ++x) wide.data[x] = 0xFF000000u | x;
    ArgbImage half(2, 1);
    d = half.View(), s = wide.View();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterPoint), S_OK);
    EXPECT_EQ(half.data[0], 0xFF000000u);
    EXPECT_EQ(half.data[1], 0xFF000002u);
}

TEST(Resampler, IdenticalCopyAndConversion) {
    ArgbImage src(3, 2), dst(3, 2), x8(3, 2);
    for (uint32_t i = 0; i < 6; ++i) src.data[i] = 0x80000000u | (i * 0x010203);
    ImageView d = dst.View(), s = src.View();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterTriangle | TexFilterDither), S_OK);
    EXPECT_EQ(dst.data, src.data);
    d = x8.View(D3DFMT_X8R8G8B8), s = src.View();
    ASSERT_EQ(ImageResampler().Run(d, s, TexFilterTriangle), S_OK);
    for (uint32_t i = 0; i < 6; ++i) EXPECT_EQ(x8.data[i], src.data[i] & 0xFFFFFF) << i;
}

TEST(Resampler, RejectsBadFiltersAndUnknownFormats) {
    ArgbImage a(2, 2), b(2, 2);
    for (uint32_t filter : {0u, 6u, 0x400004u, 0x80000000u}) {
        ImageView d = a.View(), s = b.View();
        EXPECT_EQ(ImageResampler().Run(d, s, filter), D3DERR_INVALIDCALL) << filter;
    }
    ImageView d = a.View(D3DFMT_D24S8), s = b.View();
    EXPECT_EQ(ImageResampler().Run(d, s, TexFilterBox), E_FAIL);
}

}  // namespace
