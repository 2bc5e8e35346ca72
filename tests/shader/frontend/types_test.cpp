// The type model: names, sizes, mixing, conversions and their costs, the
// built-in spellings, and the intrinsic signature matcher.
#include <gtest/gtest.h>

#include <cstring>

#include "shader/frontend/intrinsics.h"
#include "shader/frontend/types.h"

using namespace hlsl;

namespace {

TEST(Types, NamesAndSizes) {
    TypeTable t;
    EXPECT_EQ(TypeName(t.Vector(kFloat, 4)), "float4");
    EXPECT_EQ(TypeName(t.MakeConst(t.Matrix(kFloat, 4, 4))), "const float4x4");
    EXPECT_EQ(TypeName(t.Scalar(kIntLiteral)), "int");
    EXPECT_EQ(TypeName(t.Vector(kHalf, 3)), "half3");
    EXPECT_EQ(TypeName(t.Array(t.Array(t.Scalar(kFloat), 3), 2)), "float[2][3]");
    EXPECT_EQ(TypeName(t.Object(kSampler2D)), "sampler2D");
    EXPECT_EQ(TypeName(nullptr), "void");
    EXPECT_EQ(TypeSize(t.Matrix(kFloat, 3, 4)), 12u);
    EXPECT_EQ(TypeSize(t.Array(t.Vector(kFloat, 2), 5)), 10u);
    EXPECT_EQ(TypeSize(t.Object(kTexture)), 1u);
    // Sizes saturate instead of overflowing.
    const Type* big = t.Array(t.Array(t.Array(t.Matrix(kFloat, 4, 4), 65536), 65536), 65536);
    EXPECT_EQ(TypeSize(big), kMaxTypeSize);
}

TEST(Types, ComponentMixing) {
    struct Case {
        BaseType a, b;
        bool ok;
        BaseType mixed;
    };
    const Case cases[] = {
        {kInt, kFloat, true, kFloat},          {kFloatLiteral, kHalf, true, kHalf},
        {kHalf, kFloat, true, kFloat},          {kBool, kFloat, true, kFloat},
        {kIntLiteral, kFloatLiteral, true, kFloatLiteral}, {kInt, kUint, true, kInt},
        {kIntLiteral, kInt16, true, kInt16},    {kFloat, kDouble, true, kDouble},
        {kNull, kSampler2D, true, kSampler2D},  {kTexture, kTexture2D, true, kTexture2D},
        {kSampler, kSamplerCube, true, kSamplerCube}, {kSampler2D, kTexture2D, false, kBool},
        {kFloat, kSampler, false, kBool},       {kString, kString, true, kString},
    };
    for (const Case& c : cases) {
        BaseType m = kBool;
        EXPECT_EQ(ComponentType(c.a, c.b, &m), c.ok) << int(c.a) << " " << int(c.b);
        if (c.ok) {
            EXPECT_EQ(m, c.mixed) << int(c.a) << " " << int(c.b);
        }
    }
}

TEST(Types, ShapeConversions) {
    TypeTable t;
    const Type* f = t.Scalar(kFloat);
    const Type* f3 = t.Vector(kFloat, 3);
    const Type* f4 = t.Vector(kFloat, 4);
    const Type* m44 = t.Matrix(kFloat, 4, 4);
    const Type* m33 = t.Matrix(kFloat, 3, 3);
    const Type* m34 = t.Matrix(kFloat, 3, 4);
    const Type* m43 = t.Matrix(kFloat, 4, 3);
    const Type* m14 = t.Matrix(kFloat, 1, 4);
    const Type* m22 = t.Matrix(kFloat, 2, 2);
    struct Case {
        const Type *to, *from;
        bool implicit;
    };
    const Case cases[] = {
        {f4, f, true},     {f, f4, true},     {f, m44, true},    {f3, f4, true},   {f4, f3, false},
        {m33, m44, true},  {m43, m34, false}, {f4, m14, true},   {f3, m14, true},  {f4, m22, true},
        {m22, f4, true},   {m14, f4, true},   {m44, f, true},    {m33, f4, false},
        {t.Object(kSampler2D), t.Object(kSampler), true},       {t.Object(kSampler), t.Object(kSampler2D), false},
        {t.Object(kTexture3D), t.Object(kNull), true},          {f, t.Object(kTexture), false},
        {t.Object(kTexture), f, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CanConvert(c.to, c.from, false), c.implicit) << TypeName(c.from) << " -> " << TypeName(c.to);
}

TEST(Types, AggregateConversions) {
    TypeTable t;
    const Type* f4 = t.Vector(kFloat, 4);
    const Type* a4 = t.Array(t.Scalar(kFloat), 4);
    const Type* a2f2 = t.Array(t.Vector(kFloat, 2), 2);
    const Type* i4 = t.Array(t.Scalar(kInt), 4);
    EXPECT_TRUE(CanConvert(a4, a2f2, false));   // same flattened size and components
    EXPECT_FALSE(CanConvert(a4, i4, false));    // component types differ
    EXPECT_TRUE(CanConvert(a4, i4, true));
    EXPECT_FALSE(CanConvert(f4, a4, false));    // aggregate to base: explicit only
    EXPECT_TRUE(CanConvert(f4, a4, true));
    EXPECT_TRUE(CanConvert(t.Vector(kFloat, 2), a4, true));
    EXPECT_FALSE(CanConvert(t.Array(t.Scalar(kFloat), 5), a4, true));  // too few components
    EXPECT_TRUE(CanConvert(a4, t.Scalar(kIntLiteral), true));          // "(T)0"
    EXPECT_FALSE(CanConvert(a4, t.Scalar(kIntLiteral), false));
}

TEST(Types, ConversionCosts) {
    TypeTable t;
    struct Case {
        const Type *to, *from;
        uint32_t cost;
    };
    const Case cases[] = {
        {t.Scalar(kFloat), t.Scalar(kFloat), 0},
        {t.Scalar(kFloat), t.Scalar(kIntLiteral), kCostWiden},
        {t.Scalar(kInt), t.Scalar(kIntLiteral), kCostWiden},
        {t.Scalar(kHalf), t.Scalar(kFloat), kCostNarrow},
        {t.Scalar(kDouble), t.Scalar(kFloat), kCostWiden},
        {t.Vector(kFloat, 4), t.Scalar(kFloat), kCostReplicate},
        {t.Vector(kFloat, 3), t.Vector(kFloat, 4), kCostTruncate},
        {t.Vector(kHalf, 2), t.Vector(kFloat, 4), kCostTruncate + kCostNarrow},
        {t.Scalar(kInt), t.Scalar(kFloat), kCostNarrow},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConversionCost(c.to, c.from), c.cost) << TypeName(c.from) << " -> " << TypeName(c.to);
}

TEST(Types, MixedTypeOfBinaryOperations) {
    TypeTable t;
    EXPECT_EQ(TypeName(MixedType(t, t.Vector(kFloat, 4), t.Scalar(kFloat))), "float4");
    EXPECT_EQ(TypeName(MixedType(t, t.Vector(kFloat, 3), t.Vector(kFloat, 4))), "float3");
    EXPECT_EQ(TypeName(MixedType(t, t.Scalar(kInt), t.Vector(kHalf, 2))), "float2");
    EXPECT_EQ(TypeName(MixedType(t, t.Scalar(kFloatLiteral), t.Vector(kHalf, 2))), "half2");
    EXPECT_EQ(MixedType(t, t.Matrix(kFloat, 2, 2), t.Vector(kFloat, 3)), nullptr);
    EXPECT_EQ(MixedType(t, t.Scalar(kFloat), t.Object(kSampler)), nullptr);
}

TEST(Types, BuiltinSpellings) {
    TypeTable t;
    auto name = [&](const char* s) {
        const Type* type = BuiltinTypeBySpelling(t, s);
        return type ? TypeName(type) : std::string("-");
    };
    EXPECT_EQ(name("float4"), "float4");
    EXPECT_EQ(name("half3x3"), "half3x3");
    EXPECT_EQ(name("int2"), "int2");
    EXPECT_EQ(name("bool4x1"), "bool4x1");
    EXPECT_EQ(name("DWORD"), "int");
    EXPECT_EQ(name("Vector"), "float4");
    EXPECT_EQ(name("MATRIX"), "float4x4");
    EXPECT_EQ(name("PixelShader"), "pixelshader");
    EXPECT_EQ(name("FLOAT4"), "-");  // the prefix forms are case-sensitive
    EXPECT_EQ(name("float5"), "-");
    EXPECT_EQ(name("float0"), "-");
    EXPECT_EQ(name("float4x"), "-");
    EXPECT_EQ(name("float4x4x4"), "-");
}

std::string MatchResult(TypeTable& t, const char* name, std::vector<const Type*> args) {
    std::vector<IntrinsicArgument> in;
    for (const Type* a : args) in.push_back({a, true});
    std::vector<const Type*> params;
    const Type* result = nullptr;
    bool nameKnown, countKnown;
    const IntrinsicSignature* s = MatchIntrinsic(t, name, in, &params, &result, &nameKnown, &countKnown);
    if (!s) return "-";
    return TypeName(result);
}

TEST(Intrinsics, TableIsSortedWithOneRowPerSignature) {
    size_t n = 0;
    const IntrinsicSignature* table = IntrinsicTable(&n);
    ASSERT_EQ(n, 89u);
    int muls = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i) {
            EXPECT_LE(std::strcmp(table[i - 1].name, table[i].name), 0) << table[i].name;
        }
        muls += std::strcmp(table[i].name, "mul") == 0;
        for (int a = 1; a <= table[i].paramCount; ++a) EXPECT_NE(table[i].args[a].direction, 0) << table[i].name;
    }
    EXPECT_EQ(muls, 9);
}

TEST(Intrinsics, SignaturesResolveToTheirResultTypes) {
    TypeTable t;
    const Type* f = t.Scalar(kFloat);
    const Type* f2 = t.Vector(kFloat, 2);
    const Type* f3 = t.Vector(kFloat, 3);
    const Type* f4 = t.Vector(kFloat, 4);
    const Type* m44 = t.Matrix(kFloat, 4, 4);
    const Type* m34 = t.Matrix(kFloat, 3, 4);
    EXPECT_EQ(MatchResult(t, "abs", {t.Vector(kInt, 2)}), "int2");
    EXPECT_EQ(MatchResult(t, "lerp", {f3, f3, f}), "float3");  // a scalar factor is replicated
    EXPECT_EQ(MatchResult(t, "lerp", {f3, f4, f}), "float3");  // larger arguments are truncated
    EXPECT_EQ(MatchResult(t, "dot", {f3, f3}), "float");
    EXPECT_EQ(MatchResult(t, "mul", {f, f}), "float");
    EXPECT_EQ(MatchResult(t, "mul", {f, f3}), "float3");
    EXPECT_EQ(MatchResult(t, "mul", {f4, m44}), "float4");
    EXPECT_EQ(MatchResult(t, "mul", {f3, m34}), "float4");
    EXPECT_EQ(MatchResult(t, "mul", {m34, f4}), "float3");
    EXPECT_EQ(MatchResult(t, "mul", {m34, m44}), "float3x4");
    EXPECT_EQ(MatchResult(t, "mul", {f4, f4}), "float");
    EXPECT_EQ(MatchResult(t, "tex2D", {t.Object(kSampler2D), f2}), "float4");
    EXPECT_EQ(MatchResult(t, "tex2D", {t.Object(kSampler2D), f4}), "float4");
    EXPECT_EQ(MatchResult(t, "tex2D", {t.Object(kSampler2D), f}), "-");
    EXPECT_EQ(MatchResult(t, "tex1D", {t.Object(kSampler1D), f}), "float4");
    EXPECT_EQ(MatchResult(t, "tex2D", {t.Object(kSampler3D), f2}), "-");
    EXPECT_EQ(MatchResult(t, "transpose", {t.Matrix(kFloat, 2, 3)}), "float3x2");
    EXPECT_EQ(MatchResult(t, "D3DCOLORtoUBYTE4", {f4}), "int4");
    EXPECT_EQ(MatchResult(t, "all", {f3}), "bool");
    EXPECT_EQ(MatchResult(t, "clamp", {f3, t.Scalar(kIntLiteral), t.Scalar(kIntLiteral)}), "float3");
    EXPECT_EQ(MatchResult(t, "cross", {f3, f3}), "float3");
    EXPECT_EQ(MatchResult(t, "length", {f3}), "float");
    EXPECT_EQ(MatchResult(t, "lit", {f, f, f}), "float4");
    EXPECT_EQ(MatchResult(t, "sin", {t.Vector(kHalf, 2)}), "half2");
    EXPECT_EQ(MatchResult(t, "sqrt", {t.Scalar(kIntLiteral)}), "float");  // not in the list: first float type
    EXPECT_EQ(MatchResult(t, "normalize", {t.Object(kTexture)}), "-");
}

TEST(Intrinsics, OutParametersNeedAssignableArguments) {
    TypeTable t;
    const Type* f = t.Scalar(kFloat);
    std::vector<const Type*> params;
    const Type* result = nullptr;
    bool nameKnown, countKnown;
    EXPECT_TRUE(MatchIntrinsic(t, "sincos", {{f, true}, {f, true}, {f, true}}, &params, &result, &nameKnown, &countKnown));
    EXPECT_EQ(result, nullptr);  // void
    EXPECT_FALSE(MatchIntrinsic(t, "sincos", {{f, true}, {f, false}, {f, true}}, &params, &result, &nameKnown, &countKnown));
    EXPECT_FALSE(MatchIntrinsic(t, "sincos", {{f, true}}, &params, &result, &nameKnown, &countKnown));
    EXPECT_TRUE(nameKnown);
    EXPECT_FALSE(countKnown);
}

}  // namespace
