// The target table and its two lookups, and the choice of the entry function.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shader/compile_pipeline.h"
#include "shader/target.h"

namespace {

TEST(Targets, TableIsSortedByteWise) {
    size_t count = 0;
    const TargetDesc* table = TargetTable(&count);
    ASSERT_EQ(count, 41u);
    for (size_t i = 1; i < count; ++i) EXPECT_LT(std::strcmp(table[i - 1].name, table[i].name), 0) << table[i].name;
    for (size_t i = 0; i < count; ++i) {
        TargetDesc row;
        EXPECT_EQ(FindTargetByName(table[i].name, kTargetNone, &row), S_OK) << table[i].name;
        EXPECT_EQ(row.version, table[i].version);
    }
}

// "ps.2.x" and "ps_2_x" name one profile: the compile may not depend on the
// spelling.
TEST(Targets, DottedAndUnderscoreSpellingsShareTheirFeatures) {
    size_t count = 0;
    const TargetDesc* table = TargetTable(&count);
    int pairs = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!std::strchr(table[i].name, '.')) continue;
        std::string underscore = table[i].name;
        for (char& c : underscore)
            if (c == '.') c = '_';
        TargetDesc row{};
        ASSERT_EQ(FindTargetByName(underscore.c_str(), kTargetNone, &row), S_OK) << underscore;
        EXPECT_EQ(row.features, table[i].features) << table[i].name;
        EXPECT_EQ(row.version, table[i].version) << table[i].name;
        ++pairs;
    }
    EXPECT_EQ(pairs, 17);
}

TEST(Targets, FindByName) {
    struct Row {
        const char* name;
        uint32_t caps;
        HRESULT hr;
        uint32_t version;
    };
    const Row rows[] = {
        {"vs_2_0", kTargetCompile, S_OK, 0xFFFE0200},  {"vs.2.0", kTargetCompile, S_OK, 0xFFFE0200},
        {"VS_2_0", kTargetNone, E_FAIL, 0},            {"vs_3_0", kTargetCompile, S_OK, 0xFFFE0300},
        {"vs_3_0", kTargetAssemble, S_OK, 0xFFFE0300}, {"ps_2_x", kTargetCompile, S_OK, 0xFFFF0201},
        {"ps.3.0", kTargetCompile, S_OK, 0xFFFF0300},  {"ps_3_sw", kTargetCompile, S_OK, 0xFFFF03FF},
        // The widely used 2_x names compile with the 2_x version token; the
        // assembler's version statement knows only ps_2_x and vs_2_x.
        {"ps_2_a", kTargetCompile, S_OK, 0xFFFF0201},  {"ps_2_b", kTargetCompile, S_OK, 0xFFFF0201},
        {"vs_2_a", kTargetCompile, S_OK, 0xFFFE0201},  {"ps_2_b", kTargetAssemble, E_FAIL, 0},
        {"vs_2_b", kTargetNone, E_FAIL, 0},
        {"ps_2_x", kTargetAssemble, S_OK, 0xFFFF0201}, {"ps", kTargetNone, S_OK, 0xFFFF0000},
        {"ps", kTargetCompile, E_FAIL, 0},             {"tx_1_0", kTargetTextureFill | kTargetCompile, S_OK, 0x54580100},
        {"ps_2_sw", kTargetCompile, S_OK, 0xFFFF02FF}, {"vs_2_0 ", kTargetNone, E_FAIL, 0},
        {"", kTargetNone, E_FAIL, 0},
    };
    for (const Row& r : rows) {
        TargetDesc row{};
        EXPECT_EQ(FindTargetByName(r.name, r.caps, &row), r.hr) << r.name;
        if (r.hr == S_OK) {
            EXPECT_EQ(row.version, r.version) << r.name;
        }
    }
    EXPECT_EQ(FindTargetByName(nullptr, kTargetNone, nullptr), D3DERR_INVALIDCALL);
}

TEST(Targets, FindByVersionGivesTheUnderscoreSpelling) {
    TargetDesc row{};
    ASSERT_EQ(FindTargetByVersion(0xFFFF0200, kTargetCompile, &row), S_OK);
    EXPECT_STREQ(row.name, "ps_2_0");
    ASSERT_EQ(FindTargetByVersion(0xFFFE0300, kTargetAssemble, &row), S_OK);
    EXPECT_STREQ(row.name, "vs_3_0");
    ASSERT_EQ(FindTargetByVersion(0xFFFE0300, kTargetCompile, &row), S_OK);
    EXPECT_STREQ(row.name, "vs_3_0");
    // The 2_x version token names its generic profile, not a vendor variant.
    ASSERT_EQ(FindTargetByVersion(0xFFFF0201, kTargetCompile, &row), S_OK);
    EXPECT_STREQ(row.name, "ps_2_x");
    ASSERT_EQ(FindTargetByVersion(0xFFFE0201, kTargetCompile, &row), S_OK);
    EXPECT_STREQ(row.name, "vs_2_x");
    EXPECT_EQ(FindTargetByVersion(0x12345678, kTargetNone, &row), E_FAIL);
}

TEST(EntryPoint, TargetedFunctionsAreChosenByVersion) {
    const std::vector<EntryCandidate> two = {{"main", true, "vs_2_0"}, {"main", true, nullptr}};
    EXPECT_EQ(SelectEntryPoint(two, "main", 0xFFFE0200), 0);
    EXPECT_EQ(SelectEntryPoint(two, "main", 0xFFFE0101), 1);
    EXPECT_EQ(SelectEntryPoint(two, "main", 0xFFFF0200), 1);
    const std::vector<EntryCandidate> kinds = {{"main", true, "ps"}, {"main", true, "vs"}, {"main", false, "vs_1_1"}};
    EXPECT_EQ(SelectEntryPoint(kinds, "main", 0xFFFE0101), 1);
    EXPECT_EQ(SelectEntryPoint(kinds, "main", 0xFFFF0104), 0);
    const std::vector<EntryCandidate> others = {{"Main", true, nullptr}, {"main", true, "bogus"}, {"f", true, nullptr}};
    EXPECT_EQ(SelectEntryPoint(others, "main", 0xFFFE0200), -1);
    const std::vector<EntryCandidate> ties = {{"m", true, nullptr}, {"m", true, nullptr}};
    EXPECT_EQ(SelectEntryPoint(ties, "m", 0xFFFE0200), 0);
    EXPECT_EQ(SelectEntryPoint(ties, nullptr, 0xFFFE0200), -1);
}

}  // namespace
