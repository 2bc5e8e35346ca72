// kiln preprocess FILE [-D NAME[=VALUE]]... [-I DIR]...: prints the
// preprocessed token stream, one output line per source line; messages go to
// standard error.
#include <cstdio>

#include "command.h"
#include "shader/preprocess/preprocessed_text.h"
#include "shader/preprocess/preprocessor.h"
#include "shader_source.h"

namespace {

const char kUsage[] =
    "usage: kiln preprocess FILE [-D NAME[=VALUE]]... [-I DIR]...\n"
    "\n"
    "Runs the shader preprocessor over FILE (- for standard input) and prints\n"
    "the resulting tokens, one output line per source line. #include names are\n"
    "resolved against the directory of the file that includes them, then the\n"
    "-I directories. Messages go to standard error.\n"
    "\n"
    "  -D NAME[=VALUE]  define a macro (VALUE defaults to 1)\n"
    "  -I DIR           also look for #include files in DIR\n"
    "\n"
    "Exit code: 0 success, 1 an error was reported, 2 bad usage.\n";

int RunPreprocess(const std::vector<std::string>& args) {
    ShaderSource source;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::string error;
        int used = source.Take(args, i, &error);
        if (used < 0) {
            std::fprintf(stderr, "kiln preprocess: %s\n", error.c_str());
            return 2;
        }
        if (used == 0) {
            std::fprintf(stderr, "kiln preprocess: unknown option '%s'\n%s", args[i].c_str(), kUsage);
            return 2;
        }
        i += static_cast<size_t>(used) - 1;
    }
    if (!source.HasFile()) return MissingOption("preprocess", "the input FILE", kUsage);
    std::string error;
    if (!source.Load(&error)) {
        std::fprintf(stderr, "kiln preprocess: %s\n", error.c_str());
        return 1;
    }
    Preprocessor preprocessor;
    HRESULT hr = source.FromStandardInput()
                     ? preprocessor.OpenMemory(source.Text().data(), source.Text().size(), "<stdin>", source.Macros(),
                                               source.Include())
                     : preprocessor.OpenFile(source.File().c_str(), source.Macros(), source.Include());
    std::string text;
    if (SUCCEEDED(hr)) hr = WritePreprocessedText(preprocessor, &text);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::string messages = preprocessor.Log().Text();
    std::fwrite(messages.data(), 1, messages.size(), stderr);
    return FAILED(hr) || preprocessor.Log().ErrorCount() > 0 ? 1 : 0;
}

KilnCommand cmd("preprocess", "run the shader preprocessor and print the token stream", &RunPreprocess);

}  // namespace
