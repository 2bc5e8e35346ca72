// kiln preprocess FILE [-D NAME[=VALUE]]...: prints the preprocessed token
// stream, one output line per source line; messages go to standard error.
#include <cstdio>

#include "command.h"
#include "macro_arguments.h"
#include "shader/preprocess/preprocessed_text.h"
#include "shader/preprocess/preprocessor.h"

namespace {

const char kUsage[] =
    "usage: kiln preprocess FILE [-D NAME[=VALUE]]...\n"
    "\n"
    "Runs the shader preprocessor over FILE and prints the resulting tokens,\n"
    "one output line per source line. #include names are resolved against the\n"
    "directory of the file that includes them. Messages go to standard error;\n"
    "the exit code is 1 when any error was reported.\n"
    "\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n";

int RunPreprocess(const std::vector<std::string>& args) {
    std::string file;
    MacroArguments macros;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        int used = macros.Take(args, i);
        if (used < 0) {
            std::fprintf(stderr, "kiln preprocess: -D needs a macro name\n");
            return 2;
        }
        if (used > 0) {
            i += static_cast<size_t>(used) - 1;
            continue;
        }
        if (args[i].size() > 1 && args[i][0] == '-') {
            std::fprintf(stderr, "kiln preprocess: unknown option '%s'\n%s", args[i].c_str(), kUsage);
            return 2;
        }
        if (!file.empty()) {
            std::fprintf(stderr, "kiln preprocess: more than one input file\n");
            return 2;
        }
        file = args[i];
    }
    if (file.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Preprocessor preprocessor;
    HRESULT hr = preprocessor.OpenFile(file.c_str(), macros.Macros(), nullptr);
    std::string text;
    if (SUCCEEDED(hr)) hr = WritePreprocessedText(preprocessor, &text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::string messages = preprocessor.Log().Text();
    std::fwrite(messages.data(), 1, messages.size(), stderr);
    return FAILED(hr) || preprocessor.Log().ErrorCount() > 0 ? 1 : 0;
}

KilnCommand cmd("preprocess", "run the shader preprocessor and print the token stream", &RunPreprocess);

}  // namespace
