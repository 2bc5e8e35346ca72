// The format table's nearest-format searches.
#include <gtest/gtest.h>

#include "texture/pixels/format_table.h"

namespace {

FormatTraits Wanted(D3DFORMAT f, uint32_t a, uint32_t r, uint32_t g, uint32_t b, FormatClass c = FormatClass::Rgb) {
    return FormatTraits{f, c, 32, 0, a, r, g, b, 0};
}

TEST(FormatTable, DeviceFreeSearchPrefersFewerLostBitsThenTableOrder) {
    // 24-bit colour with one alpha bit: the 8:8:8:8 formats and the 2:10:10:10
    // formats tie at distance 7; the first in table order wins.
    EXPECT_EQ(NearestDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, Wanted(D3DFMT_UNKNOWN, 1, 8, 8, 8)), D3DFMT_A8R8G8B8);
    EXPECT_EQ(FormatDistance(Wanted(D3DFMT_UNKNOWN, 1, 8, 8, 8), *FindFormatTraits(D3DFMT_A8R8G8B8)), 7u);
    EXPECT_EQ(FormatDistance(Wanted(D3DFMT_UNKNOWN, 1, 8, 8, 8), *FindFormatTraits(D3DFMT_A1R5G5B5)), 0x90000u);
    // An exact format match wins even without the candidate flag.
    EXPECT_EQ(NearestDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, *FindFormatTraits(D3DFMT_R8G8B8)), D3DFMT_R8G8B8);
    FormatTraits cleared = *FindFormatTraits(D3DFMT_R8G8B8);
    cleared.format = D3DFMT_UNKNOWN;
    EXPECT_EQ(NearestDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, cleared), D3DFMT_X8R8G8B8);
    // The default row (unknown format) asks for 8:8:8:8.
    EXPECT_EQ(NearestDeviceFormat(nullptr, 0, D3DRTYPE_TEXTURE, FormatTraitsOrDefault(D3DFMT_UNKNOWN)),
              D3DFMT_A8R8G8B8);
}

TEST(FormatTable, ClassesAndLostChannels) {
    // Signed requests never land on colour formats, and a format that loses
    // every wanted channel is not usable.
    EXPECT_EQ(FormatDistance(*FindFormatTraits(D3DFMT_V8U8), *FindFormatTraits(D3DFMT_A8R8G8B8)), UINT32_MAX);
    EXPECT_EQ(FormatDistance(Wanted(D3DFMT_UNKNOWN, 0, 8, 8, 8), *FindFormatTraits(D3DFMT_A8)), UINT32_MAX);
    // Luminance may be served by colour, not the other way round.
    EXPECT_NE(FormatDistance(*FindFormatTraits(D3DFMT_L8), *FindFormatTraits(D3DFMT_X8R8G8B8)), UINT32_MAX);
    EXPECT_EQ(FormatDistance(*FindFormatTraits(D3DFMT_X8R8G8B8), *FindFormatTraits(D3DFMT_L8)), UINT32_MAX);
}

TEST(FormatTable, NearestInListSkipsPalettesAndPrefersFewerBits) {
    const D3DFORMAT list[] = {D3DFMT_P8, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_UNKNOWN};
    // Colour without alpha: X8R8G8B8 and R8G8B8 both score 0; fewer bits wins.
    EXPECT_EQ(NearestFormatInList(list, false, Wanted(D3DFMT_UNKNOWN, 0, 8, 8, 8)), D3DFMT_R8G8B8);
    EXPECT_EQ(NearestFormatInList(list, false, *FindFormatTraits(D3DFMT_P8)), D3DFMT_A8R8G8B8);
    EXPECT_EQ(NearestFormatInList(list, true, *FindFormatTraits(D3DFMT_P8)), D3DFMT_P8);
    const D3DFORMAT none[] = {D3DFMT_D24S8, D3DFMT_UNKNOWN};
    EXPECT_EQ(NearestFormatInList(none, true, *FindFormatTraits(D3DFMT_L8)), D3DFMT_UNKNOWN);
}

}  // namespace
