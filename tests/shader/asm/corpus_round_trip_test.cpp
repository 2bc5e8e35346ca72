// Round trip through the three tools: every entry point of the shared corpus
// that compiles today, for its listed profile and for each profile of its kind
// that the compiler accepts (one test per profile, so they run side by side),
// is disassembled and assembled again, and
// must give the same instruction tokens (comment blocks aside). A mismatch is
// a fault in the compiler, the disassembler or the assembler; the ones traced
// to the compiler are listed in known_round_trip_mismatches.tsv with the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "asm_test_support.h"
#include "gfx/exports.h"
#include "shader/compiler.h"

namespace {

const char kCorpus[] = "/work/shared/corpus/hlsl";

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

struct Entry {
    std::string path, function, profile;
    bool operator<(const Entry& o) const {
        return std::tie(path, function, profile) < std::tie(o.path, o.function, o.profile);
    }
};

std::set<Entry> ReadKnownMismatches() {
    std::set<Entry> entries;
    std::ifstream list("known_round_trip_mismatches.tsv");
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = SplitTabs(line);
        if (f.size() >= 3) entries.insert({f[0], f[1], f[2]});
    }
    return entries;
}

bool SameKind(const std::string& a, const std::string& b) { return a.compare(0, 2, b, 0, 2) == 0; }

// The first differing token, for the failure message.
std::string FirstDifference(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i >= a.size() || i >= b.size() || a[i] != b[i]) {
            char text[96];
            std::snprintf(text, sizeof(text), "token %zu: compiled 0x%08X, assembled 0x%08X", i,
                          i < a.size() ? unsigned(a[i]) : 0u, i < b.size() ? unsigned(b[i]) : 0u);
            return text;
        }
    }
    return "none";
}

class CorpusRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(CorpusRoundTrip, CompiledDisassembledAssembledGivesTheSameTokens) {
    const std::string profile = GetParam();
    KilnGfxRegisterExports();  // the validator checks every assembled instruction
    const std::string manifest = std::string(kCorpus) + "/MANIFEST.tsv";
    if (!std::filesystem::exists(manifest)) GTEST_SKIP() << "no corpus manifest at " << manifest;
    const std::set<Entry> known = ReadKnownMismatches();
    std::set<Entry> entries;
    std::ifstream in(manifest);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        const auto f = SplitTabs(line);
        if (f.size() < 7 || f[6].empty()) continue;
        std::string list = f[6];
        for (char& c : list)
            if (c == ',') c = ' ';
        std::stringstream listed(list);
        for (std::string e; listed >> e;) {
            const size_t colon = e.find(':');
            if (colon == std::string::npos) continue;
            if (SameKind(profile, e.substr(colon + 1))) entries.insert({f[0], e.substr(0, colon), profile});
        }
    }

    size_t checked = 0, knownSeen = 0;
    for (const Entry& entry : entries) {
        const std::string path = std::string(kCorpus) + "/" + entry.path;
        IKLBuffer* code = nullptr;
        const HRESULT hr = KLCompileShaderFromFileA(path.c_str(), nullptr, nullptr, entry.function.c_str(),
                                                    entry.profile.c_str(), 0, &code, nullptr, nullptr);
        if (FAILED(hr) || !code) continue;
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        const std::vector<DWORD> compiled(tokens, tokens + code->GetBufferSize() / 4);
        code->Release();

        const std::string where = entry.path + " " + entry.function + " " + entry.profile;
        std::string problem;
        const std::string text = DisassembleCode(compiled, &problem);
        ASSERT_FALSE(text.empty()) << where << ": " << problem;
        const Assembled assembled = AssembleText(text);
        ++checked;
        const bool same = assembled.Ok() && InstructionTokens(assembled.code) == InstructionTokens(compiled);
        if (known.count(entry)) {
            ++knownSeen;
            EXPECT_FALSE(same) << where << " is listed as a known mismatch but round-trips";
            continue;
        }
        ASSERT_TRUE(assembled.Ok()) << where << "\n" << assembled.messages << text;
        EXPECT_TRUE(same) << where << ": " << FirstDifference(InstructionTokens(compiled), InstructionTokens(assembled.code))
                          << "\n" << text;
    }
    std::printf("round trip %s: %zu compiled programs checked, %zu of them known mismatches\n", profile.c_str(), checked,
                knownSeen);
    EXPECT_GT(checked, 20u);
}

INSTANTIATE_TEST_SUITE_P(Profiles, CorpusRoundTrip,
                         testing::Values("vs_1_1", "vs_2_0", "vs_2_sw", "ps_1_1", "ps_1_2", "ps_1_3", "ps_1_4", "ps_2_0",
                                         "ps_2_sw"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
