// kiln check FILE [-D NAME[=VALUE]]... [-I DIR]... [--assign NAME=DIR]...: parses
// and checks an HLSL file without generating code; messages go to standard error.
#include <cstdio>
#include <memory>

#include "command.h"
#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"
#include "shader_source.h"

namespace {

const char kUsage[] =
    "usage: kiln check FILE [-D NAME[=VALUE]]... [-I DIR]... [--assign NAME=DIR]...\n"
    "\n"
    "Preprocesses, parses and type-checks FILE (- for standard input) as HLSL\n"
    "without generating code. Messages go to standard error.\n"
    "\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -I DIR           also look for #include files in DIR, after the\n"
    "                   directory of the including file\n"
    "  --assign NAME=DIR\n"
    "                   a path assign: #include \"NAME:path\" opens DIR/path\n"
    "\n"
    "Exit code: 0 no error (warnings allowed), 1 an error was reported, 2 bad usage.\n";

int RunCheck(const std::vector<std::string>& args) {
    ShaderSource source;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::string error;
        int used = source.Take(args, i, &error);
        if (used < 0) {
            std::fprintf(stderr, "kiln check: %s\n", error.c_str());
            return 2;
        }
        if (used == 0) {
            std::fprintf(stderr, "kiln check: unknown option '%s'\n%s", args[i].c_str(), kUsage);
            return 2;
        }
        i += static_cast<size_t>(used) - 1;
    }
    if (!source.HasFile()) return MissingOption("check", "the input FILE", kUsage);
    std::string error;
    if (!source.Load(&error)) {
        std::fprintf(stderr, "kiln check: %s\n", error.c_str());
        return 1;
    }
    Preprocessor preprocessor;
    HRESULT hr = source.FromStandardInput()
                     ? preprocessor.OpenMemory(source.Text().data(), source.Text().size(), "<stdin>", source.Macros(),
                                               source.Include())
                     : preprocessor.OpenFile(source.File().c_str(), source.Macros(), source.Include());
    std::unique_ptr<hlsl::ProgramTree> tree;
    if (SUCCEEDED(hr)) hr = hlsl::ParseProgram(preprocessor, 0, &tree);
    std::string messages = preprocessor.Log().Text();
    std::fwrite(messages.data(), 1, messages.size(), stderr);
    return FAILED(hr) || preprocessor.Log().ErrorCount() > 0 ? 1 : 0;
}

KilnCommand cmd("check", "parse and type-check an HLSL file without generating code", &RunCheck);

}  // namespace
