// Matrices in vertex shaders: every form of mul, element and row access,
// casts and transposes, with the packing given by the declaration's keyword,
// by the pack_matrix pragma, by the compile flags 0x10 and 0x20 or by the
// default (column-major). Uniforms are placed through the constant table in
// the layout the packing implies, and every result is computed in C++.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vs_exec_util.h"

namespace {

struct Matrix {
    int rows, cols;
    std::vector<float> v;  // row by row
    float at(int r, int c) const { return v[size_t(r * cols + c)]; }
};

// Distinct, non-symmetric entries, some negative.
Matrix Make(int rows, int cols, float seed) {
    Matrix m{rows, cols, {}};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) m.v.push_back(seed + float(r * 5 + c * 3) * 0.125f - (c == 1 ? 1.5f : 0.0f));
    return m;
}

Matrix Product(const Matrix& a, const Matrix& b) {
    Matrix r{a.rows, b.cols, std::vector<float>(size_t(a.rows * b.cols), 0.0f)};
    for (int i = 0; i < a.rows; ++i)
        for (int j = 0; j < b.cols; ++j)
            for (int k = 0; k < a.cols; ++k) r.v[size_t(i * b.cols + j)] += a.at(i, k) * b.at(k, j);
    return r;
}

Matrix Row(const Vec4& v, int n) { return {1, n, std::vector<float>(v.begin(), v.begin() + n)}; }
Matrix Column(const Vec4& v, int n) { return {n, 1, std::vector<float>(v.begin(), v.begin() + n)}; }

// Up to four values of a matrix as an output vector, the rest 0.
Vec4 Take(const Matrix& m, size_t first = 0) {
    Vec4 r{0, 0, 0, 0};
    for (size_t i = 0; i < 4 && first + i < m.v.size(); ++i) r[i] = m.v[first + i];
    return r;
}

const Matrix kA = Make(4, 4, -1.0f);  // float4x4
const Matrix kB = Make(3, 4, 0.5f);   // float3x4
const Matrix kC = Make(4, 3, -0.25f); // float4x3

const Vec4 kVertices[][2] = {
    {{1.5f, -2.0f, 0.25f, 3.0f}, {0.5f, 4.0f, -1.0f, 2.0f}},
    {{-0.75f, 0.5f, 2.0f, 1.0f}, {-3.0f, 0.25f, 1.5f, -0.5f}},
    {{0.0f, 1.0f, -4.0f, 0.125f}, {2.0f, -2.0f, 0.0f, 1.0f}},
};

// The shader: MODIFIER stands before every matrix declaration.
const char* kSource = R"(
    MODIFIER float4x4 A;
    MODIFIER float3x4 B;
    MODIFIER float4x3 C;
    float4 main(float4 p : POSITION, float4 u : NORMAL,
                out float4 t0 : TEXCOORD0, out float4 t1 : TEXCOORD1, out float4 t2 : TEXCOORD2,
                out float4 t3 : TEXCOORD3, out float4 t4 : TEXCOORD4, out float4 t5 : TEXCOORD5,
                out float4 t6 : TEXCOORD6, out float4 t7 : TEXCOORD7, out float4 c0 : COLOR0,
                out float4 c1 : COLOR1) : POSITION {
        t0 = mul(A, p);
        t1 = float4(mul(B, p), mul(p, u));
        t2 = mul(p.xyz, B);
        t3 = float4(mul(p, C), mul(p.x, u.y));
        t4 = mul(C, p.xyz);
        float4x4 cb = mul(C, B);
        float3x3 bc = mul(B, C);
        t5 = cb[2] + float4(bc[1], bc._m22);
        t6 = A[1] + float4(B[2].wzy, A._m23) + float4(C[3], A[2][1]);
        t7 = mul(p.z, u) + mul(u, p.w) + mul(p.x, A)[3] + mul(B, u.w)[0];
        float3x3 a3 = (float3x3)A;
        c0 = float4(mul(p.xyz, a3), 1) * 0.125;
        c1 = mul(transpose(B), u.xyz) * 0.0625;
        return mul(p, A);
    })";

struct Packing {
    const char* name;
    const char* prefix;    // text put before the source
    const char* modifier;  // replaces MODIFIER
    DWORD flags;
    bool rowMajor;
};

const Packing kPackings[] = {
    {"default", "", "", 0, false},
    {"row_major keyword", "", "row_major", 0, true},
    {"column_major keyword", "", "column_major", 0, false},
    {"pragma row", "#pragma pack_matrix(row_major)\n", "", 0, true},
    {"pragma column", "#pragma pack_matrix(column_major)\n", "", 0, false},
    {"flag 0x10", "", "", 0x10, true},
    {"flag 0x20", "", "", 0x20, false},
    {"keyword over flag", "", "column_major", 0x10, false},
    {"pragma over flag", "#pragma pack_matrix(row_major)\n", "", 0x20, true},
    {"pragma reset", "#pragma pack_matrix(row_major)\n#pragma pack_matrix()\n", "", 0, false},
};

vsexec::Outputs Expected(const Vec4& p, const Vec4& u) {
    auto add = [](Vec4 a, const Vec4& b) {
        for (int i = 0; i < 4; ++i) a[i] += b[i];
        return a;
    };
    const Matrix cb = Product(kC, kB), bc = Product(kB, kC);
    const Vec4 pA = Take(Product(Row(p, 4), kA));
    const Vec4 Ap = Take(Product(kA, Column(p, 4)));
    Vec4 t1 = Take(Product(kB, Column(p, 4)));
    t1[3] = vsexec::Dot(p, u);
    const Vec4 t2 = Take(Product(Row(p, 3), kB));
    Vec4 t3 = Take(Product(Row(p, 4), kC));
    t3[3] = p[0] * u[1];
    const Vec4 t4 = Take(Product(kC, Column(p, 3)));
    const Vec4 t5 = add(Take(cb, 8), {bc.at(1, 0), bc.at(1, 1), bc.at(1, 2), bc.at(2, 2)});
    Vec4 t6 = Take(kA, 4);
    t6 = add(t6, {kB.at(2, 3), kB.at(2, 2), kB.at(2, 1), kA.at(2, 3)});
    t6 = add(t6, {kC.at(3, 0), kC.at(3, 1), kC.at(3, 2), kA.at(2, 1)});
    Vec4 t7;
    for (int i = 0; i < 4; ++i) t7[i] = p[2] * u[i] + u[i] * p[3] + p[0] * kA.at(3, i);
    t7 = add(t7, {u[3] * kB.at(0, 0), u[3] * kB.at(0, 1), u[3] * kB.at(0, 2), u[3] * kB.at(0, 3)});
    Matrix a3{3, 3, {}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) a3.v.push_back(kA.at(r, c));
    Vec4 c0 = Take(Product(Row(p, 3), a3));
    c0[3] = 1;
    Matrix bt{4, 3, {}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) bt.v.push_back(kB.at(c, r));
    Vec4 c1 = Take(Product(bt, Column(u, 3)));
    for (float& x : c0) x *= 0.125f;
    for (float& x : c1) x *= 0.0625f;
    return {{{kPosition, 0}, pA}, {{kTexcoord, 0}, Ap}, {{kTexcoord, 1}, t1}, {{kTexcoord, 2}, t2},
            {{kTexcoord, 3}, t3}, {{kTexcoord, 4}, t4}, {{kTexcoord, 5}, t5}, {{kTexcoord, 6}, t6},
            {{kTexcoord, 7}, t7}, {{kColor, 0}, c0}, {{kColor, 1}, c1}};
}

TEST(VertexMatrices, EveryMulFormInEveryPacking) {
    for (const Packing& packing : kPackings) {
        std::string source = std::string(packing.prefix) + kSource;
        for (size_t at; (at = source.find("MODIFIER")) != std::string::npos;) source.replace(at, 8, packing.modifier);
        vsexec::Check check;
        check.source = source;
        check.flags = packing.flags;
        check.what = packing.name;
        check.uniforms = {{"A", vsexec::MatrixRegisters(kA.v, 4, 4, packing.rowMajor)},
                          {"B", vsexec::MatrixRegisters(kB.v, 3, 4, packing.rowMajor)},
                          {"C", vsexec::MatrixRegisters(kC.v, 4, 3, packing.rowMajor)}};
        for (const auto& v : kVertices) check.vertices.push_back({{{kPosition, 0}, v[0]}, {{kNormal, 0}, v[1]}});
        check.want = [](const vsexec::Vertex& v) { return Expected(v.at({kPosition, 0}), v.at({kNormal, 0})); };
        check.tolerance = 1e-5f;
        vsexec::Run(check);
    }
}

// Matrices in both packings side by side, built from inputs, passed through
// functions and structures, and indexed by constant rows of a matrix array.
TEST(VertexMatrices, MixedPackingsLocalsAndArrays) {
    vsexec::Check check;
    check.source = R"(
        row_major float4x4 R;
        column_major float4x4 K;
        row_major float3x4 Rows[2];
        float2x4 Cols[2];
        struct Frame { float4x4 m; float4 shift; };
        float4 Apply(Frame f, float4 v) { return mul(v, f.m) + f.shift; }
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2) : POSITION {
            float4x4 local = float4x4(p, u, p * u, u - p);
            Frame f;
            f.m = R;
            f.shift = K[3];
            a = Apply(f, p) + mul(local, u);
            b = mul(mul(p, K), R) * 0.01 + float4(mul(Rows[1], p), 0);
            local[1] = Rows[0][2];
            local._m30_m31 = Cols[1][0].yx;
            c = mul(p, local) * 0.1 + Cols[0][1];
            return mul(transpose(K), p);
        })";
    const Matrix r = Make(4, 4, 0.25f), k = Make(4, 4, -0.5f);
    const Matrix rows0 = Make(3, 4, 1.0f), rows1 = Make(3, 4, -2.0f);
    const Matrix cols0 = Make(2, 4, 0.75f), cols1 = Make(2, 4, -0.125f);
    std::vector<float> rowsRegs = vsexec::MatrixRegisters(rows0.v, 3, 4, true);
    const std::vector<float> rows1Regs = vsexec::MatrixRegisters(rows1.v, 3, 4, true);
    rowsRegs.insert(rowsRegs.end(), rows1Regs.begin(), rows1Regs.end());
    std::vector<float> colsRegs = vsexec::MatrixRegisters(cols0.v, 2, 4, false);
    const std::vector<float> cols1Regs = vsexec::MatrixRegisters(cols1.v, 2, 4, false);
    colsRegs.insert(colsRegs.end(), cols1Regs.begin(), cols1Regs.end());
    check.uniforms = {{"R", vsexec::MatrixRegisters(r.v, 4, 4, true)},
                      {"K", vsexec::MatrixRegisters(k.v, 4, 4, false)},
                      {"Rows", rowsRegs},
                      {"Cols", colsRegs}};
    for (const auto& v : kVertices) check.vertices.push_back({{{kPosition, 0}, v[0]}, {{kNormal, 0}, v[1]}});
    check.want = [=](const vsexec::Vertex& in) -> vsexec::Outputs {
        const Vec4 &p = in.at({kPosition, 0}), &u = in.at({kNormal, 0});
        Matrix local{4, 4, {}};
        for (int i = 0; i < 4; ++i) local.v.push_back(p[i]);
        for (int i = 0; i < 4; ++i) local.v.push_back(u[i]);
        for (int i = 0; i < 4; ++i) local.v.push_back(p[i] * u[i]);
        for (int i = 0; i < 4; ++i) local.v.push_back(u[i] - p[i]);
        Vec4 a = Take(Product(Row(p, 4), r)), lu = Take(Product(local, Column(u, 4)));
        for (int i = 0; i < 4; ++i) a[i] += k.at(3, i) + lu[i];
        Vec4 b = Take(Product(Product(Row(p, 4), k), r)), rp = Take(Product(rows1, Column(p, 4)));
        for (int i = 0; i < 4; ++i) b[i] = b[i] * 0.01f + (i < 3 ? rp[i] : 0.0f);
        for (int i = 0; i < 4; ++i) local.v[size_t(4 + i)] = rows0.at(2, i);
        local.v[12] = cols1.at(0, 1);
        local.v[13] = cols1.at(0, 0);
        Vec4 c = Take(Product(Row(p, 4), local));
        for (int i = 0; i < 4; ++i) c[i] = c[i] * 0.1f + cols0.at(1, i);
        Vec4 pos;
        for (int i = 0; i < 4; ++i) pos[i] = k.at(0, i) * p[0] + k.at(1, i) * p[1] + k.at(2, i) * p[2] + k.at(3, i) * p[3];
        return {{{kPosition, 0}, pos}, {{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}, {{kTexcoord, 2}, c}};
    };
    check.what = "mixed packings";
    check.tolerance = 1e-5f;
    vsexec::Run(check);
}

}  // namespace
