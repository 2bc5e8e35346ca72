// Field test: every entry point that the shared corpus's manifest lists is
// compiled with its intended profile. It prints how many compiled and fails
// on every failure that own_failures.tsv does not list as the file's own
// fault (or its manifest line's) and known_limits.tsv does not list as an
// open limit of the compiler; a failure must come with an error message, and
// the listed failures must still fail. An extra column compiles every
// ps_2_0 program that is too large for ps_2_0's instruction slots as ps_3_0.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

// Reads a list of expected failures: path, entry, profile, reason.
std::set<Entry> ReadList(const char* file) {
    std::set<Entry> entries;
    std::ifstream list(file);
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = SplitTabs(line);
        if (f.size() >= 3) entries.insert({f[0], f[1], f[2]});
    }
    return entries;
}

struct CompileResult {
    HRESULT hr;
    std::string messages;
};

CompileResult CompileEntry(const std::string& path, const std::string& function, const char* profile) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr =
        KLCompileShaderFromFileA(path.c_str(), nullptr, nullptr, function.c_str(), profile, 0, &code, &errors, nullptr);
    std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
    if (errors) errors->Release();
    if (code) code->Release();
    return {hr, messages};
}

std::string FirstError(const std::string& messages) {
    std::stringstream in(messages);
    std::string line;
    while (std::getline(in, line))
        if (line.find("error") != std::string::npos) return line.substr(line.rfind('/') == std::string::npos ? 0 : line.rfind('/') + 1);
    return messages.empty() ? "(no message)" : messages;
}

TEST(CorpusCompile, EveryListedEntryPoint) {
    const std::string manifest = std::string(kCorpus) + "/MANIFEST.tsv";
    if (!std::filesystem::exists(manifest)) GTEST_SKIP() << "no corpus manifest at " << manifest;
    // Compiles are checked by the platform's validator, as where the
    // platform is installed: a program over its model's limits fails.
    KilnGfxRegisterExports();
    const std::set<Entry> own = ReadList("own_failures.tsv");
    const std::set<Entry> limits = ReadList("known_limits.tsv");
    ASSERT_FALSE(own.empty()) << "own_failures.tsv not found next to the test";

    std::ifstream in(manifest);
    std::string line;
    std::getline(in, line);  // header
    size_t compiled = 0, failed = 0, ownFailed = 0, limitFailed = 0;
    size_t tooLarge = 0, largeAs30 = 0;  // the ps_3_0 column
    std::set<Entry> seenOwn;
    while (std::getline(in, line)) {
        const auto f = SplitTabs(line);
        if (f.size() < 7 || f[6].empty()) continue;
        std::string list = f[6];
        for (char& c : list)
            if (c == ',') c = ' ';
        std::stringstream entries(list);
        for (std::string e; entries >> e;) {
            const size_t colon = e.find(':');
            if (colon == std::string::npos) continue;
            const Entry entry{f[0], e.substr(0, colon), e.substr(colon + 1)};
            const std::string path = std::string(kCorpus) + "/" + entry.path;
            const auto [hr, messages] = CompileEntry(path, entry.function, entry.profile.c_str());
            const bool isOwn = own.count(entry) != 0;
            const bool isLimit = limits.count(entry) != 0;
            if (SUCCEEDED(hr)) {
                ++compiled;
                EXPECT_FALSE(isOwn || isLimit) << entry.path << " " << entry.function << " is listed as failing but compiles";
                EXPECT_EQ(messages.find(": error"), std::string::npos) << entry.path << "\n" << messages;
                continue;
            }
            ++failed;
            if (entry.profile == "ps_2_0" && messages.find("instruction slots exceed") != std::string::npos) {
                // ps_3_0 has room for what ps_2_0's slots cannot hold.
                ++tooLarge;
                const CompileResult as30 = CompileEntry(path, entry.function, "ps_3_0");
                if (SUCCEEDED(as30.hr)) ++largeAs30;
                EXPECT_TRUE(SUCCEEDED(as30.hr))
                    << entry.path << " " << entry.function << " as ps_3_0: " << FirstError(as30.messages);
            }
            EXPECT_NE(messages.find("error"), std::string::npos) << entry.path << " failed without a message";
            if (isOwn) {
                ++ownFailed;
                seenOwn.insert(entry);
            } else if (isLimit) {
                ++limitFailed;
            } else {
                // Any failure that is not the file's own is a compiler fault.
                ADD_FAILURE() << "failed: " << entry.path << " " << entry.function << " " << entry.profile << ": "
                              << FirstError(messages);
            }
        }
    }
    std::printf("corpus: %zu compiled, %zu failed (%zu of them the file's own, %zu known compiler limits)\n", compiled,
                failed, ownFailed, limitFailed);
    std::printf("corpus: %zu of %zu programs too large for ps_2_0 compile as ps_3_0\n", largeAs30, tooLarge);
    EXPECT_EQ(seenOwn.size(), own.size()) << "own_failures.tsv lists entries the manifest does not";
}

}  // namespace
