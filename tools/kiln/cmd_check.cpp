// kiln check FILE [-D NAME[=VALUE]]... [-I DIR]... [--assign NAME=DIR]...: parses
// and checks an HLSL file without generating code; messages go to standard error.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "command.h"
#include "macro_arguments.h"
#include "platform/files.h"
#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"

namespace {

const char kUsage[] =
    "usage: kiln check FILE [-D NAME[=VALUE]]... [-I DIR]... [--assign NAME=DIR]...\n"
    "\n"
    "Preprocesses, parses and type-checks FILE as HLSL without generating\n"
    "code. Messages go to standard error; the exit code is 1 when any error\n"
    "was reported, 0 otherwise (warnings allowed).\n"
    "\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -I DIR           also look for #include files in DIR, after the\n"
    "                   directory of the including file\n"
    "  --assign NAME=DIR\n"
    "                   a path assign: #include \"NAME:path\" opens DIR/path\n";

// Opens #include files from the including file's directory, then from the
// -I directories in order; a name "NAME:path" whose NAME is a path assign
// opens path in the assigned directory. Each opened buffer remembers its
// directory so that nested includes resolve against it.
class SearchPathInclude : public IKLInclude {
public:
    SearchPathInclude(std::vector<std::string> dirs, std::map<std::string, std::string> assigns)
        : dirs_(std::move(dirs)), assigns_(std::move(assigns)) {}

    HRESULT Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override {
        std::vector<std::string> candidates;
        std::string n = name ? name : "";
        size_t colon = n.find(':');
        auto assign = colon == std::string::npos ? assigns_.end() : assigns_.find(n.substr(0, colon));
        if (assign != assigns_.end()) {
            candidates.push_back(assign->second + "/" + n.substr(colon + 1));
        } else if (!parent || n.empty() || n[0] == '/') {
            candidates.push_back(n);
        } else {
            auto it = directories_.find(parent);
            if (it != directories_.end()) candidates.push_back(it->second + n);
            for (const std::string& d : dirs_) candidates.push_back(d + (d.empty() || d.back() == '/' ? "" : "/") + n);
        }
        for (const std::string& path : candidates) {
            std::ifstream in(path, std::ios::binary);
            if (!in) continue;
            auto buffer = std::make_unique<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (buffer->size() > 0x7FFFFFFF) return E_FAIL;
            std::string full;
            if (FAILED(platform::GetFullPath(path.c_str(), &full))) full = path;
            const char* p = buffer->data();
            *data = p;
            *bytes = UINT(buffer->size());
            directories_[p] = platform::DirectoryOf(full);
            buffers_[p] = std::move(buffer);
            return S_OK;
        }
        return E_FAIL;
    }

    HRESULT Close(LPCVOID data) override {
        directories_.erase(data);
        buffers_.erase(data);
        return S_OK;
    }

private:
    std::vector<std::string> dirs_;
    std::map<std::string, std::string> assigns_;
    std::map<LPCVOID, std::string> directories_;
    std::map<LPCVOID, std::unique_ptr<std::string>> buffers_;
};

int RunCheck(const std::vector<std::string>& args) {
    std::string file;
    std::vector<std::string> includeDirs;
    std::map<std::string, std::string> assigns;
    MacroArguments macros;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        int used = macros.Take(args, i);
        if (used < 0) {
            std::fprintf(stderr, "kiln check: -D needs a macro name\n");
            return 2;
        }
        if (used > 0) {
            i += static_cast<size_t>(used) - 1;
            continue;
        }
        if (args[i] == "-I" || (args[i].size() > 2 && args[i].compare(0, 2, "-I") == 0)) {
            if (args[i] == "-I" && i + 1 >= args.size()) {
                std::fprintf(stderr, "kiln check: -I needs a directory\n");
                return 2;
            }
            includeDirs.push_back(args[i] == "-I" ? args[++i] : args[i].substr(2));
            continue;
        }
        if (args[i] == "--assign") {
            size_t eq = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
            if (eq == std::string::npos || eq == 0) {
                std::fprintf(stderr, "kiln check: --assign needs NAME=DIR\n");
                return 2;
            }
            ++i;
            assigns[args[i].substr(0, eq)] = args[i].substr(eq + 1);
            continue;
        }
        if (args[i].size() > 1 && args[i][0] == '-') {
            std::fprintf(stderr, "kiln check: unknown option '%s'\n%s", args[i].c_str(), kUsage);
            return 2;
        }
        if (!file.empty()) {
            std::fprintf(stderr, "kiln check: more than one input file\n");
            return 2;
        }
        file = args[i];
    }
    if (file.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    SearchPathInclude include(includeDirs, assigns);
    bool handler = !includeDirs.empty() || !assigns.empty();
    Preprocessor preprocessor;
    HRESULT hr = preprocessor.OpenFile(file.c_str(), macros.Macros(), handler ? &include : nullptr);
    std::unique_ptr<hlsl::ProgramTree> tree;
    if (SUCCEEDED(hr)) hr = hlsl::ParseProgram(preprocessor, 0, &tree);
    std::string messages = preprocessor.Log().Text();
    std::fwrite(messages.data(), 1, messages.size(), stderr);
    return FAILED(hr) || preprocessor.Log().ErrorCount() > 0 ? 1 : 0;
}

KilnCommand cmd("check", "parse and type-check an HLSL file without generating code", &RunCheck);

}  // namespace
