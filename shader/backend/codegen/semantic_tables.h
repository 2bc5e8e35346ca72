// The semantic names the generators know and what they select.
#pragma once

#include <cstdint>

namespace codegen {

struct SemanticUsage {
    const char* name;  // lower case
    uint32_t usage;    // declaration usage
};

// The usage of a semantic name (lower-case letters), or -1 when unknown.
int32_t UsageOfName(const char* lowerName);
// The lower-case name of a declaration usage, or null when it has none.
const char* NameOfUsage(uint32_t usage);

}  // namespace codegen
