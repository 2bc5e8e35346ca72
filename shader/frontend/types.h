// The type model of the HLSL front end: base types, type records, their
// sizes and printed names, and the conversion and mixing rules that the
// parser applies while it builds expressions (and that overload resolution
// scores). The lowering reads the same records.
#pragma once

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <string>
#include <vector>

namespace hlsl {

// Base types. The numbering is part of the type model (intrinsic descriptors
// name base types by these values).
enum BaseType : uint8_t {
    kBool = 0,
    kIntLiteral = 1,    // unsuffixed integer literal that fits a signed 32-bit value
    kInt8 = 2,
    kInt16 = 3,
    kInt = 4,           // "int", "dword", suffix "l"
    kUintLiteral = 5,   // unsuffixed integer literal beyond the signed range
    kUint8 = 6,
    kUint16 = 7,
    kUint = 8,          // suffix "u"
    kFloatLiteral = 9,  // unsuffixed float literal
    kHalf = 10,
    kFloat = 11,
    kDouble = 12,
    kNull = 13,
    kString = 14,
    kTexture = 15,
    kTexture1D = 16,
    kTexture2D = 17,
    kTexture3D = 18,
    kTextureCube = 19,
    kSampler = 20,
    kSampler1D = 21,
    kSampler2D = 22,
    kSampler3D = 23,
    kSamplerCube = 24,
    kPixelShader = 25,
    kVertexShader = 26,
    kPixelFragment = 27,
    kVertexFragment = 28,
    kBaseTypeCount = 29,  // also ends base-type lists in the intrinsic table
};

// Class bits: what a base type may act as when mixed with another.
enum : uint8_t {
    kActsBool = 0x01,
    kActsSigned = 0x02,
    kActsUnsigned = 0x04,
    kActsFloat = 0x08,
    kActsObject = 0x10,
};

struct BaseTypeInfo {
    const char* name;
    uint8_t bits;  // 0: unsized literal type
    uint8_t classBits;
};
const BaseTypeInfo& BaseInfo(BaseType base);

enum TypeClass : uint8_t { kScalar = 0, kVector = 1, kMatrix = 2, kObject = 3 };

enum TypeFlags : uint32_t {
    kConst = 0x200,
    kRowMajor = 0x400,
    kColumnMajor = 0x800,
};

struct VarDecl;  // program_tree.h

// A structure's members, in declaration order.
struct StructDef {
    const char* name = nullptr;  // null for an anonymous structure
    std::vector<VarDecl*> members;
};

// A type record: a base type (scalar, vector, matrix or object), an array of
// an element type, or a structure.
struct Type {
    enum Kind : uint8_t { kBase, kArray, kStruct };
    Kind kind = kBase;
    BaseType base = kFloat;
    TypeClass cls = kScalar;
    uint8_t rows = 1, cols = 1;
    uint32_t flags = 0;              // kConst, kRowMajor, kColumnMajor
    const Type* element = nullptr;   // arrays
    uint32_t count = 0;              // arrays: element count
    const StructDef* structure = nullptr;

    bool IsBase() const { return kind == kBase; }
    bool IsScalar() const { return kind == kBase && cls == kScalar; }
    bool IsObject() const { return kind == kBase && cls == kObject; }
    bool IsConst() const { return (flags & kConst) != 0; }
};

// The declared type of a structure member (program_tree.cpp).
const Type* MemberType(const VarDecl* member);

// Owns every type record of one compile; records never move once made.
class TypeTable {
public:
    const Type* Scalar(BaseType base);
    const Type* Vector(BaseType base, unsigned n);
    const Type* Matrix(BaseType base, unsigned rows, unsigned cols);
    const Type* Object(BaseType base);
    // Scalar, vector or matrix by shape class, rows and columns.
    const Type* Numeric(BaseType base, TypeClass cls, unsigned rows, unsigned cols);
    const Type* Array(const Type* element, uint32_t count);
    const Type* Struct(const StructDef* def);
    const Type* WithFlags(const Type* t, uint32_t flags);  // replaces the flags
    const Type* MakeConst(const Type* t);
    const Type* WithoutConst(const Type* t);
    // The same shape with another base type (base types only).
    const Type* WithBase(const Type* t, BaseType base);
    StructDef* NewStruct();

private:
    const Type* Add(const Type& t);
    std::deque<Type> types_;
    std::unordered_map<uint32_t, const Type*> plain_;  // unflagged base types by shape
    std::deque<StructDef> structs_;
};

// Types are capped well below overflow: 65536 elements of 16 components,
// nested a few times, still fit; anything larger saturates here.
constexpr uint32_t kMaxTypeSize = 0x40000000u;

uint32_t TypeSize(const Type* t);
bool IsNumeric(const Type* t);
bool IsNumericBase(BaseType b);
std::string TypeName(const Type* t);

// Flattened component base types of a type, at most `limit` of them.
void FlattenComponents(const Type* t, std::vector<BaseType>& out, uint32_t limit = kMaxTypeSize);

// The base type two base types mix to; false when they do not mix.
bool ComponentType(BaseType a, BaseType b, BaseType* out);

bool CanConvert(const Type* to, const Type* from, bool isExplicit);
uint32_t ConversionCost(const Type* to, const Type* from);

// Result type of a binary operation on a and b, or null when they do not mix.
const Type* MixedType(TypeTable& types, const Type* a, const Type* b);

// Type spellings that name built-in types without being declared: "float4",
// "half3x3", "dword", "FLOAT" ... Returns null for anything else.
const Type* BuiltinTypeBySpelling(TypeTable& types, const char* name);

// Costs of overload resolution.
enum : uint32_t {
    kCostReplicate = 4,
    kCostNarrow = 0x200,
    kCostWiden = 0x10000,
    kCostTruncate = 0x800000,
};

}  // namespace hlsl
