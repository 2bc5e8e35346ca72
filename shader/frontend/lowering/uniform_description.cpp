#include "shader/frontend/lowering/uniform_description.h"

#include <algorithm>

#include "shader/frontend/program_tree.h"

namespace hlsl {
namespace {

ParameterType TypeCode(BaseType b) {
    if (b == kBool) return ParameterType::Bool;
    if (b >= kIntLiteral && b <= kUint) return ParameterType::Int;
    if (b >= kFloatLiteral && b <= kDouble) return ParameterType::Float;
    if (b == kString) return ParameterType::String;
    if (b >= kTexture && b <= kVertexFragment) return ParameterType(uint16_t(ParameterType::Texture) + (b - kTexture));
    return ParameterType::Void;
}

uint16_t Clamp16(uint64_t v) { return uint16_t(std::min<uint64_t>(v, 0xFFFF)); }

CtabType Describe(const Type* t, uint32_t packing) {
    CtabType d;
    uint64_t elements = 1;
    while (t && t->kind == Type::kArray) {
        elements *= t->count;
        t = t->element;
    }
    d.elements = Clamp16(elements);
    if (!t) return d;
    if (t->kind == Type::kStruct) {
        d.parameterClass = ParameterClass::Struct;
        d.parameterType = ParameterType::Void;
        for (const VarDecl* m : t->structure->members)
            d.members.push_back(CtabMember{m->name ? m->name : "", Describe(m->type, m->packing)});
        d.rows = 1;
        d.columns = Clamp16(CtabScalarCount(d));
        return d;
    }
    d.parameterType = TypeCode(t->base);
    switch (t->cls) {
        case kScalar: d.parameterClass = ParameterClass::Scalar; break;
        case kVector: d.parameterClass = ParameterClass::Vector; break;
        case kMatrix:
            d.parameterClass = (packing & kRowMajor) ? ParameterClass::MatrixRows : ParameterClass::MatrixColumns;
            break;
        case kObject: d.parameterClass = ParameterClass::Object; break;
    }
    d.rows = t->rows;
    d.columns = t->cols;
    return d;
}

}  // namespace

bool DescribeUniform(const void* declaration, CtabType* type, std::vector<float>* defaultValue) {
    const Node* node = static_cast<const Node*>(declaration);
    if (!node || node->kind != NodeKind::VarDecl) return false;
    const VarDecl* v = static_cast<const VarDecl*>(node);
    *type = Describe(v->type, v->packing);
    defaultValue->clear();
    if (v->init && v->init->kind == NodeKind::Literal && IsNumeric(v->type))
        for (const ConstValue& c : static_cast<const LiteralExpr*>(v->init)->values)
            defaultValue->push_back(float(c.AsDouble()));
    return true;
}

}  // namespace hlsl
