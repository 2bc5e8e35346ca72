#include "shader/frontend/lowering/semantic_names.h"

#include <cctype>

#include "shader/frontend/lowering/lowering.h"

namespace hlsl::lowering {
namespace {

struct UsageName {
    const char* name;
    uint32_t usage;
    int32_t fixedIndex;  // -1: the written index
};

constexpr UsageName kUsages[] = {
    {"position", 0, -1}, {"blendweight", 1, -1}, {"blendindices", 2, -1}, {"normal", 3, -1},
    {"psize", 4, -1},    {"texcoord", 5, -1},    {"tangent", 6, -1},      {"binormal", 7, -1},
    {"tessfactor", 8, -1}, {"positiont", 9, -1}, {"color", 10, -1},       {"fog", 11, -1},
    {"depth", 12, -1},   {"sample", 13, -1},     {"diffuse", 10, 0},      {"specular", 10, 1},
};

}  // namespace

SemanticKey ParseSemantic(const char* semantic) {
    SemanticKey key;
    key.usage = SemanticKey::kUnknownUsage;
    if (!semantic) return key;
    std::string text(semantic);
    size_t digits = text.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(text[digits - 1]))) --digits;
    for (size_t i = 0; i < digits; ++i) key.name += char(std::tolower(static_cast<unsigned char>(text[i])));
    uint64_t index = 0;
    for (size_t i = digits; i < text.size() && index < 0xFFFF; ++i) index = index * 10 + uint64_t(text[i] - '0');
    key.index = uint32_t(index > 0xFFFF ? 0xFFFF : index);
    for (const UsageName& u : kUsages)
        if (key.name == u.name) {
            key.usage = u.usage;
            if (u.fixedIndex >= 0) key.index = uint32_t(u.fixedIndex);
            break;
        }
    return key;
}

}  // namespace hlsl::lowering

namespace hlsl {

const char* SemanticOf(const void* semanticNode) {
    const Node* node = static_cast<const Node*>(semanticNode);
    if (!node) return nullptr;
    if (node->kind == NodeKind::VarDecl) {
        const VarDecl* v = static_cast<const VarDecl*>(node);
        return v->semantics.empty() ? nullptr : v->semantics.front();
    }
    if (node->kind == NodeKind::FuncDecl) return static_cast<const FuncDecl*>(node)->semantic;
    return nullptr;
}

SourceLocation SemanticLocation(const void* semanticNode) {
    const Node* node = static_cast<const Node*>(semanticNode);
    return node ? node->loc : SourceLocation{};
}

}  // namespace hlsl
