#include <gtest/gtest.h>

#include <cstring>

#include "shader/bytecode/constant_table.h"
#include "shader/bytecode/constant_table_block.h"

namespace {

struct Call {
    char kind;  // 'f', 'i', 'b'
    bool pixel;
    UINT start;
    std::vector<float> floats;
    std::vector<int> ints;
};

struct RecordingSink : ShaderConstantSink {
    HRESULT SetFloat(bool pixel, UINT start, const float* data, UINT count) override {
        calls.push_back({'f', pixel, start, std::vector<float>(data, data + count * 4), {}});
        return S_OK;
    }
    HRESULT SetInt(bool pixel, UINT start, const int* data, UINT count) override {
        calls.push_back({'i', pixel, start, {}, std::vector<int>(data, data + count * 4)});
        return S_OK;
    }
    HRESULT SetBool(bool pixel, UINT start, const BOOL* data, UINT count) override {
        calls.push_back({'b', pixel, start, {}, std::vector<int>(data, data + count)});
        return S_OK;
    }
    std::vector<Call> calls;
};

CtabType Shape(ParameterClass c, ParameterType t, uint16_t rows, uint16_t columns, uint16_t elements = 1) {
    CtabType type;
    type.parameterClass = c;
    type.parameterType = t;
    type.rows = rows;
    type.columns = columns;
    type.elements = elements;
    return type;
}

// A vs_2_0 table with a structure array, matrices, a vector, scalars and a
// bool that also has a float record.
IKLConstantTable* MakeTable(uint32_t version = 0xFFFE0200) {
    CtabType light;
    light.parameterClass = ParameterClass::Struct;
    light.elements = 3;
    light.members = {{"color", Shape(ParameterClass::Vector, ParameterType::Float, 1, 3)},
                     {"range", Shape(ParameterClass::Scalar, ParameterType::Float, 1, 1)}};
    std::vector<CtabConstant> constants{
        {"lights", RegisterSet::Float4, 10, 6, 0, light, {}},
        {"rowMatrix", RegisterSet::Float4, 0, 4, 0, Shape(ParameterClass::MatrixRows, ParameterType::Float, 4, 4), {}},
        {"colMatrix", RegisterSet::Float4, 4, 4, 0, Shape(ParameterClass::MatrixColumns, ParameterType::Float, 4, 4), {}},
        {"tint", RegisterSet::Float4, 8, 1, 0, Shape(ParameterClass::Vector, ParameterType::Float, 1, 4), {0.5f, 1, 1, 1}},
        {"scale", RegisterSet::Float4, 9, 1, 0, Shape(ParameterClass::Scalar, ParameterType::Float, 1, 1), {}},
        {"bones", RegisterSet::Float4, 20, 30, 0, Shape(ParameterClass::MatrixRows, ParameterType::Float, 3, 4, 10), {}},
        {"flag", RegisterSet::Bool, 2, 1, 0, Shape(ParameterClass::Scalar, ParameterType::Bool, 1, 1), {}},
        {"flag", RegisterSet::Float4, 16, 1, 0, Shape(ParameterClass::Scalar, ParameterType::Bool, 1, 1), {}},
        {"count", RegisterSet::Int4, 1, 1, 0, Shape(ParameterClass::Vector, ParameterType::Int, 1, 4), {}},
    };
    std::vector<uint32_t> block;
    EXPECT_EQ(S_OK, BuildConstantTable({.version = version}, constants, {}, &block));
    IKLConstantTable* table = nullptr;
    EXPECT_EQ(S_OK, CreateConstantTable(block.data() + 2, (block.size() - 2) * 4, &table));
    return table;
}

TEST(ConstantTableObject, InterfacesAndTableDescription) {
    IKLConstantTable* t = MakeTable();
    void* p = nullptr;
    EXPECT_EQ(S_OK, t->QueryInterface(IID_IKLConstantTable, &p));
    EXPECT_EQ(t, p);
    EXPECT_EQ(S_OK, t->QueryInterface(IID_IKLBuffer, &p));
    EXPECT_EQ(S_OK, t->QueryInterface(IID_IUnknown, &p));
    const IID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(E_NOINTERFACE, t->QueryInterface(other, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(3u, t->Release());  // three queries added references to the one it had
    KLCONSTANTTABLE_DESC desc;
    ASSERT_EQ(S_OK, t->DescribeTable(&desc));
    EXPECT_STREQ("Kiln Shader Compiler", desc.Creator);
    EXPECT_EQ(0xFFFE0200u, desc.Version);
    EXPECT_EQ(9u, desc.Constants);
    EXPECT_EQ(D3DERR_INVALIDCALL, t->DescribeTable(nullptr));
    while (t->Release()) {
    }

    const uint8_t shortTable[12] = {20};
    IKLConstantTable* bad = nullptr;
    ASSERT_EQ(S_OK, CreateConstantTable(shortTable, sizeof(shortTable), &bad));
    EXPECT_EQ(ERR_INVALID_DATA, bad->DescribeTable(&desc));
    EXPECT_EQ(nullptr, bad->ConstantByName(nullptr, "x"));
    bad->Release();
}

TEST(ConstantTableObject, NamesPathsAndInternedHandles) {
    IKLConstantTable* t = MakeTable();
    KLHANDLE lights = t->ConstantByName(nullptr, "lights");
    ASSERT_NE(nullptr, lights);
    KLHANDLE member = t->ConstantByName(nullptr, "lights[2].color");
    ASSERT_NE(nullptr, member);
    EXPECT_EQ(member, t->ConstantByName(nullptr, " lights [ 2 ] . color "));
    EXPECT_EQ(t->ConstantByName(lights, "[1].range"), t->ConstantByName(nullptr, "lights[1] range"));
    EXPECT_EQ(t->ElementAt(lights, 2), t->ConstantByName(nullptr, "lights[2]"));
    for (const char* bad : {"[0]", ".lights", "lights@x", "lights[3]", "lights[2].colour", "nothing", "light",
                            "lights[2].[0]", "lights[-1]"})
        EXPECT_EQ(nullptr, t->ConstantByName(nullptr, bad)) << bad;

    KLCONSTANT_DESC d;
    UINT count = 1;
    ASSERT_EQ(S_OK, t->DescribeConstant(member, &d, &count));
    EXPECT_STREQ("color", d.Name);
    EXPECT_EQ(14u, d.RegisterIndex);  // 10 + 2 elements of 2 registers
    EXPECT_EQ(1u, d.RegisterCount);
    EXPECT_EQ(12u, d.Bytes);
    // A name handle works wherever an index handle does.
    ASSERT_EQ(S_OK, t->DescribeConstant("lights[1].range", &d, &count));
    EXPECT_EQ(13u, d.RegisterIndex);

    KLHANDLE element = t->ElementAt(lights, 1);
    ASSERT_EQ(S_OK, t->DescribeConstant(element, &d, nullptr));
    EXPECT_EQ(12u, d.RegisterIndex);
    EXPECT_EQ(2u, d.RegisterCount);
    EXPECT_EQ(1u, d.Elements);
    EXPECT_EQ(nullptr, t->ElementAt(lights, 3));
    EXPECT_EQ(t->ConstantAt(nullptr, 0), t->ConstantByName(nullptr, "bones"));
    EXPECT_EQ(nullptr, t->ConstantAt(nullptr, 9));
    t->Release();
}

TEST(ConstantTableObject, DescribeCoversRecordsSharingAName) {
    IKLConstantTable* t = MakeTable();
    KLCONSTANT_DESC d[3];
    UINT count = 3;
    ASSERT_EQ(S_OK, t->DescribeConstant("flag", d, &count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(uint32_t(RegisterSet::Bool), d[0].RegisterSet);
    EXPECT_EQ(uint32_t(RegisterSet::Float4), d[1].RegisterSet);
    count = 0;
    ASSERT_EQ(S_OK, t->DescribeConstant("tint", nullptr, &count));
    EXPECT_EQ(1u, count);
    ASSERT_EQ(S_OK, t->DescribeConstant("tint", d, nullptr));
    ASSERT_NE(nullptr, d[0].DefaultValue);
    EXPECT_EQ(0.5f, static_cast<const float*>(d[0].DefaultValue)[0]);
    EXPECT_EQ(D3DERR_INVALIDCALL, t->DescribeConstant("tint", nullptr, nullptr));
    t->Release();
}

TEST(ConstantTableObject, WritesConvertShapes) {
    IKLConstantTable* t = MakeTable();
    RecordingSink sink;
    const float one = 3.0f;
    EXPECT_EQ(D3DERR_INVALIDCALL, WriteConstantValue(t, sink, "tint", {0, 3, 1, 1, 1}, &one));
    const float vector[4] = {7, 8, 9, 10};
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "scale", {1, 3, 1, 4, 1}, vector));
    ASSERT_EQ(1u, sink.calls.size());
    EXPECT_EQ(9u, sink.calls[0].start);
    EXPECT_EQ((std::vector<float>{7, 0, 0, 0}), sink.calls[0].floats);

    sink.calls.clear();
    const int colour = int(0x80FF4020);
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "tint", {0, 2, 1, 1, 1}, &colour));
    ASSERT_EQ(1u, sink.calls.size());
    const float k = 1.0f / 255.0f;
    EXPECT_EQ((std::vector<float>{255 * k, 64 * k, 32 * k, 128 * k}), sink.calls[0].floats);
    EXPECT_NEAR(0.25098f, sink.calls[0].floats[1], 1e-5);

    float m[16];
    for (int i = 0; i < 16; ++i) m[i] = float(i);
    sink.calls.clear();
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "rowMatrix", {2, 3, 4, 4, 1}, m));
    ASSERT_EQ(1u, sink.calls.size());  // the fast path: one call
    EXPECT_EQ(std::vector<float>(m, m + 16), sink.calls[0].floats);
    sink.calls.clear();
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "colMatrix", {2, 3, 4, 4, 1}, m));
    ASSERT_EQ(4u, sink.calls.size());  // transposed, one register at a time
    EXPECT_EQ(5u, sink.calls[1].start);
    EXPECT_EQ((std::vector<float>{1, 5, 9, 13}), sink.calls[1].floats);

    // float3x4 bones[10] written with four matrices: 3 registers x 4 elements.
    std::vector<float> four(64);
    for (size_t i = 0; i < four.size(); ++i) four[i] = float(i);
    sink.calls.clear();
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "bones", {2, 3, 4, 4, 4}, four.data()));
    ASSERT_EQ(12u, sink.calls.size());
    EXPECT_EQ(31u, sink.calls[11].start);
    EXPECT_EQ((std::vector<float>{56, 57, 58, 59}), sink.calls[11].floats);  // matrix 3, row 2

    // Matrices through pointers, transposed writer on a row-major constant.
    const float* pointers[1] = {m};
    sink.calls.clear();
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "rowMatrix", {3, 3, 4, 4, 1}, nullptr,
                                       reinterpret_cast<const void* const*>(pointers)));
    ASSERT_EQ(4u, sink.calls.size());
    EXPECT_EQ((std::vector<float>{0, 4, 8, 12}), sink.calls[0].floats);
    t->Release();
}

TEST(ConstantTableObject, IntegerAndBooleanSetsAndVersionRules) {
    IKLConstantTable* t = MakeTable();
    RecordingSink sink;
    const float values[4] = {1.9f, -2.7f, 3, 4};
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "count", {1, 3, 1, 4, 1}, values));
    ASSERT_EQ(1u, sink.calls.size());
    EXPECT_EQ((std::vector<int>{1, -2, 3, 4}), sink.calls[0].ints);
    sink.calls.clear();
    const BOOL yes = 7;
    // "flag" has a bool record and a float record: both registers are set.
    ASSERT_EQ(S_OK, WriteConstantValue(t, sink, "flag", {0, 1, 1, 1, 1}, &yes));
    ASSERT_EQ(2u, sink.calls.size());
    EXPECT_EQ('b', sink.calls[0].kind);
    EXPECT_EQ(2u, sink.calls[0].start);
    EXPECT_EQ(std::vector<int>{7}, sink.calls[0].ints);  // words pass unconverted
    EXPECT_EQ('f', sink.calls[1].kind);
    EXPECT_EQ(16u, sink.calls[1].start);
    EXPECT_EQ((std::vector<float>{1, 0, 0, 0}), sink.calls[1].floats);
    t->Release();

    IKLConstantTable* old = MakeTable(0xFFFE0101);
    EXPECT_EQ(ERR_INVALID_DATA, WriteConstantValue(old, sink, "count", {1, 3, 1, 4, 1}, values));
    old->Release();
    IKLConstantTable* effect = MakeTable(0x46580000);
    EXPECT_EQ(ERR_INVALID_DATA, WriteConstantValue(effect, sink, "tint", {1, 3, 1, 4, 1}, values));
    effect->Release();
}

TEST(ConstantTableObject, LoadDefaultsWritesEveryDefault) {
    IKLConstantTable* t = MakeTable(0xFFFF0200);
    RecordingSink sink;
    ASSERT_EQ(S_OK, LoadConstantDefaults(t, sink));
    ASSERT_EQ(1u, sink.calls.size());
    EXPECT_TRUE(sink.calls[0].pixel);
    EXPECT_EQ(8u, sink.calls[0].start);
    EXPECT_EQ((std::vector<float>{0.5f, 1, 1, 1}), sink.calls[0].floats);
    t->Release();
}

TEST(ExtractConstantTable, FromBytecodeOrEmpty) {
    const uint32_t program[2] = {0xFFFF0200, 0x0000FFFF};
    IKLConstantTable* t = nullptr;
    ASSERT_EQ(S_OK, ExtractConstantTable(program, sizeof(program), &t));
    KLCONSTANTTABLE_DESC desc;
    ASSERT_EQ(S_OK, t->DescribeTable(&desc));
    EXPECT_EQ(nullptr, desc.Creator);
    EXPECT_EQ(0xFFFF0200u, desc.Version);
    EXPECT_EQ(0u, desc.Constants);
    EXPECT_EQ(20u, t->GetBufferSize());
    t->Release();
    EXPECT_EQ(D3DERR_INVALIDCALL, ExtractConstantTable(program, sizeof(program), nullptr));
}

}  // namespace
