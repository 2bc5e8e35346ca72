#include "shader_source.h"

#include <cstdio>

#include "platform/files.h"
#include "shader/target.h"

namespace {

// Standard input is read whole; an input beyond this is refused.
constexpr size_t kMaxInputBytes = 64u << 20;

}  // namespace

int ShaderSource::Take(const std::vector<std::string>& args, size_t i, std::string* error) {
    const std::string& a = args[i];
    int used = macros_.Take(args, i);
    if (used < 0) *error = macros_.Error();
    if (used != 0) return used;
    if (a == "-I" || (a.size() > 2 && a.compare(0, 2, "-I") == 0)) {
        if (a == "-I" && i + 1 >= args.size()) {
            *error = "-I needs a directory";
            return -1;
        }
        includeDirs_.push_back(a == "-I" ? args[i + 1] : a.substr(2));
        return a == "-I" ? 2 : 1;
    }
    if (a == "--assign") {
        size_t eq = i + 1 < args.size() ? args[i + 1].find('=') : std::string::npos;
        if (eq == std::string::npos || eq == 0) {
            *error = "--assign needs NAME=DIR";
            return -1;
        }
        assigns_[args[i + 1].substr(0, eq)] = args[i + 1].substr(eq + 1);
        return 2;
    }
    if (a.size() > 1 && a[0] == '-') return 0;  // another option
    if (!file_.empty()) {
        *error = "more than one input file";
        return -1;
    }
    file_ = a;
    return 1;
}

bool ReadStandardInput(std::string* text, std::string* error) {
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), stdin)) > 0) {
        if (text->size() + n > kMaxInputBytes) {
            *error = "standard input holds more than " + std::to_string(kMaxInputBytes >> 20) + " MiB";
            return false;
        }
        text->append(chunk, n);
    }
    if (std::ferror(stdin)) {
        *error = "cannot read standard input";
        return false;
    }
    return true;
}

bool ShaderSource::Load(std::string* error) { return !FromStandardInput() || ReadStandardInput(&text_, error); }

IKLInclude* ShaderSource::Include() {
    if (!FromStandardInput() && includeDirs_.empty() && assigns_.empty()) return nullptr;
    if (!include_) {
        // Includes of the input resolve beside it; standard input has no
        // folder, so the working folder stands in.
        std::string full;
        std::string dir;
        if (!FromStandardInput() && SUCCEEDED(platform::GetFullPath(file_.c_str(), &full)))
            dir = platform::DirectoryOf(full);
        include_ = std::make_unique<SearchPathInclude>(dir, includeDirs_, assigns_);
    }
    return include_.get();
}

void ExplainUnknownProfile(const char* command, const std::string& profile) {
    if (SUCCEEDED(FindTargetByName(profile.c_str(), kTargetCompile, nullptr))) return;
    size_t count = 0;
    const TargetDesc* table = TargetTable(&count);
    std::string names;
    for (size_t i = 0; i < count; ++i) {
        // Dotted spellings ("vs.2.0") are aliases of the listed ones.
        if (!(table[i].caps & kTargetCompile) || std::string(table[i].name).find('.') != std::string::npos) continue;
        names += (names.empty() ? "" : ", ") + std::string(table[i].name);
    }
    std::fprintf(stderr, "kiln %s: '%s' is not a profile; the compiler takes %s\n", command, profile.c_str(),
                 names.c_str());
}

int MissingOption(const char* command, const char* option, const char* usage) {
    std::fprintf(stderr, "kiln %s: missing %s\n%s", command, option, usage);
    return 2;
}
