#include "shader/backend/codegen/semantic_tables.h"

#include <cstring>

namespace codegen {

namespace {

constexpr SemanticUsage kUsages[] = {
    {"position", 0}, {"blendweight", 1}, {"blendindices", 2}, {"normal", 3}, {"psize", 4},
    {"texcoord", 5}, {"tangent", 6},     {"binormal", 7},     {"positiont", 9}, {"color", 10},
    {"fog", 11},     {"depth", 12},      {"sample", 13},
};

}  // namespace

int32_t UsageOfName(const char* lowerName) {
    for (const SemanticUsage& u : kUsages)
        if (std::strcmp(u.name, lowerName) == 0) return int32_t(u.usage);
    return -1;
}

const char* NameOfUsage(uint32_t usage) {
    for (const SemanticUsage& u : kUsages)
        if (u.usage == usage) return u.name;
    return nullptr;
}

}  // namespace codegen
