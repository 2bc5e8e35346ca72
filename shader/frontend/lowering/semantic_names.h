// Semantic names split into a usage and an index, for ordering the inputs of
// an entry function ("TEXCOORD3" is texture coordinate 3; a name without a
// trailing number has index 0). Which names a target accepts is the code
// generator's business; unknown names sort after every known one.
#pragma once

#include <cstdint>
#include <string>

namespace hlsl::lowering {

struct SemanticKey {
    uint32_t usage = 0;  // declaration usage; kUnknownUsage for names not in the table
    uint32_t index = 0;
    std::string name;    // the lower-case letters, to order unknown names
    static constexpr uint32_t kUnknownUsage = 0xFFFF;
};

SemanticKey ParseSemantic(const char* semantic);

}  // namespace hlsl::lowering
