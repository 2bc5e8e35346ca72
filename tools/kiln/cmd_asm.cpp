// kiln asm FILE [-D NAME[=VALUE]]... [-I DIR]... [-o OUT] [--debug]
// [--no-validate]: assembles a shader assembly file; messages go to standard
// error in the compiler's own format, the bytecode to OUT.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "command.h"
#include "gfx/exports.h"
#include "macro_arguments.h"
#include "shader/compiler.h"

namespace {

const char kUsage[] =
    "usage: kiln asm FILE [-D NAME[=VALUE]]... [-I DIR]... [-o OUT] [--debug] [--no-validate]\n"
    "\n"
    "Assembles the shader assembly FILE (vs_1_1 to vs_3_sw, ps_1_1 to ps_3_sw; the\n"
    "first statement names the version). Messages go to standard error; on any\n"
    "error nothing is written and the exit code is 1.\n"
    "\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -I DIR           look for #include files in DIR too (after the including\n"
    "                   file's own directory)\n"
    "  -o OUT           write the shader bytecode to OUT\n"
    "  --debug          add the debug information block (source lines and text)\n"
    "  --no-validate    do not hand the instructions to the shader validator\n";

// Opens #include files next to the including file, then in each -I directory.
class DirectoryInclude : public IKLInclude {
public:
    explicit DirectoryInclude(std::vector<std::string> dirs) : dirs_(std::move(dirs)) {}

    HRESULT Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override {
        namespace fs = std::filesystem;
        std::vector<fs::path> candidates;
        const fs::path wanted(name ? name : "");
        auto parentDir = open_.find(parent);
        if (wanted.is_absolute() || !parent) candidates.push_back(wanted);
        else if (parentDir != open_.end()) candidates.push_back(parentDir->second / wanted);
        if (!wanted.is_absolute())
            for (const std::string& dir : dirs_) candidates.push_back(fs::path(dir) / wanted);
        for (const fs::path& path : candidates) {
            std::error_code ec;
            if (!fs::is_regular_file(path, ec)) continue;
            std::ifstream in(path, std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) continue;
            char* copy = new char[text.size() + 1];
            std::copy(text.begin(), text.end(), copy);
            copy[text.size()] = '\0';
            open_[copy] = path.parent_path();
            *data = copy;
            *bytes = UINT(text.size());
            return S_OK;
        }
        return E_FAIL;
    }

    HRESULT Close(LPCVOID data) override {
        open_.erase(data);
        delete[] static_cast<const char*>(data);
        return S_OK;
    }

private:
    std::vector<std::string> dirs_;
    std::map<LPCVOID, std::filesystem::path> open_;
};

bool WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool written = f && std::fwrite(data, 1, size, f) == size;
    if (f && std::fclose(f) != 0) written = false;
    return written;
}

int RunAsm(const std::vector<std::string>& args) {
    std::string file, out;
    std::vector<std::string> includeDirs;
    DWORD flags = 0;
    MacroArguments macros;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--debug") {
            flags |= KLSHADER_DEBUG;
            continue;
        }
        if (a == "--no-validate") {
            flags |= KLSHADER_SKIPVALIDATION;
            continue;
        }
        const int used = macros.Take(args, i);
        if (used < 0) {
            std::fprintf(stderr, "kiln asm: -D needs a macro name\n");
            return 2;
        }
        if (used > 0) {
            i += size_t(used) - 1;
            continue;
        }
        if (a.rfind("-I", 0) == 0 || a == "-o") {
            std::string value = a.size() > 2 ? a.substr(2) : "";
            if (value.empty()) {
                if (i + 1 >= args.size()) {
                    std::fprintf(stderr, "kiln asm: %s needs a value\n", a.c_str());
                    return 2;
                }
                value = args[++i];
            }
            if (a == "-o") out = value;
            else includeDirs.push_back(value);
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "kiln asm: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
        if (!file.empty()) {
            std::fprintf(stderr, "kiln asm: more than one input file\n");
            return 2;
        }
        file = a;
    }
    if (file.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // The device library provides the validator that checks each instruction.
    if (!(flags & KLSHADER_SKIPVALIDATION)) KilnGfxRegisterExports();
    DirectoryInclude include(includeDirs);
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLAssembleShaderFromFileA(file.c_str(), macros.Macros(), includeDirs.empty() ? nullptr : &include,
                                                 flags, &code, &errors);
    if (errors) {
        std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
        errors->Release();
    }
    int status = 0;
    if (FAILED(hr)) {
        std::fprintf(stderr, "kiln asm: failed (0x%08X)\n", static_cast<unsigned>(hr));
        status = 1;
    } else if (code && !out.empty() && !WriteFile(out, code->GetBufferPointer(), code->GetBufferSize())) {
        std::fprintf(stderr, "kiln asm: cannot write '%s'\n", out.c_str());
        status = 1;
    }
    if (code) code->Release();
    return status;
}

KilnCommand cmd("asm", "assemble shader assembly text to bytecode", &RunAsm);

}  // namespace
