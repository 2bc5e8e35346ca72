// Field test: every real-world shader of the shared corpus is checked with
// the settings of its host engine (corpus/host_settings.tsv). A file that
// fails must be listed with its reason in corpus/known_failures.tsv
// (a feature of a later shader generation, a platform extension, a genuine
// error in the file); a listed file that passes is reported too, so the list
// stays true.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"

namespace {

const char kCorpus[] = "/work/shared/corpus/hlsl";

// Opens includes relative to the including file, and "NAME:path" through a
// path assign of the host settings.
class CorpusInclude : public IKLInclude {
public:
    explicit CorpusInclude(std::map<std::string, std::string> assigns) : assigns_(std::move(assigns)) {}
    HRESULT Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override {
        std::string n = name;
        std::string path;
        size_t colon = n.find(':');
        auto assign = colon == std::string::npos ? assigns_.end() : assigns_.find(n.substr(0, colon));
        if (assign != assigns_.end()) path = assign->second + "/" + n.substr(colon + 1);
        else if (!parent) path = n;
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
    std::map<std::string, std::string> assigns_;
    std::map<LPCVOID, std::string> dirs_;
    std::map<LPCVOID, std::unique_ptr<std::string>> texts_;
};

// The host settings of one file: "-D NAME=VALUE" and "--assign NAME=DIR".
struct HostSettings {
    std::vector<std::string> names, values;
    std::map<std::string, std::string> assigns;
    std::vector<KLMACRO> Macros() const {
        std::vector<KLMACRO> m;
        for (size_t i = 0; i < names.size(); ++i) m.push_back({names[i].c_str(), values[i].c_str()});
        m.push_back({nullptr, nullptr});
        return m;
    }
};

HostSettings SettingsFor(const std::string& relative, const std::string& dir) {
    HostSettings h;
    std::ifstream in("corpus/host_settings.tsv");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos || relative.compare(0, tab, line, 0, tab) != 0) continue;
        std::istringstream words(line.substr(tab + 1));
        for (std::string w; words >> w;) {
            std::string v;
            words >> v;
            size_t at = v.find("{dir}");
            if (at != std::string::npos) v.replace(at, 5, dir);
            size_t eq = v.find('=');
            std::string key = v.substr(0, eq), value = eq == std::string::npos ? "1" : v.substr(eq + 1);
            if (w == "-D") {
                h.names.push_back(key);
                h.values.push_back(value);
            } else if (w == "--assign") {
                h.assigns[key] = value;
            }
        }
    }
    return h;
}

bool CheckFile(const std::string& relative, std::string* log) {
    std::string path = std::string(kCorpus) + "/" + relative;
    std::string full;
    if (FAILED(platform::GetFullPath(path.c_str(), &full))) full = path;
    HostSettings host = SettingsFor(relative, platform::DirectoryOf(full));
    CorpusInclude include(host.assigns);
    std::vector<KLMACRO> macros = host.Macros();
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
    std::ifstream list("corpus/known_failures.tsv");
    ASSERT_TRUE(list) << "corpus/known_failures.tsv missing";
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
