// What the shader commands (compile, preprocess, check) share: the input
// FILE ("-" reads standard input), -D NAME[=VALUE], -I DIR and
// --assign NAME=DIR, and the check of a profile name.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include_search.h"
#include "macro_arguments.h"

class ShaderSource {
public:
    // Takes args[i] (with its value) when it is -D, -I or --assign, or the
    // input file. Returns the number of arguments used (0: not one of these),
    // or -1 with a message in *error.
    int Take(const std::vector<std::string>& args, size_t i, std::string* error);

    bool HasFile() const { return !file_.empty(); }
    bool FromStandardInput() const { return file_ == "-"; }
    const std::string& File() const { return file_; }
    // Reads standard input when the input is "-". False with a message when
    // it cannot be read or is too large.
    bool Load(std::string* error);
    // The text read from standard input.
    const std::string& Text() const { return text_; }

    const KLMACRO* Macros() { return macros_.Macros(); }
    // The include opener: null for a file without -I or --assign (the
    // compiler then looks beside each file itself).
    IKLInclude* Include();

private:
    std::string file_;
    std::string text_;
    MacroArguments macros_;
    std::vector<std::string> includeDirs_;
    std::map<std::string, std::string> assigns_;
    std::unique_ptr<SearchPathInclude> include_;
};

// Reads all of standard input (at most 64 MiB). False with a message when it
// cannot be read or is larger.
bool ReadStandardInput(std::string* text, std::string* error);

// When `profile` names no target the compiler accepts, prints
// "kiln <command>: '...' is not a profile; the compiler takes ..." with the
// valid names on stderr (after the compiler's own message about it).
void ExplainUnknownProfile(const char* command, const std::string& profile);

// Prints "kiln <command>: missing <option>" and the usage text on stderr;
// returns the usage exit code 2.
int MissingOption(const char* command, const char* option, const char* usage);
