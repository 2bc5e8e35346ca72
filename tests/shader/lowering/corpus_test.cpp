// Field test: every function of every real-world shader in the shared corpus
// that parses on its own is lowered as a vertex and as a pixel shader entry.
// Whatever the outcome, a failure must come with an error message and a
// success without one, and nothing may crash (the tests run under the
// sanitizers).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "lowering_util.h"

namespace {

const char kCorpus[] = "/work/shared/corpus/hlsl";

bool IsShaderFile(const std::filesystem::path& p) {
    static const char* const kExtensions[] = {".hlsl", ".fx", ".fxh", ".vsh", ".psh", ".cg", ".shader", ".vs", ".ps"};
    const std::string ext = p.extension().string();
    for (const char* e : kExtensions)
        if (ext == e) return true;
    return false;
}

TEST(LoweringCorpus, EveryFunctionLowersOrFailsWithAMessage) {
    if (!std::filesystem::exists(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    size_t files = 0, entries = 0, lowered = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(kCorpus)) {
        if (!item.is_regular_file() || !IsShaderFile(item.path())) continue;
        std::ifstream in(item.path(), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto parsed = LowerSource(text, "\x01", "vs_2_0");  // parse only: no function has that name
        if (FAILED(parsed->parseResult) || !parsed->tree) continue;
        ++files;
        for (const hlsl::Decl* d : parsed->tree->decls) {
            if (d->declKind != hlsl::kDeclFunction || !static_cast<const hlsl::FuncDecl*>(d)->hasBody) continue;
            for (const char* profile : {"vs_2_0", "ps_2_0"}) {
                auto s = LowerSource(text, d->name, profile);
                ++entries;
                const bool logged = s->log.find("error") != std::string::npos;
                EXPECT_EQ(FAILED(s->hr), logged) << item.path() << " " << d->name << " " << profile << "\n" << s->log;
                if (FAILED(s->hr)) continue;
                ++lowered;
                // What the lowering made must pass the intermediate program's
                // own checks: no internal error (outputs unwritten, reads of
                // nothing, writes into read-only pools).
                s->program.physicalRegisters[kPoolTemps] = 32;
                s->program.RunPipeline();
                EXPECT_EQ(std::string::npos, s->errors.Text().find("internal error"))
                    << item.path() << " " << d->name << " " << profile << "\n" << s->errors.Text();
            }
        }
    }
    std::printf("corpus: %zu files parsed, %zu entry lowerings, %zu succeeded\n", files, entries, lowered);
}

}  // namespace
