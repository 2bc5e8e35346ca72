#include "run_semantics.h"

#include <cctype>

#include "gfx/shaders/shader_isa.h"

namespace isa = gfx::isa;

bool ParseSemantic(const std::string& name, uint8_t* usage, uint8_t* index) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    if (digits == 0 || name.size() - digits > 2) return false;
    std::string base = name.substr(0, digits);
    for (char& c : base) c = char(std::tolower(static_cast<unsigned char>(c)));
    int number = digits < name.size() ? std::stoi(name.substr(digits)) : 0;
    if (number > 15) return false;
    for (int u = 0; u < isa::kDeclUsageCount; ++u) {
        if (base == isa::DeclUsageName(DWORD(u))) {
            *usage = uint8_t(u);
            *index = uint8_t(number);
            return true;
        }
    }
    return false;
}

std::string SemanticName(uint8_t usage, uint8_t index) {
    const char* base = isa::DeclUsageName(usage);
    std::string name = base ? base : "UNKNOWN";
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (usage == isa::USAGE_COLOR || usage == isa::USAGE_TEXCOORD || index != 0) name += std::to_string(index);
    return name;
}
