// Field test: every real-world shader of the shared corpus is checked. A file
// that fails must be listed with its reason in corpus_known_failures.tsv
// (a feature of a later shader generation, a platform extension, a genuine
// error in the file); a listed file that passes is reported too, so the list
// stays true.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "platform/files.h"
#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"

namespace {

const char kCorpus[] = "/work/shared/corpus/hlsl";

// Opens includes relative to the including file; "shaders:" is the
// Nebula2 path assign for the main file's own directory.
class CorpusInclude : public IKLInclude {
public:
    explicit CorpusInclude(std::string mainDir) : mainDir_(std::move(mainDir)) {}
    HRESULT Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override {
        std::string n = name;
        std::string path;
        if (!parent) path = n;
        else if (n.compare(0, 8, "shaders:") == 0) path = mainDir_ + n.substr(8);
        else path = dirs_[parent] + n;
        std::ifstream in(path, std::ios::binary);
        if (!in) return E_FAIL;
        auto text = std::make_unique<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        *data = text->data();
        *bytes = UINT(text->size());
        std::string full;
        if (FAILED(platform::GetFullPath(path.c_str(), &full))) full = path;
        dirs_[*data] = platform::DirectoryOf(full);
        texts_[*data] = std::move(text);
        return S_OK;
    }
    HRESULT Close(LPCVOID data) override {
        texts_.erase(data);
        dirs_.erase(data);
        return S_OK;
    }

private:
    std::string mainDir_;
    std::map<LPCVOID, std::string> dirs_;
    std::map<LPCVOID, std::unique_ptr<std::string>> texts_;
};

// Macros the host engines define (see the corpus README).
std::vector<KLMACRO> HostMacros(const std::string& path) {
    if (path.find("nebula2") != std::string::npos)
        return {{"VS_PROFILE", "vs_2_0"}, {"PS_PROFILE", "ps_2_0"}, {nullptr, nullptr}};
    if (path.find("mpc-hc") != std::string::npos) return {{"MPC_HC_SHADER_PROFILE", "0"}, {nullptr, nullptr}};
    return {{nullptr, nullptr}};
}

bool CheckFile(const std::string& relative, std::string* log) {
    std::string path = std::string(kCorpus) + "/" + relative;
    std::string full;
    if (FAILED(platform::GetFullPath(path.c_str(), &full))) full = path;
    CorpusInclude include(platform::DirectoryOf(full));
    std::vector<KLMACRO> macros = HostMacros(relative);
    Preprocessor pp;
    HRESULT hr = pp.OpenFile(path.c_str(), macros.data(), &include);
    std::unique_ptr<hlsl::ProgramTree> tree;
    if (SUCCEEDED(hr)) hr = hlsl::ParseProgram(pp, 0, &tree);
    *log = pp.Log().Text();
    return SUCCEEDED(hr) && pp.Log().ErrorCount() == 0;
}

TEST(Corpus, EveryValidFilePassesAndEveryFailureIsKnown) {
    std::ifstream manifest(std::string(kCorpus) + "/MANIFEST.tsv");
    if (!manifest) GTEST_SKIP() << "corpus not present";
    std::map<std::string, std::string> known;
    std::ifstream list("corpus_known_failures.tsv");
    ASSERT_TRUE(list) << "corpus_known_failures.tsv missing";
    for (std::string line; std::getline(list, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        known[line.substr(0, tab)] = tab == std::string::npos ? "" : line.substr(tab + 1);
    }
    std::string line;
    std::getline(manifest, line);  // header
    int files = 0, passed = 0;
    while (std::getline(manifest, line)) {
        std::string path = line.substr(0, line.find('\t'));
        if (path.empty()) continue;
        ++files;
        std::string log;
        bool ok = CheckFile(path, &log);
        passed += ok;
        bool listed = known.count(path) != 0;
        if (!ok && !listed) ADD_FAILURE() << path << " fails and is not a known failure:\n" << log;
        if (ok && listed) ADD_FAILURE() << path << " passes but is listed as a known failure";
    }
    std::printf("corpus: %d of %d files pass, %zu known failures\n", passed, files, known.size());
    EXPECT_GT(files, 0);
}

}  // namespace
