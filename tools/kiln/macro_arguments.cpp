#include "macro_arguments.h"

int MacroArguments::Take(const std::vector<std::string>& args, size_t i) {
    const std::string& arg = args[i];
    if (arg.rfind("-D", 0) != 0) return 0;
    std::string definition = arg.substr(2);
    int used = 1;
    if (definition.empty()) {
        if (i + 1 >= args.size()) return -1;
        definition = args[i + 1];
        used = 2;
    }
    size_t equals = definition.find('=');
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
