// Initial values of uniforms travel from the source through the constant
// table into the device: compile, create the table object, load the defaults
// and read the registers back. Every register must hold its own four floats.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "shader/bytecode/constant_table.h"
#include "shader/compiler.h"
#include "tests/gfx/scene_helper.h"

namespace {

struct DefaultCase {
    const char* profile;
    const char* source;
    const char* name;                         // the uniform whose registers are checked
    std::vector<std::vector<float>> registers;  // expected, from its first register on
};

// Uniform parameters of the entry function carry their default values into
// the table, under the parameter's name with a "$" in front.
const DefaultCase kCases[] = {
    {"vs_2_0", "float4 main(uniform float4 v = {1, 2, 3, 4}) : POSITION { return v; }", "$v", {{1, 2, 3, 4}}},
    {"vs_2_0", "float4 main(uniform float3 d[2] = {1, 2, 3, 4, 5, 6}) : POSITION { return float4(d[0] + d[1], 1); }",
     "$d", {{1, 2, 3, 0}, {4, 5, 6, 0}}},
    // Column-major (the default packing): one register per column.
    {"vs_2_0", "float4 main(uniform float2x2 m = {1, 2, 3, 4}) : POSITION { return float4(m[0], m[1]); }", "$m",
     {{1, 3, 0, 0}, {2, 4, 0, 0}}},
    {"vs_2_0", "float4 main(uniform float3x2 m = {1, 2, 3, 4, 5, 6}) : POSITION { return float4(m[0] + m[1] + m[2], 0, 1); }",
     "$m", {{1, 3, 5, 0}, {2, 4, 6, 0}}},
    // Row-major: one register per row.
    {"vs_2_0", "float4 main(uniform row_major float2x3 r = {1, 2, 3, 4, 5, 6}) : POSITION { return float4(r[0] + r[1], 1); }",
     "$r", {{1, 2, 3, 0}, {4, 5, 6, 0}}},
    // An array of scalars takes one register per element; twelve elements
    // were once more floats than the loader's four-per-register reading found.
    {"vs_2_0", "float4 main(uniform float a[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}) : POSITION"
               "{ float s = 0; for (int i = 0; i < 12; i++) s += a[i]; return s; }",
     "$a", {{1, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}, {4, 0, 0, 0}, {5, 0, 0, 0}, {6, 0, 0, 0},
            {7, 0, 0, 0}, {8, 0, 0, 0}, {9, 0, 0, 0}, {10, 0, 0, 0}, {11, 0, 0, 0}, {12, 0, 0, 0}}},
    {"vs_2_0", "struct S { float2 a; float b; float3 c; };"
               "float4 main(uniform S s = {1, 2, 3, 4, 5, 6}) : POSITION { return float4(s.a, s.b, 1) + s.c.xyzz; }",
     "$s", {{1, 2, 0, 0}, {3, 0, 0, 0}, {4, 5, 6, 0}}},
    {"vs_2_0", "float4 main(uniform bool3 f = {true, false, true}) : POSITION { return float4(f, 1); }", "$f",
     {{1, 0, 1, 0}}},
    {"vs_2_0", "float4 main(uniform int2 k = {3, -4}) : POSITION { return float4(k, 0, 1); }", "$k", {{3, -4, 0, 0}}},
    {"ps_2_0", "float4 main(uniform float2 t[2] = {1, 2, 3, 4}) : COLOR { return float4(t[0], t[1]); }", "$t",
     {{1, 2, 0, 0}, {3, 4, 0, 0}}},
};

using TablePtr = std::unique_ptr<IKLConstantTable, void (*)(IKLConstantTable*)>;

// Compiles `source`'s main for `profile` and returns its constant table
// (empty, with the messages reported, when the compile fails).
TablePtr CompileForTable(const char* source, const char* profile) {
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    IKLConstantTable* table = nullptr;
    const HRESULT hr =
        KLCompileShader(source, UINT(-1), nullptr, nullptr, "main", profile, 0, &code, &errors, &table);
    const std::string log =
        errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize()) : "";
    if (errors) errors->Release();
    if (code) code->Release();
    EXPECT_EQ(S_OK, hr) << log;
    if (FAILED(hr) && table) {
        table->Release();
        table = nullptr;
    }
    return TablePtr(table, [](IKLConstantTable* t) {
        if (t) t->Release();
    });
}

TEST(ConstantDefaults, LoadIntoTheDeviceRegisterByRegister) {
    gfxtest::TestDevice device;
    for (const DefaultCase& c : kCases) {
        SCOPED_TRACE(c.source);
        TablePtr owner = CompileForTable(c.source, c.profile);
        ASSERT_TRUE(owner);
        IKLConstantTable* table = owner.get();

        KLCONSTANT_DESC desc{};
        UINT count = 1;
        ASSERT_EQ(S_OK, table->DescribeConstant(table->ConstantByName(0, c.name), &desc, &count));
        EXPECT_EQ(c.registers.size(), desc.RegisterCount);
        ASSERT_NE(nullptr, desc.DefaultValue);

        // Registers start out holding a marker, so a component the defaults
        // leave alone shows up.
        const bool pixel = c.profile[0] == 'p';
        std::vector<float> marker(4 * 16, -99.0f);
        if (pixel)
            device.dev->SetPixelShaderConstantF(0, marker.data(), 16);
        else
            device.dev->SetVertexShaderConstantF(0, marker.data(), 16);
        EXPECT_EQ(S_OK, table->LoadDefaults(device.dev));
        for (size_t r = 0; r < c.registers.size(); ++r) {
            float got[4] = {};
            const UINT reg = UINT(desc.RegisterIndex + r);
            if (pixel)
                device.dev->GetPixelShaderConstantF(reg, got, 1);
            else
                device.dev->GetVertexShaderConstantF(reg, got, 1);
            EXPECT_EQ(c.registers[r], std::vector<float>(got, got + 4)) << "register " << r;
        }
    }
}

// An int uniform that is both a loop count and a value has a record in the
// integer set and one in the float set under the same name. Setting it by
// name, and loading the defaults, fills both registers, on either kind of
// program.
TEST(ConstantDefaults, AVariableInTwoRegisterSetsIsWrittenInBoth) {
    gfxtest::TestDevice device;
    for (const char* profile : {"ps_3_0", "vs_3_0", "vs_2_0"}) {
        SCOPED_TRACE(profile);
        const bool pixel = profile[0] == 'p';
        const std::string source =
            std::string("float4 main(float4 uv : ") + (pixel ? "TEXCOORD0" : "POSITION") +
            ", uniform int n = 3) : " + (pixel ? "COLOR" : "POSITION") + " {" +
            " float4 s = 0; for (int i = 0; i < n; i++) s += uv; return s * n; }";
        TablePtr owner = CompileForTable(source.c_str(), profile);
        ASSERT_TRUE(owner);
        IKLConstantTable* table = owner.get();

        KLCONSTANT_DESC descs[2]{};
        UINT count = 2;
        ASSERT_EQ(S_OK, table->DescribeConstant(table->ConstantByName(0, "$n"), descs, &count));
        ASSERT_EQ(2u, count);
        UINT floatRegister = 0, intRegister = 0;
        for (const KLCONSTANT_DESC& d : descs) (d.RegisterSet == 2 ? floatRegister : intRegister) = d.RegisterIndex;
        auto registers = [&](float* f, int* i) {
            if (pixel) {
                device.dev->GetPixelShaderConstantF(floatRegister, f, 1);
                device.dev->GetPixelShaderConstantI(intRegister, i, 1);
            } else {
                device.dev->GetVertexShaderConstantF(floatRegister, f, 1);
                device.dev->GetVertexShaderConstantI(intRegister, i, 1);
            }
        };
        float f[4] = {};
        int i[4] = {};
        EXPECT_EQ(S_OK, table->LoadDefaults(device.dev));
        registers(f, i);
        EXPECT_EQ(3.0f, f[0]);
        EXPECT_EQ(3, i[0]);
        EXPECT_EQ(S_OK, table->WriteInt(device.dev, "$n", 7));
        registers(f, i);
        EXPECT_EQ(7.0f, f[0]);
        EXPECT_EQ(7, i[0]);
        EXPECT_EQ(S_OK, table->WriteFloat(device.dev, table->ConstantByName(0, "$n"), 5.0f));
        registers(f, i);
        EXPECT_EQ(5.0f, f[0]);
        EXPECT_EQ(5, i[0]);
    }
}

}  // namespace
