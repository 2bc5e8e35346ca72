// Parsing of the -D NAME[=VALUE] options shared by the shader commands.
#pragma once

#include <string>
#include <vector>

#include "shader/compiler.h"

class MacroArguments {
public:
    // Takes "-D" with the next argument, or "-DNAME[=VALUE]". Returns the
    // number of arguments consumed (0 when args[i] is no macro option, -1 when
    // the value is missing or NAME is not an identifier; Error() says which).
    int Take(const std::vector<std::string>& args, size_t i);
    const std::string& Error() const { return error_; }
    // The macro array, ended by a null name; valid while this object lives.
    const KLMACRO* Macros();

private:
    std::vector<std::string> names_, values_;
    std::vector<KLMACRO> macros_;
    std::string error_;
};
