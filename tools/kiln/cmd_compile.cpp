// kiln compile FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... [-o OUT] [-S]
// [--debug] [--fragment]: compiles an HLSL file; messages go to standard error
// in the compiler's own format, the bytecode (or with -S its disassembly) to OUT.
#include <cstdio>
#include <string>

#include "command.h"
#include "macro_arguments.h"
#include "shader/bytecode/disassembler.h"
#include "shader/compile_options.h"

namespace {

const char kUsage[] =
    "usage: kiln compile FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... [-o OUT] [-S]\n"
    "                    [--debug] [--fragment]\n"
    "\n"
    "Compiles the HLSL source FILE for PROFILE (vs_1_1, vs_2_0, ps_2_0, ...)\n"
    "with ENTRY as the shader's main function. Messages go to standard error;\n"
    "the exit code is 1 when the compile fails.\n"
    "\n"
    "  -p PROFILE       target profile\n"
    "  -e ENTRY         entry point function\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -o OUT           write the shader bytecode to OUT\n"
    "  -S, --disasm     print the disassembly of the bytecode on standard output\n"
    "                   (or write it to OUT when -o is given) instead of the bytecode\n"
    "  --debug          add the debug information block (source lines, variables)\n"
    "  --fragment       compile a vertex shader fragment for linking: nothing is\n"
    "                   declared, the \"FINF\" block names the inputs, constants,\n"
    "                   literals and temporaries (vertex profiles only)\n";

// Writes `size` bytes to `path`, or to standard output when `path` is empty.
bool WriteOutput(const std::string& path, const void* data, size_t size, bool text) {
    if (path.empty()) return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
    FILE* f = std::fopen(path.c_str(), text ? "w" : "wb");
    bool written = f && std::fwrite(data, 1, size, f) == size;
    if (f && std::fclose(f) != 0) written = false;
    return written;
}

// Emits the compiled shader: its disassembly when asked for, else the raw
// bytecode (only when an output file was named). Returns the exit status.
int EmitShader(IKLBuffer* code, const std::string& out, bool disasm) {
    if (!disasm) {
        if (out.empty()) return 0;
        if (WriteOutput(out, code->GetBufferPointer(), code->GetBufferSize(), false)) return 0;
        std::fprintf(stderr, "kiln compile: cannot write '%s'\n", out.c_str());
        return 1;
    }
    std::string text;
    DisassemblyError error;
    HRESULT hr = DisassembleShader(code->GetBufferPointer(), code->GetBufferSize(), DisassemblyOptions{}, &text, &error);
    if (FAILED(hr)) {
        std::fprintf(stderr, "kiln compile: cannot disassemble the bytecode (token %zu): %s\n", error.token,
                     error.message.c_str());
        return 1;
    }
    if (WriteOutput(out, text.data(), text.size(), true)) return 0;
    std::fprintf(stderr, "kiln compile: cannot write '%s'\n", out.empty() ? "standard output" : out.c_str());
    return 1;
}

int RunCompile(const std::vector<std::string>& args) {
    std::string file, profile, entry, out;
    bool disasm = false;
    DWORD flags = 0;
    CompileOptions options;
    MacroArguments macros;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "-S" || a == "--disasm") {
            disasm = true;
            continue;
        }
        if (a == "--debug") {
            flags |= KLSHADER_DEBUG;
            continue;
        }
        if (a == "--fragment") {
            options.fragment = true;
            continue;
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
    HRESULT hr = CompileShaderFileWithOptions(file.c_str(), macros.Macros(), nullptr, entry.c_str(), profile.c_str(),
                                              flags, options, &code, &errors, nullptr);
    const bool messages = errors != nullptr;
    if (errors) {
        std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
        errors->Release();
    }
    int status = 0;
    if (FAILED(hr)) {
        if (hr == E_NOTIMPL) std::fprintf(stderr, "kiln compile: code generation is not available in this build\n");
        if (hr == D3DERR_INVALIDCALL && options.fragment && !messages)
            std::fprintf(stderr, "kiln compile: --fragment needs a vertex shader profile (vs_1_1, vs_2_0, vs_2_sw)\n");
        std::fprintf(stderr, "kiln compile: failed (0x%08X)\n", static_cast<unsigned>(hr));
        status = 1;
    } else if (code) {
        status = EmitShader(code, out, disasm);
    }
    if (code) code->Release();
    return status;
}

KilnCommand cmd("compile", "compile an HLSL shader file to bytecode", &RunCompile);

}  // namespace
