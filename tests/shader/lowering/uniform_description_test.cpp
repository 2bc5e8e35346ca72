// Constant-table descriptions of the variables the lowering binds.
#include <gtest/gtest.h>

#include <map>

#include "lowering_util.h"
#include "shader/frontend/lowering/uniform_description.h"

namespace {

// The description of the pool whose arguments are named `name`.
bool Describe(const LoweredShader& s, const char* name, CtabType* type, std::vector<float>* defaults) {
    for (const IrArgument& a : s.program.args)
        if (a.name && std::string(a.name) == name) return hlsl::DescribeUniform(a.declaration, type, defaults);
    return false;
}

TEST(UniformDescription, TypesPackingsArraysStructuresAndDefaults) {
    const char* src = R"(
        row_major float4x3 rows[2];
        float2x4 columns;
        struct Light { float power; float3 colour[2]; };
        Light light;
        sampler2D tex;
        float4 main(uniform float4 tint = {1, 2, 3, 4}, uniform bool on = true) : COLOR0 {
            return tex2D(tex, rows[1][0].xy) * tint * on + columns[1] + light.colour[1].x + light.power;
        })";
    auto s = LowerSource(src, "main", "ps_2_0");
    ASSERT_TRUE(s->Ok()) << s->log;
    CtabType t;
    std::vector<float> d;

    ASSERT_TRUE(Describe(*s, "rows", &t, &d));
    EXPECT_EQ(ParameterClass::MatrixRows, t.parameterClass);
    EXPECT_EQ(ParameterType::Float, t.parameterType);
    EXPECT_EQ(4, t.rows);
    EXPECT_EQ(3, t.columns);
    EXPECT_EQ(2, t.elements);
    EXPECT_TRUE(d.empty());

    ASSERT_TRUE(Describe(*s, "columns", &t, &d));
    EXPECT_EQ(ParameterClass::MatrixColumns, t.parameterClass);
    EXPECT_EQ(2, t.rows);
    EXPECT_EQ(4, t.columns);

    ASSERT_TRUE(Describe(*s, "light", &t, &d));
    EXPECT_EQ(ParameterClass::Struct, t.parameterClass);
    EXPECT_EQ(7, t.columns);  // 1 + 3 x 2 components
    ASSERT_EQ(2u, t.members.size());
    EXPECT_EQ("colour", t.members[1].name);
    EXPECT_EQ(2, t.members[1].type.elements);

    ASSERT_TRUE(Describe(*s, "tex", &t, &d));
    EXPECT_EQ(ParameterClass::Object, t.parameterClass);
    EXPECT_EQ(ParameterType::Sampler2D, t.parameterType);

    ASSERT_TRUE(Describe(*s, "$tint", &t, &d));
    EXPECT_EQ(ParameterClass::Vector, t.parameterClass);
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), d);
    ASSERT_TRUE(Describe(*s, "$on", &t, &d));
    EXPECT_EQ(ParameterType::Bool, t.parameterType);
    EXPECT_EQ((std::vector<float>{1}), d);

    // Register layout: the row-major array takes four registers per element,
    // the column-major matrix one register per column.
    const std::map<std::string, int> registers = {{"rows", 8}, {"columns", 4}, {"light", 3}};
    for (const IrArgument& a : s->program.args) {
        if (!a.name || a.pool < kStandardPoolCount || !registers.count(a.name)) continue;
        EXPECT_EQ(registers.at(a.name), s->program.pools[a.pool].registerCount) << a.name;
    }
    EXPECT_FALSE(hlsl::DescribeUniform(nullptr, &t, &d));
}

}  // namespace
