// kiln disasm: prints shader bytecode as assembly text.
#include <cstdio>
#include <cstring>

#include "command.h"
#include "platform/files.h"
#include "shader/bytecode/disassembler.h"
#include "shader_source.h"

namespace {

void PrintHelp() {
    std::printf(
        "usage: kiln disasm [--no-ctab] FILE...\n\n"
        "Prints shader bytecode (vs_1_1 to vs_3_sw, ps_1_1 to ps_3_sw) as assembly:\n"
        "the constant table as a comment header, the version line, declarations,\n"
        "literal definitions and one instruction per line. FILE - reads standard input.\n\n"
        "  --no-ctab   leave out the constant table header\n\n"
        "Exit code: 0 success, 1 a file cannot be read or is not shader bytecode, 2 bad usage.\n");
}

const char* OpenError(HRESULT hr) {
    if (hr == D3DERR_NOTFOUND) return "no such file";
    if (hr == ERR_INVALID_DATA) return "not a regular file";
    return "cannot read the file";
}

int RunDisasm(const std::vector<std::string>& args) {
    DisassemblyOptions options;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        }
        if (arg == "--no-ctab") {
            options.constantTable = false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "kiln disasm: unknown option '%s'\n", arg.c_str());
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "kiln disasm: no input file (see kiln disasm --help)\n");
        return 2;
    }
    int status = 0;
    for (const std::string& file : files) {
        platform::MappedFile mapped;
        std::string piped;
        const void* bytes = "";
        size_t size = 0;
        if (file == "-") {
            std::string problem;
            if (!ReadStandardInput(&piped, &problem)) {
                std::fprintf(stderr, "kiln disasm: %s\n", problem.c_str());
                status = 1;
                continue;
            }
            bytes = piped.data();
            size = piped.size();
        } else {
            HRESULT hr = mapped.Open(file.c_str());
            if (FAILED(hr)) {
                std::fprintf(stderr, "kiln disasm: %s: %s\n", file.c_str(), OpenError(hr));
                status = 1;
                continue;
            }
            if (mapped.size()) bytes = mapped.data();
            size = mapped.size();
        }
        std::string text;
        DisassemblyError error;
        HRESULT hr = DisassembleShader(bytes, size, options, &text, &error);
        if (FAILED(hr)) {
            std::fprintf(stderr, "kiln disasm: %s: %s at token %zu\n", file.c_str(), error.message.c_str(),
                         error.token);
            status = 1;
            continue;
        }
        if (files.size() > 1) std::printf("// %s\n", file.c_str());
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    return status;
}

static KilnCommand cmd("disasm", "print shader bytecode as assembly text", &RunDisasm);

}  // namespace
