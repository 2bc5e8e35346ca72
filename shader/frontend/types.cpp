#include "shader/frontend/types.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace hlsl {
namespace {

const BaseTypeInfo kBaseTypes[kBaseTypeCount] = {
    {"bool", 0, 0x0F},         {"int", 0, 0x0A},          {"int", 8, 0x0A},
    {"int", 16, 0x0A},         {"int", 32, 0x0A},         {"int", 0, 0x0E},
    {"int", 8, 0x0E},          {"int", 16, 0x0E},         {"int", 32, 0x0E},
    {"float", 0, 0x08},        {"half", 16, 0x08},        {"float", 32, 0x08},
    {"double", 64, 0x08},      {"NULL", 0, 0x10},         {"string", 0, 0x10},
    {"texture", 0, 0x10},      {"texture1D", 0, 0x10},    {"texture2D", 0, 0x10},
    {"texture3D", 0, 0x10},    {"textureCUBE", 0, 0x10},  {"sampler", 0, 0x10},
    {"sampler1D", 0, 0x10},    {"sampler2D", 0, 0x10},    {"sampler3D", 0, 0x10},
    {"samplerCUBE", 0, 0x10},  {"pixelshader", 0, 0x10},  {"vertexshader", 0, 0x10},
    {"pixelfragment", 0, 0x10}, {"vertexfragment", 0, 0x10},
};

// Conversions compare flattened component lists; this bounds their length.
constexpr uint32_t kMaxCompared = 1u << 20;

bool IsTextureType(BaseType b) { return b >= kTexture && b <= kTextureCube; }
bool IsSamplerType(BaseType b) { return b >= kSampler && b <= kSamplerCube; }

uint32_t SatMul(uint32_t a, uint32_t b) {
    uint64_t p = uint64_t(a) * b;
    return p > kMaxTypeSize ? kMaxTypeSize : uint32_t(p);
}

// Object conversions: same type, NULL to any object, the generic texture or
// sampler to any specific one.
bool ObjectConverts(BaseType to, BaseType from) {
    if (to == from || from == kNull) return true;
    if (from == kTexture && IsTextureType(to)) return true;
    if (from == kSampler && IsSamplerType(to)) return true;
    return false;
}

bool ScalarConverts(BaseType to, BaseType from, bool isExplicit) {
    (void)isExplicit;
    bool toObj = !IsNumericBase(to), fromObj = !IsNumericBase(from);
    if (toObj || fromObj) return toObj && fromObj && ObjectConverts(to, from);
    return true;
}

// Shape rules between two numeric base types (scalar, vector, matrix).
bool ShapeConverts(const Type* to, const Type* from) {
    unsigned fr = from->rows, fc = from->cols;
    switch (to->cls) {
        case kScalar:
            return true;
        case kVector: {
            unsigned n = to->cols;
            if (from->cls == kScalar) return true;
            if (from->cls == kVector) return fc >= n;
            return (fr == 1 && fc >= n) || (fc == 1 && fr >= n) || fr * fc == n;
        }
        case kMatrix: {
            unsigned r = to->rows, c = to->cols;
            if (from->cls == kScalar) return true;
            if (from->cls == kVector) return (r == 1 && fc >= c) || (c == 1 && fc >= r) || fc == r * c;
            return fr >= r && fc >= c;
        }
        default:
            return false;
    }
}

}  // namespace

const BaseTypeInfo& BaseInfo(BaseType base) { return kBaseTypes[base < kBaseTypeCount ? base : kFloat]; }

bool IsNumericBase(BaseType b) { return b <= kDouble; }

// ---- TypeTable ----

const Type* TypeTable::Add(const Type& t) {
    types_.push_back(t);
    return &types_.back();
}

const Type* TypeTable::Numeric(BaseType base, TypeClass cls, unsigned rows, unsigned cols) {
    uint32_t key = uint32_t(base) | uint32_t(cls) << 8 | (rows & 0xFF) << 16 | (cols & 0xFF) << 24;
    auto it = plain_.find(key);
    if (it != plain_.end()) return it->second;
    Type t;
    t.base = base;
    t.cls = cls;
    t.rows = uint8_t(rows);
    t.cols = uint8_t(cols);
    const Type* made = Add(t);
    plain_[key] = made;
    return made;
}

const Type* TypeTable::Scalar(BaseType base) { return Numeric(base, kScalar, 1, 1); }
const Type* TypeTable::Vector(BaseType base, unsigned n) { return Numeric(base, kVector, 1, n); }
const Type* TypeTable::Matrix(BaseType base, unsigned r, unsigned c) { return Numeric(base, kMatrix, r, c); }
const Type* TypeTable::Object(BaseType base) { return Numeric(base, kObject, 1, 1); }

const Type* TypeTable::Array(const Type* element, uint32_t count) {
    Type t;
    t.kind = Type::kArray;
    t.element = element;
    t.count = count;
    t.base = element->base;
    return Add(t);
}

const Type* TypeTable::Struct(const StructDef* def) {
    Type t;
    t.kind = Type::kStruct;
    t.structure = def;
    return Add(t);
}

StructDef* TypeTable::NewStruct() {
    structs_.emplace_back();
    return &structs_.back();
}

const Type* TypeTable::WithFlags(const Type* t, uint32_t flags) {
    if (t->flags == flags) return t;
    Type c = *t;
    c.flags = flags;
    if (c.kind == Type::kBase && flags == 0) return Numeric(c.base, c.cls, c.rows, c.cols);
    return Add(c);
}

const Type* TypeTable::MakeConst(const Type* t) { return WithFlags(t, t->flags | kConst); }
const Type* TypeTable::WithoutConst(const Type* t) { return WithFlags(t, t->flags & ~uint32_t(kConst)); }

const Type* TypeTable::WithBase(const Type* t, BaseType base) {
    if (t->kind != Type::kBase || t->base == base) return t;
    if (t->flags == 0) return Numeric(base, t->cls, t->rows, t->cols);
    Type c = *t;
    c.base = base;
    return Add(c);
}

// ---- sizes, names ----

uint32_t TypeSize(const Type* t) {
    if (!t) return 0;
    switch (t->kind) {
        case Type::kBase:
            return uint32_t(t->rows) * t->cols;
        case Type::kArray:
            return SatMul(t->count, TypeSize(t->element));
        case Type::kStruct: {
            uint64_t sum = 0;
            for (const VarDecl* m : t->structure->members) sum += TypeSize(MemberType(m));
            return sum > kMaxTypeSize ? kMaxTypeSize : uint32_t(sum);
        }
    }
    return 0;
}

bool IsNumeric(const Type* t) {
    if (!t) return false;
    switch (t->kind) {
        case Type::kBase:
            return t->cls != kObject;
        case Type::kArray:
            return IsNumeric(t->element);
        case Type::kStruct:
            for (const VarDecl* m : t->structure->members)
                if (!IsNumeric(MemberType(m))) return false;
            return true;
    }
    return false;
}

std::string TypeName(const Type* t) {
    if (!t) return "void";
    std::string prefix = t->IsConst() ? "const " : "";
    char buf[64];
    switch (t->kind) {
        case Type::kBase: {
            std::string s = prefix + BaseInfo(t->base).name;
            if (t->cls == kVector) {
                std::snprintf(buf, sizeof buf, "%u", unsigned(t->cols));
                s += buf;
            } else if (t->cls == kMatrix) {
                std::snprintf(buf, sizeof buf, "%ux%u", unsigned(t->rows), unsigned(t->cols));
                s += buf;
            }
            return s;
        }
        case Type::kArray: {
            const Type* e = t;
            std::string dims;
            while (e->kind == Type::kArray) {
                std::snprintf(buf, sizeof buf, "[%u]", e->count);
                dims += buf;
                e = e->element;
            }
            return prefix + TypeName(e) + dims;
        }
        case Type::kStruct:
            std::snprintf(buf, sizeof buf, "%sstruct{%u}", prefix.c_str(), TypeSize(t));
            return buf;
    }
    return "unknown";
}

void FlattenComponents(const Type* t, std::vector<BaseType>& out, uint32_t limit) {
    if (!t || out.size() >= limit) return;
    switch (t->kind) {
        case Type::kBase:
            for (unsigned i = 0; i < unsigned(t->rows) * t->cols && out.size() < limit; ++i) out.push_back(t->base);
            return;
        case Type::kArray:
            for (uint32_t i = 0; i < t->count && out.size() < limit; ++i) FlattenComponents(t->element, out, limit);
            return;
        case Type::kStruct:
            for (const VarDecl* m : t->structure->members) FlattenComponents(MemberType(m), out, limit);
            return;
    }
}

// ---- mixing and conversions ----

bool ComponentType(BaseType a, BaseType b, BaseType* out) {
    if (a == b) {
        *out = a;
        return true;
    }
    const BaseTypeInfo& ia = BaseInfo(a);
    const BaseTypeInfo& ib = BaseInfo(b);
    unsigned width = ia.bits > ib.bits ? ia.bits : ib.bits;
    unsigned cls = ia.classBits & ib.classBits;
    if (cls & kActsBool) {
        *out = kBool;
    } else if (cls & kActsUnsigned) {
        *out = width == 0 ? kUintLiteral : width == 8 ? kUint8 : width == 16 ? kUint16 : kUint;
    } else if (cls & kActsSigned) {
        *out = width == 0 ? kIntLiteral : width == 8 ? kInt8 : width == 16 ? kInt16 : kInt;
    } else if (cls & kActsFloat) {
        *out = width == 0 ? kFloatLiteral : width <= 16 ? kHalf : width == 32 ? kFloat : kDouble;
    } else if (cls & kActsObject) {
        if (a == kNull) *out = b;
        else if (b == kNull) *out = a;
        else if (a == kTexture && IsTextureType(b)) *out = b;
        else if (b == kTexture && IsTextureType(a)) *out = a;
        else if (a == kSampler && IsSamplerType(b)) *out = b;
        else if (b == kSampler && IsSamplerType(a)) *out = a;
        else return false;
    } else {
        return false;
    }
    return true;
}

bool CanConvert(const Type* to, const Type* from, bool isExplicit) {
    if (!to || !from) return false;
    bool toAggregate = !to->IsBase(), fromAggregate = !from->IsBase();
    if (!toAggregate && !fromAggregate) {
        bool toObj = to->cls == kObject, fromObj = from->cls == kObject;
        if (toObj || fromObj) return toObj && fromObj && ObjectConverts(to->base, from->base);
        return ShapeConverts(to, from);
    }
    uint32_t toSize = TypeSize(to), fromSize = TypeSize(from);
    // "(Struct)0": an explicit conversion replicates a numeric scalar into
    // every component of a numeric aggregate.
    if (isExplicit && !fromAggregate && from->cls == kScalar && IsNumeric(to)) return true;
    // An explicit conversion sees a numeric aggregate as a vector of its size.
    if (isExplicit && fromAggregate && !toAggregate && to->cls != kObject && IsNumeric(from) && fromSize <= 4) {
        Type v;
        v.base = kFloat;
        v.cls = fromSize == 1 ? kScalar : kVector;
        v.cols = uint8_t(fromSize);
        return ShapeConverts(to, &v);
    }
    // Component lists are compared one by one; aggregates beyond this size
    // (only reachable with nested maximal arrays) convert only to themselves.
    if (toSize > kMaxCompared || fromSize > kMaxCompared) return false;
    std::vector<BaseType> tc, fc;
    if (!isExplicit) {
        if (!toAggregate || !fromAggregate || toSize != fromSize) return false;
        FlattenComponents(to, tc);
        FlattenComponents(from, fc);
        return tc == fc;
    }
    if (fromSize < toSize) return false;
    FlattenComponents(to, tc);
    FlattenComponents(from, fc, toSize);
    for (size_t i = 0; i < tc.size(); ++i)
        if (!ScalarConverts(tc[i], fc[i], true)) return false;
    return true;
}

uint32_t ConversionCost(const Type* to, const Type* from) {
    if (!to || !from || to == from) return 0;
    uint32_t toSize = TypeSize(to), fromSize = TypeSize(from);
    uint32_t n = toSize < fromSize ? toSize : fromSize;
    if (n > kMaxCompared) n = kMaxCompared;
    std::vector<BaseType> tc, fc;
    FlattenComponents(to, tc, n);
    FlattenComponents(from, fc, n);
    bool narrowing = false, widening = false;
    for (size_t i = 0; i < tc.size() && i < fc.size(); ++i) {
        BaseType mix;
        bool ok = ComponentType(tc[i], fc[i], &mix);
        if (!ok || mix != tc[i]) narrowing = true;
        if (!ok || mix != fc[i]) widening = true;
    }
    uint32_t cost = 0;
    if (fromSize < toSize) cost += kCostReplicate;
    if (narrowing) cost += kCostNarrow;
    if (widening) cost += kCostWiden;
    if (fromSize > toSize) cost += kCostTruncate;
    return cost;
}

const Type* MixedType(TypeTable& types, const Type* a, const Type* b) {
    if (!a || !b || !a->IsBase() || !b->IsBase()) return nullptr;
    BaseType base;
    if (!ComponentType(a->base, b->base, &base)) return nullptr;
    const Type* shape;
    if (TypeSize(a) >= TypeSize(b) && CanConvert(a, b, false)) shape = a;
    else if (CanConvert(b, a, false)) shape = b;
    else if (CanConvert(a, b, false)) shape = a;
    else return nullptr;
    return types.Numeric(base, shape->cls, shape->rows, shape->cols);
}

// ---- built-in spellings ----

const Type* BuiltinTypeBySpelling(TypeTable& types, const char* name) {
    struct Caseless {
        const char* word;
        BaseType base;
        TypeClass cls;
        unsigned rows, cols;
    };
    static const Caseless kCaseless[] = {
        {"dword", kInt, kScalar, 1, 1},         {"float", kFloat, kScalar, 1, 1},
        {"vector", kFloat, kVector, 1, 4},      {"matrix", kFloat, kMatrix, 4, 4},
        {"string", kString, kObject, 1, 1},     {"texture", kTexture, kObject, 1, 1},
        {"pixelshader", kPixelShader, kObject, 1, 1}, {"vertexshader", kVertexShader, kObject, 1, 1},
    };
    for (const Caseless& c : kCaseless)
        if (strcasecmp(name, c.word) == 0) return types.Numeric(c.base, c.cls, c.rows, c.cols);

    struct Prefix {
        const char* word;
        BaseType base;
    };
    static const Prefix kPrefixes[] = {{"bool", kBool}, {"int", kInt}, {"half", kHalf}, {"float", kFloat},
                                       {"double", kDouble}};
    for (const Prefix& p : kPrefixes) {
        size_t len = std::strlen(p.word);
        if (std::strncmp(name, p.word, len) != 0) continue;
        const char* s = name + len;
        auto dim = [](char ch) { return ch >= '1' && ch <= '4'; };
        if (dim(s[0]) && s[1] == 0) return types.Vector(p.base, unsigned(s[0] - '0'));
        if (dim(s[0]) && s[1] == 'x' && dim(s[2]) && s[3] == 0)
            return types.Matrix(p.base, unsigned(s[0] - '0'), unsigned(s[2] - '0'));
    }
    return nullptr;
}

}  // namespace hlsl
