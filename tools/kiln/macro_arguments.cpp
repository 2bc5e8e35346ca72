#include "macro_arguments.h"

namespace {

// A macro name is an identifier: a letter or '_', then letters, digits, '_'.
bool IsIdentifier(const std::string& name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
    for (char c : name)
        if (!(c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

}  // namespace

int MacroArguments::Take(const std::vector<std::string>& args, size_t i) {
    const std::string& arg = args[i];
    if (arg.rfind("-D", 0) != 0) return 0;
    std::string definition = arg.substr(2);
    int used = 1;
    if (definition.empty()) {
        if (i + 1 >= args.size()) {
            error_ = "-D needs a macro name";
            return -1;
        }
        definition = args[i + 1];
        used = 2;
    }
    size_t equals = definition.find('=');
    if (!IsIdentifier(definition.substr(0, equals))) {
        error_ = "-D " + definition + ": the macro name '" + definition.substr(0, equals) + "' is not an identifier";
        return -1;
    }
    names_.push_back(definition.substr(0, equals));
    // A macro named without a value is defined as 1.
    values_.push_back(equals == std::string::npos ? "1" : definition.substr(equals + 1));
    return used;
}

const KLMACRO* MacroArguments::Macros() {
    macros_.clear();
    for (size_t i = 0; i < names_.size(); ++i) macros_.push_back({names_[i].c_str(), values_[i].c_str()});
    macros_.push_back({nullptr, nullptr});
    return macros_.data();
}
