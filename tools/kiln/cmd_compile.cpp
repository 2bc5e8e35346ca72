// kiln compile FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... [-o OUT]:
// compiles an HLSL file; messages go to standard error in the compiler's own
// format, the bytecode to OUT.
#include <cstdio>

#include "command.h"
#include "macro_arguments.h"
#include "shader/compiler.h"

namespace {

const char kUsage[] =
    "usage: kiln compile FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... [-o OUT]\n"
    "\n"
    "Compiles the HLSL source FILE for PROFILE (vs_1_1, vs_2_0, ps_2_0, ...)\n"
    "with ENTRY as the shader's main function. Messages go to standard error;\n"
    "the exit code is 1 when the compile fails.\n"
    "\n"
    "  -p PROFILE       target profile\n"
    "  -e ENTRY         entry point function\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -o OUT           write the shader bytecode to OUT\n";

int RunCompile(const std::vector<std::string>& args) {
    std::string file, profile, entry, out;
    MacroArguments macros;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        int used = macros.Take(args, i);
        if (used < 0) {
            std::fprintf(stderr, "kiln compile: -D needs a macro name\n");
            return 2;
        }
        if (used > 0) {
            i += static_cast<size_t>(used) - 1;
            continue;
        }
        std::string* target = a == "-p" ? &profile : a == "-e" ? &entry : a == "-o" ? &out : nullptr;
        if (target) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "kiln compile: %s needs a value\n", a.c_str());
                return 2;
            }
            *target = args[++i];
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "kiln compile: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
        if (!file.empty()) {
            std::fprintf(stderr, "kiln compile: more than one input file\n");
            return 2;
        }
        file = a;
    }
    if (file.empty() || profile.empty() || entry.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    HRESULT hr = KLCompileShaderFromFileA(file.c_str(), macros.Macros(), nullptr, entry.c_str(), profile.c_str(), 0,
                                          &code, &errors, nullptr);
    if (errors) {
        std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
        errors->Release();
    }
    int status = 0;
    if (FAILED(hr)) {
        if (hr == E_NOTIMPL) std::fprintf(stderr, "kiln compile: code generation is not available in this build\n");
        std::fprintf(stderr, "kiln compile: failed (0x%08X)\n", static_cast<unsigned>(hr));
        status = 1;
    } else if (code && !out.empty()) {
        FILE* f = std::fopen(out.c_str(), "wb");
        size_t size = code->GetBufferSize();
        bool written = f && std::fwrite(code->GetBufferPointer(), 1, size, f) == size;
        if (f && std::fclose(f) != 0) written = false;
        if (!written) {
            std::fprintf(stderr, "kiln compile: cannot write '%s'\n", out.c_str());
            status = 1;
        }
    }
    if (code) code->Release();
    return status;
}

KilnCommand cmd("compile", "compile an HLSL shader file to bytecode", &RunCompile);

}  // namespace
