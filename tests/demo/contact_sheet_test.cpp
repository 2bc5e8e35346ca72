#include <gtest/gtest.h>

#include <vector>

#include "demo/contact_sheet.h"

namespace {

// A frame filled with one colour, with a row pitch wider than the row.
struct TestFrame {
    TestFrame(UINT w, UINT h, uint32_t colour) : width(w), height(h), pixels((w + 3) * h, colour) {}
    gfx::PresentedFrame View(uint64_t index = 0) const {
        return {reinterpret_cast<const BYTE*>(pixels.data()), INT((width + 3) * 4), width, height, D3DFMT_A8R8G8B8,
                nullptr, index};
    }
    UINT width, height;
    std::vector<uint32_t> pixels;
};

TEST(ContactSheet, ShrinkAveragesEachBox) {
    TestFrame frame(4, 2, 0);
    // Left 2x2 box: two white and two black pixels; right box: all 0x10203040.
    uint32_t* p = frame.pixels.data();
    const UINT pitch = 7;
    p[0] = p[pitch + 1] = 0xFFFFFFFFu;
    p[1] = p[pitch] = 0xFF000000u;
    p[2] = p[3] = p[pitch + 2] = p[pitch + 3] = 0x10203040u;
    gfx::FrameImage small = demo::Shrink(frame.View(), 2, 1);
    ASSERT_EQ(small.pixels.size(), 2u);
    EXPECT_EQ(small.At(0, 0), 0xFF808080u);  // (255 + 0) / 2 rounded
    EXPECT_EQ(small.At(1, 0), 0x10203040u);
}

TEST(ContactSheet, PicksFramesEvenlyAcrossARunOfUnknownLength) {
    for (uint64_t total : {5ull, 24ull, 100ull, 2881ull}) {
        SCOPED_TRACE(total);
        demo::ContactSheet sheet(6, 4, 40);
        TestFrame frame(80, 60, 0xFF112233u);
        for (uint64_t i = 0; i < total; ++i) sheet.Add(frame.View(i));
        std::vector<uint64_t> chosen = sheet.ChosenFrames();
        ASSERT_EQ(chosen.size(), std::min<uint64_t>(total, 24));
        EXPECT_EQ(chosen.front(), 0u);
        for (size_t i = 1; i < chosen.size(); ++i) EXPECT_GT(chosen[i], chosen[i - 1]);
        if (total > 24) {
            // Evenly: gaps differ by at most the sampling stride, and the last
            // pick lies in the final stretch of the run.
            double ideal = double(total) / 24;
            EXPECT_GT(double(chosen.back()), double(total) - 2 * ideal);
            for (size_t i = 1; i < chosen.size(); ++i) EXPECT_LE(double(chosen[i] - chosen[i - 1]), 2.5 * ideal);
        }
        gfx::FrameImage image = sheet.Compose();
        UINT columns = UINT(std::min<uint64_t>(total, 6));
        UINT rows = UINT((chosen.size() + columns - 1) / columns);
        EXPECT_EQ(image.width, columns * 40 + (columns + 1) * 4);
        EXPECT_EQ(image.height, rows * 30 + (rows + 1) * 4);
        EXPECT_EQ(image.At(4, 4), 0xFF112233u) << "the first thumbnail sits inside the margin";
        EXPECT_EQ(image.At(0, 0), 0xFF202020u);
    }
}

TEST(ContactSheet, EmptySheetWritesNothing) {
    demo::ContactSheet sheet;
    EXPECT_TRUE(sheet.Compose().pixels.empty());
    EXPECT_EQ(sheet.Write(testing::TempDir() + "/never.png"), E_FAIL);
}

}  // namespace
