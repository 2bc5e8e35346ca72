// kiln asm FILE [-D NAME[=VALUE]]... [-I DIR]... [-o OUT] [--debug]
// [--no-validate]: assembles a shader assembly file; messages go to standard
// error in the compiler's own format, the bytecode to OUT.
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "gfx/exports.h"
#include "result_names.h"
#include "shader/compiler.h"
#include "shader_source.h"

namespace {

const char kUsage[] =
    "usage: kiln asm FILE [-D NAME[=VALUE]]... [-I DIR]... [-o OUT] [--debug] [--no-validate]\n"
    "\n"
    "Assembles the shader assembly FILE (- for standard input; vs_1_1 to vs_3_sw,\n"
    "ps_1_1 to ps_3_sw; the first statement names the version). Messages go to\n"
    "standard error; on any error nothing is written.\n"
    "\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -I DIR           look for #include files in DIR too (after the including\n"
    "                   file's own directory)\n"
    "  -o OUT           write the shader bytecode to OUT\n"
    "  --debug          add the debug information block (source lines and text)\n"
    "  --no-validate    do not hand the instructions to the shader validator\n"
    "\n"
    "Exit code: 0 success, 1 the input failed or OUT cannot be written, 2 bad usage.\n";

bool WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool written = f && std::fwrite(data, 1, size, f) == size;
    if (f && std::fclose(f) != 0) written = false;
    return written;
}

int RunAsm(const std::vector<std::string>& args) {
    std::string out;
    DWORD flags = 0;
    ShaderSource source;
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
        if (a == "-o") {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "kiln asm: -o needs a value\n");
                return 2;
            }
            out = args[++i];
            continue;
        }
        std::string error;
        const int used = source.Take(args, i, &error);
        if (used < 0) {
            std::fprintf(stderr, "kiln asm: %s\n", error.c_str());
            return 2;
        }
        if (used == 0) {
            std::fprintf(stderr, "kiln asm: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
        i += size_t(used) - 1;
    }
    if (!source.HasFile()) return MissingOption("asm", "the input FILE", kUsage);
    std::string error;
    if (!source.Load(&error)) {
        std::fprintf(stderr, "kiln asm: %s\n", error.c_str());
        return 1;
    }
    // The device library provides the validator that checks each instruction.
    if (!(flags & KLSHADER_SKIPVALIDATION)) KilnGfxRegisterExports();
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = source.FromStandardInput()
                           ? KLAssembleShader(source.Text().data(), UINT(source.Text().size()), source.Macros(),
                                              source.Include(), flags, &code, &errors)
                           : KLAssembleShaderFromFileA(source.File().c_str(), source.Macros(), source.Include(), flags,
                                                       &code, &errors);
    if (errors) {
        std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
        errors->Release();
    }
    int status = 0;
    if (FAILED(hr)) {
        std::fprintf(stderr, "kiln asm: failed: %s\n", DescribeResult(hr).c_str());
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
