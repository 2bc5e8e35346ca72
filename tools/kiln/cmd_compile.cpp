// kiln compile FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... [-o OUT] [-S]
// [--debug] [--fragment]: compiles an HLSL file; messages go to standard error
// in the compiler's own format, the bytecode (or with -S its disassembly) to OUT.
#include <cstdio>
#include <string>

#include "command.h"
#include "gfx/shaders/shader_checker.h"
#include "gfx/shaders/shader_slots.h"
#include "result_names.h"
#include "shader/bytecode/disassembler.h"
#include "shader/compile_options.h"
#include "shader_source.h"

namespace {

const char kUsage[] =
    "usage: kiln compile FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... [-I DIR]... [-o OUT] [-S]\n"
    "                    [--debug] [--fragment]\n"
    "\n"
    "Compiles the HLSL source FILE (- for standard input) for PROFILE (vs_1_1,\n"
    "vs_2_0, ps_2_0, ...) with ENTRY as the shader's main function. Messages go\n"
    "to standard error. Without -o or -S nothing is written: a summary line\n"
    "says what the compile made.\n"
    "\n"
    "  -p PROFILE       target profile\n"
    "  -e ENTRY         entry point function\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -I DIR           also look for #include files in DIR, after the\n"
    "                   directory of the including file\n"
    "  -o OUT           write the shader bytecode to OUT\n"
    "  -S, --disasm     print the disassembly of the bytecode on standard output\n"
    "                   (or write it to OUT when -o is given) instead of the bytecode;\n"
    "                   its last line gives the instruction slots used (total,\n"
    "                   texture, arithmetic) against the profile's limits\n"
    "  --debug          add the debug information block (source lines, variables)\n"
    "  --fragment       compile a vertex shader fragment for linking: nothing is\n"
    "                   declared, the \"FINF\" block names the inputs, constants,\n"
    "                   literals and temporaries (vertex profiles only)\n"
    "\n"
    "Exit code: 0 success, 1 the compile failed or OUT cannot be written, 2 bad usage.\n";

// Writes `size` bytes to `path`, or to standard output when `path` is empty.
bool WriteOutput(const std::string& path, const void* data, size_t size, bool text) {
    if (path.empty()) return std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0;
    FILE* f = std::fopen(path.c_str(), text ? "w" : "wb");
    bool written = f && std::fwrite(data, 1, size, f) == size;
    if (f && std::fclose(f) != 0) written = false;
    return written;
}

// The instruction slots a program takes, as its model counts them. False for
// code the checker does not walk to its end (a vertex fragment).
bool SlotsOf(IKLBuffer* code, gfx::SlotCount* slots) {
    return gfx::CountInstructionSlots(static_cast<const DWORD*>(code->GetBufferPointer()), code->GetBufferSize() / 4,
                                      slots);
}

// The closing comment of a listing: the instruction slots the program takes
// against its model's budgets, so authors see how close they are.
std::string SlotComment(IKLBuffer* code) {
    gfx::SlotCount slots;
    if (!SlotsOf(code, &slots)) return "";
    const gfx::isa::SlotLimits& limits = gfx::isa::GetSlotLimits(slots.profile);
    const std::string name = gfx::isa::GetProfileInfo(slots.profile).name;
    const unsigned total = slots.arithmetic + slots.texture;
    std::string budget;
    if (limits.total != gfx::isa::kUnlimitedSlots) {
        budget = " of the " + std::to_string(limits.total) + " that " + name + " allows";
    } else if (limits.arithmetic != gfx::isa::kUnlimitedSlots) {
        budget = " of the " + std::to_string(limits.arithmetic) + " arithmetic and " + std::to_string(limits.texture) +
                 " texture" + (limits.perPhase ? " per phase" : "") + " that " + name + " allows";
    } else {
        budget = "; " + name + " sets no limit";
    }
    return "// " + std::to_string(total) + (total == 1 ? " instruction slot" : " instruction slots") + " used (" +
           std::to_string(slots.texture) + " texture, " + std::to_string(slots.arithmetic) + " arithmetic)" + budget +
           "\n";
}

// Emits the compiled shader: its disassembly when asked for, else the raw
// bytecode when an output file was named, else a summary line. Returns the
// exit status.
int EmitShader(IKLBuffer* code, const std::string& profile, const std::string& out, bool disasm) {
    if (!disasm) {
        if (out.empty()) {
            gfx::SlotCount counted;
            std::string slotText;
            if (SlotsOf(code, &counted)) {
                const unsigned slots = counted.arithmetic + counted.texture;
                slotText = std::to_string(slots) + (slots == 1 ? " instruction slot, " : " instruction slots, ");
            }
            std::fprintf(stderr, "kiln compile: %s, %s%lu bytes; nothing written (-o OUT "
                         "writes the bytecode, -S prints the assembly)\n",
                         profile.c_str(), slotText.c_str(), static_cast<unsigned long>(code->GetBufferSize()));
            return 0;
        }
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
    text += SlotComment(code);
    if (WriteOutput(out, text.data(), text.size(), true)) return 0;
    std::fprintf(stderr, "kiln compile: cannot write '%s'\n", out.empty() ? "standard output" : out.c_str());
    return 1;
}

int RunCompile(const std::vector<std::string>& args) {
    std::string profile, entry, out;
    bool disasm = false;
    DWORD flags = 0;
    CompileOptions options;
    ShaderSource source;
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
        std::string error;
        int used = source.Take(args, i, &error);
        if (used < 0) {
            std::fprintf(stderr, "kiln compile: %s\n", error.c_str());
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
        std::fprintf(stderr, "kiln compile: unknown option '%s'\n%s", a.c_str(), kUsage);
        return 2;
    }
    if (!source.HasFile()) return MissingOption("compile", "the input FILE", kUsage);
    if (profile.empty()) return MissingOption("compile", "-p PROFILE", kUsage);
    if (entry.empty()) return MissingOption("compile", "-e ENTRY", kUsage);
    std::string error;
    if (!source.Load(&error)) {
        std::fprintf(stderr, "kiln compile: %s\n", error.c_str());
        return 1;
    }
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    HRESULT hr = source.FromStandardInput()
                     ? CompileShaderWithOptions(source.Text().data(), UINT(source.Text().size()), source.Macros(),
                                                source.Include(), entry.c_str(), profile.c_str(), flags, options,
                                                &code, &errors, nullptr)
                     : CompileShaderFileWithOptions(source.File().c_str(), source.Macros(), source.Include(),
                                                    entry.c_str(), profile.c_str(), flags, options, &code, &errors,
                                                    nullptr);
    const bool messages = errors != nullptr;
    if (errors) {
        std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
        errors->Release();
    }
    int status = 0;
    if (FAILED(hr)) {
        if (hr == E_NOTIMPL && !messages)
            std::fprintf(stderr, "kiln compile: code generation is not available in this build\n");
        if (hr == D3DERR_INVALIDCALL && options.fragment && !messages)
            std::fprintf(stderr, "kiln compile: --fragment needs a vertex shader profile (vs_1_1, vs_2_0, vs_2_sw)\n");
        ExplainUnknownProfile("compile", profile);
        // A construct the compiler does not support is said in full by its
        // message (what and where); "failed: E_NOTIMPL" would only suggest a
        // missing part of this build.
        if (!(messages && hr == E_NOTIMPL))
            std::fprintf(stderr, "kiln compile: failed: %s\n", DescribeResult(hr).c_str());
        status = 1;
    } else if (code) {
        status = EmitShader(code, profile, out, disasm);
    }
    if (code) code->Release();
    return status;
}

KilnCommand cmd("compile", "compile an HLSL shader file to bytecode", &RunCompile);

}  // namespace
