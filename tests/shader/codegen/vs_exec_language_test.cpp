// The language in vertex shaders, run on the device over several vertices
// for vs_1_1, vs_2_0 and vs_2_sw: operators, integers, swizzles and write
// masks, structures in and out, arrays, loops, branches, functions with out
// and inout parameters, and uniforms placed where the constant table says.
#include <gtest/gtest.h>

#include <cmath>

#include "shader/bytecode/constant_table.h"
#include "vs_exec_util.h"

namespace {

using vsexec::kAny;

Vec4 Add(Vec4 a, const Vec4& b) {
    for (int i = 0; i < 4; ++i) a[i] += b[i];
    return a;
}

// p and u differ in sign and size; one vertex has components where p == u.
const Vec4 kPu[][2] = {
    {{1.5f, -2.0f, 0.25f, 3.0f}, {0.5f, 4.0f, -1.0f, 2.0f}},
    {{-0.75f, 0.5f, 2.0f, -1.0f}, {-3.0f, 0.25f, 1.5f, -0.5f}},
    {{2.0f, 1.0f, -4.0f, 0.125f}, {2.0f, -2.0f, -4.0f, 1.0f}},
    {{-2.5f, 3.75f, 1.0f, -6.5f}, {1.25f, -0.5f, 0.75f, -3.0f}},
};

std::vector<vsexec::Vertex> PuVertices() {
    std::vector<vsexec::Vertex> v;
    for (const auto& pu : kPu) v.push_back({{{kPosition, 0}, pu[0]}, {{kNormal, 0}, pu[1]}});
    return v;
}

TEST(VertexLanguage, OperatorsComparisonsAndLogic) {
    vsexec::Check check;
    check.what = "operators";
    check.source = R"(
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2, out float4 d : TEXCOORD3, out float4 e : TEXCOORD4) : POSITION {
            a = p * u - p / u + -p;
            b = p % u;
            float4 q = p;
            q += u; q *= 2; q -= p; q /= u;
            c = q;
            d = float4(p < u) + float4(p >= u) * 2 + float4(p == u) * 4 + float4(p != u) * 8 + (p > u) * 16 +
                (p <= u) * 32;
            e = (p > 0 && u > 0) + (p <= 0 || u < -1) * 2 + !(p > 1) * 4;
            return (p > u) ? p : u + 3;
        })";
    check.vertices = PuVertices();
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0});
        Vec4 a, b, c, d, e, r;
        for (int i = 0; i < 4; ++i) {
            a[i] = p[i] * u[i] - p[i] / u[i] - p[i];
            b[i] = std::fmod(p[i], u[i]);
            c[i] = ((p[i] + u[i]) * 2 - p[i]) / u[i];
            d[i] = float(p[i] < u[i]) + float(p[i] >= u[i]) * 2 + float(p[i] == u[i]) * 4 + float(p[i] != u[i]) * 8 +
                   float(p[i] > u[i]) * 16 + float(p[i] <= u[i]) * 32;
            e[i] = float(p[i] > 0 && u[i] > 0) + float(p[i] <= 0 || u[i] < -1) * 2 + float(!(p[i] > 1)) * 4;
            r[i] = p[i] > u[i] ? p[i] : u[i] + 3;
        }
        return {{{kPosition, 0}, r}, {{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}, {{kTexcoord, 2}, c},
                {{kTexcoord, 3}, d}, {{kTexcoord, 4}, e}};
    };
    vsexec::Run(check);
}

// Integer results must be exact: conversions truncate toward zero, division
// truncates, the remainder takes the dividend's sign.
// A choice whose second value is a product: the product is read twice by
// the interpolation that merges the two values, once negated.
TEST(VertexLanguage, ChoiceBetweenAProductAndAValue) {
    vsexec::Check check;
    check.what = "choice with a product";
    check.source = R"(
        float Side(float x) { if (x < 0) return -1; else return x * 2; }
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 s : TEXCOORD0) : POSITION {
            s = float4(Side(u.x), Side(u.y), Side(u.z), Side(u.w));
            return (p > u) ? p : u * 3;
        })";
    check.vertices = PuVertices();
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0});
        Vec4 r, s;
        for (int i = 0; i < 4; ++i) r[i] = p[i] > u[i] ? p[i] : u[i] * 3, s[i] = u[i] < 0 ? -1.0f : u[i] * 2;
        return {{{kPosition, 0}, r}, {{kTexcoord, 0}, s}};
    };
    vsexec::Run(check);
}

TEST(VertexLanguage, IntegersAreExact) {
    vsexec::Check check;
    check.what = "integers";
    check.source = R"(
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2, out float4 d : TEXCOORD3, out float4 e : TEXCOORD4) : POSITION {
            int4 i = p * 3;
            int4 j = u * 2;
            a = i / 3 + (i / 7) * 100;
            b = i % 3 + (i % 7) * 100;
            c = (i / j) + (int4)(-p * 5) * 100;
            d = (i % 3 == 0) + (i / 3 == p) * 2 + bool4(j) * 4;
            int k = i.x;
            k++;
            k += 5;
            e.x = k;
            e.y = k--;
            e.z = --k;
            e.w = k * 7 / 2;
            return float4(i);
        })";
    check.vertices = {
        {{{kPosition, 0}, {1.0f, -2.0f, 7.0f / 3, -7.0f / 3}}, {{kNormal, 0}, {1.5f, -1.0f, 2.0f, 1.5f}}},
        {{{kPosition, 0}, {-5.0f, 4.0f, 11.0f / 3, 7.0f}}, {{kNormal, 0}, {-2.0f, 2.5f, -1.5f, 3.0f}}},
        {{{kPosition, 0}, {14.0f / 3, 9.0f, -14.0f / 3, 2.5f}}, {{kNormal, 0}, {3.5f, -3.0f, 1.0f, -2.5f}}},
    };
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0});
        Vec4 a, b, c, d, e, r;
        for (int n = 0; n < 4; ++n) {
            const int i = int(p[n] * 3), j = int(u[n] * 2);
            a[n] = float(i / 3 + (i / 7) * 100);
            b[n] = float(i % 3 + (i % 7) * 100);
            c[n] = float(i / j + int(-p[n] * 5) * 100);
            d[n] = float(i % 3 == 0) + float(float(i / 3) == p[n]) * 2 + float(j != 0) * 4;
            r[n] = float(i);
        }
        int k = int(p[0] * 3);
        k++;
        k += 5;
        e[0] = float(k);
        e[1] = float(k--);
        e[2] = float(--k);
        e[3] = float(k * 7 / 2);
        return {{{kPosition, 0}, r}, {{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}, {{kTexcoord, 2}, c},
                {{kTexcoord, 3}, d}, {{kTexcoord, 4}, e}};
    };
    check.tolerance = 0;
    vsexec::Run(check);
}

TEST(VertexLanguage, SwizzlesAndWriteMasks) {
    vsexec::Check check;
    check.what = "swizzles";
    check.source = R"(
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2, out float4 d : TEXCOORD3) : POSITION {
            float4 r = 0;
            r.zx = p.xy;
            r.yw = u.ww * p.zz;
            float4 s = p.wzyx;
            s.xy = s.yx;
            s.rgb = s.bgr + u.rrr;
            float2x2 m = float2x2(p.xy, u.xy);
            float2 diag = m._11_22;
            m._12_21 = diag.yx;
            a = r;
            b = s;
            c = float4(m[0], m._m10_m11);
            d = p.xxyy * u.zwzw + p.wzyx.yxwz;
            return p.yzwx;
        })";
    check.vertices = PuVertices();
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0});
        const Vec4 a = {p[1], u[3] * p[2], p[0], u[3] * p[2]};
        Vec4 s = {p[3], p[2], p[1], p[0]};
        std::swap(s[0], s[1]);
        s = {s[2] + u[0], s[1] + u[0], s[0] + u[0], s[3]};
        const Vec4 c = {p[0], u[1], p[0], u[1]};  // m = (p.x, p.y; u.x, u.y) with _12 = u.y, _21 = p.x
        const Vec4 d = {p[0] * u[2] + p[2], p[0] * u[3] + p[3], p[1] * u[2] + p[0], p[1] * u[3] + p[1]};
        return {{{kPosition, 0}, {p[1], p[2], p[3], p[0]}}, {{kTexcoord, 0}, a}, {{kTexcoord, 1}, s},
                {{kTexcoord, 2}, c}, {{kTexcoord, 3}, d}};
    };
    vsexec::Run(check);
}

TEST(VertexLanguage, StructuresInAndOut) {
    vsexec::Check check;
    check.what = "structures";
    check.source = R"(
        struct Inner { float4 colour : COLOR0; };
        struct VIn { float4 pos : POSITION; float3 normal : NORMAL; float2 uv[2] : TEXCOORD0; Inner inner; };
        struct VOut {
            float4 pos : POSITION;
            float4 colour : COLOR0;
            float2 uv : TEXCOORD0;
            float4 extra[2] : TEXCOORD1;
            float fog : FOG;
            float size : PSIZE;
        };
        struct Pair { float4 a; float4 b; };
        Pair Make(float4 x, float4 y) { Pair r; r.a = x + y; r.b = x - y; return r; }
        void Grow(inout Pair q, float k) { q.a *= k; q.b = q.b.wzyx; }
        VOut main(VIn input) {
            VOut o;
            Pair q = Make(input.pos, input.inner.colour);
            Grow(q, 2);
            Pair copy = q;
            copy.a.x = 100;
            o.pos = q.a;
            o.colour = copy.b + float4(input.normal, 0);
            o.uv = input.uv[1] - input.uv[0].yx;
            o.extra[0] = copy.a;
            o.extra[1] = float4(input.uv[0], input.uv[1]);
            o.fog = input.pos.z;
            o.size = input.normal.y * 3;
            return o;
        })";
    const Vec4 colours[] = {{0.25f, 0.5f, 0.75f, 1.0f}, {-1.0f, 2.0f, 0.0f, 0.5f}};
    const Vec4 uv0[] = {{0.125f, 0.875f, 0, 0}, {-2.0f, 3.0f, 0, 0}};
    const Vec4 uv1[] = {{0.5f, 0.25f, 0, 0}, {6.0f, -1.5f, 0, 0}};
    for (int k = 0; k < 2; ++k)
        check.vertices.push_back({{{kPosition, 0}, kPu[k][0]},
                                  {{kNormal, 0}, kPu[k][1]},
                                  {{kTexcoord, 0}, uv0[k]},
                                  {{kTexcoord, 1}, uv1[k]},
                                  {{kColor, 0}, colours[k]}});
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &n = v.at({kNormal, 0}), &c = v.at({kColor, 0});
        const Vec4 &t0 = v.at({kTexcoord, 0}), &t1 = v.at({kTexcoord, 1});
        Vec4 a, b;
        for (int i = 0; i < 4; ++i) a[i] = (p[i] + c[i]) * 2, b[i] = p[3 - i] - c[3 - i];
        Vec4 copyA = a;
        copyA[0] = 100;
        return {{{kPosition, 0}, a},
                {{kColor, 0}, Add(b, {n[0], n[1], n[2], 0})},
                {{kTexcoord, 0}, {t1[0] - t0[1], t1[1] - t0[0], kAny, kAny}},
                {{kTexcoord, 1}, copyA},
                {{kTexcoord, 2}, {t0[0], t0[1], t1[0], t1[1]}},
                {{kFog, 0}, {p[2], kAny, kAny, kAny}},
                {{kPsize, 0}, {n[1] * 3, kAny, kAny, kAny}}};
    };
    vsexec::Run(check);
}

TEST(VertexLanguage, ArraysWithConstantIndices) {
    vsexec::Check check;
    check.what = "constant indices";
    check.source = R"(
        struct Light { float4 pos; float3 colour; };
        Light lights[2];
        float3 table[3];
        static const float weights[4] = { 0.5, 0.25, 0.125, 2 };
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1)
            : POSITION {
            float4 local[3];
            for (int k = 0; k < 3; ++k) local[k] = p * (k + 1) + u[k];
            local[1].yz = table[2].zx;
            a = local[0] + local[1] * weights[1] + local[2] * weights[3];
            b = lights[1].pos + float4(lights[0].colour, table[1].y) * weights[2];
            return float4(table[0], lights[0].pos.w);
        })";
    const std::vector<float> lights = {1, 2, 3, 4, 0.5f, 0.25f, 0.125f, 0, -1, -2, -3, -4, 8, 16, 32, 0};
    const std::vector<float> table = {0.5f, 1.5f, 2.5f, 0, -1, -2, -3, 0, 10, 20, 30, 0};
    check.uniforms = {{"lights", lights}, {"table", table}};
    check.vertices = PuVertices();
    check.want = [=](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0});
        Vec4 local[3];
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 4; ++i) local[k][i] = p[i] * float(k + 1) + u[k];
        local[1][1] = table[10];
        local[1][2] = table[8];
        Vec4 a, b;
        for (int i = 0; i < 4; ++i) a[i] = local[0][i] + local[1][i] * 0.25f + local[2][i] * 2;
        const Vec4 colour = {lights[4], lights[5], lights[6], table[5]};
        for (int i = 0; i < 4; ++i) b[i] = lights[size_t(8 + i)] + colour[i] * 0.125f;
        return {{{kPosition, 0}, {table[0], table[1], table[2], lights[3]}}, {{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}};
    };
    vsexec::Run(check);
}

// Arrays of uniforms indexed by a value known only at run time: the index
// goes through the address register (loaded before each use in vs_1_1,
// allocated in vs_2_0 and vs_2_sw).
TEST(VertexLanguage, RelativeAddressingOfUniformArrays) {
    vsexec::Check check;
    check.what = "relative addressing";
    check.source = R"(
        float4 palette[6];
        float3 dirs[4];
        float scale[5];
        row_major float4x3 bones[3];
        float4x4 frames[2];
        struct Light { float4 pos; float4 colour; };
        Light lights[3];
        float4 main(float4 p : POSITION, float4 i : BLENDINDICES, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2, out float4 d : TEXCOORD3) : POSITION {
            a = palette[i.x] * palette[i.y] + palette[i.z + 1];
            b = float4(dirs[i.w], scale[i.x] + scale[i.y * 2]);
            c = float4(mul(p, bones[i.z]), 1) + mul(p, frames[i.w - 2]);
            d = lights[i.y].colour * lights[i.x].pos.w + palette[5 - i.x];
            return p;
        })";
    std::vector<float> palette, dirs, scale, bones, frames, lights;
    for (int k = 0; k < 24; ++k) palette.push_back(float(k) * 0.5f - 3);
    for (int k = 0; k < 16; ++k) dirs.push_back(k % 4 == 3 ? 0.0f : float(k) * 0.25f + 1);
    for (int k = 0; k < 20; ++k) scale.push_back(k % 4 == 0 ? float(k) * 0.75f - 2 : 0.0f);
    for (int k = 0; k < 48; ++k) bones.push_back(k % 4 == 3 ? 0.0f : float((k * 7) % 11) * 0.125f - 0.5f);
    for (int k = 0; k < 32; ++k) frames.push_back(float((k * 5) % 13) * 0.25f - 1);
    for (int k = 0; k < 24; ++k) lights.push_back(float(k) * 0.375f - 4);
    check.uniforms = {{"palette", palette}, {"dirs", dirs},     {"scale", scale},
                      {"bones", bones},     {"frames", frames}, {"lights", lights}};
    const Vec4 indices[] = {{0, 1, 2, 2}, {2, 0, 1, 3}, {1, 2, 0, 3}, {2, 2, 2, 2}};
    for (const Vec4& i : indices)
        check.vertices.push_back({{{kPosition, 0}, {1.5f, -2.0f, 0.25f, 3.0f}}, {{2, 0}, i}});
    check.vertices.push_back({{{kPosition, 0}, {-0.5f, 4.0f, 2.0f, 1.0f}}, {{2, 0}, {1, 1, 1, 2}}});
    check.want = [=](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &idx = v.at({2, 0});
        const int ix = int(idx[0]), iy = int(idx[1]), iz = int(idx[2]), iw = int(idx[3]);
        auto pal = [&](int k, int c) { return palette[size_t(k * 4 + c)]; };
        Vec4 a, b, c, d;
        for (int n = 0; n < 4; ++n) a[n] = pal(ix, n) * pal(iy, n) + pal(iz + 1, n);
        for (int n = 0; n < 3; ++n) b[n] = dirs[size_t(iw * 4 + n)];
        b[3] = scale[size_t(ix * 4)] + scale[size_t(iy * 2 * 4)];
        // bones[k]: row_major 4x3, rows in registers 4k..4k+3.
        for (int n = 0; n < 3; ++n) {
            c[n] = 0;
            for (int r = 0; r < 4; ++r) c[n] += p[r] * bones[size_t((iz * 4 + r) * 4 + n)];
        }
        c[3] = 1;
        // frames[k]: column-major 4x4, register 4k + j holds column j.
        for (int n = 0; n < 4; ++n) {
            float s = 0;
            for (int r = 0; r < 4; ++r) s += p[r] * frames[size_t(((iw - 2) * 4 + n) * 4 + r)];
            c[n] += s;
        }
        for (int n = 0; n < 4; ++n) d[n] = lights[size_t(iy * 8 + 4 + n)] * lights[size_t(ix * 8 + 3)] + pal(5 - ix, n);
        return {{{kTexcoord, 0}, a}, {{kTexcoord, 1}, b}, {{kTexcoord, 2}, c}, {{kTexcoord, 3}, d}};
    };
    vsexec::Run(check);
}

TEST(VertexLanguage, LoopsAndBranches) {
    vsexec::Check check;
    check.what = "loops and branches";
    check.source = R"(
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1)
            : POSITION {
            float4 acc = 0;
            for (int k = 0; k < 4; k++) {
                if (p[k] > 0) acc += p * k;
                else acc -= u;
            }
            int n = 0;
            while (n < 3) { acc.x += n; n++; }
            do { acc.y *= 1.5; n--; } while (n > 0);
            for (int i = 0; i < 2; ++i)
                for (int j = i; j < 3; ++j) acc.z += i * j + u.w;
            float4 sel;
            if (u.x > 0) {
                if (u.y > 0) sel = 1; else sel = 2;
            } else if (u.z > 0) {
                sel = 3;
                sel.w = p.w;
            } else {
                sel = 4;
            }
            float3 only = p.xyz;
            if (p.w < u.w) only.y = 7;
            a = acc;
            b = float4(sel.xw, only.yz);
            return acc.wzyx;
        })";
    check.vertices = PuVertices();
    check.want = [](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4 &p = v.at({kPosition, 0}), &u = v.at({kNormal, 0});
        Vec4 acc{0, 0, 0, 0};
        for (int k = 0; k < 4; k++)
            for (int i = 0; i < 4; ++i) acc[i] += p[k] > 0 ? p[i] * float(k) : -u[i];
        int n = 0;
        while (n < 3) acc[0] += float(n++);
        do {
            acc[1] *= 1.5f;
            n--;
        } while (n > 0);
        for (int i = 0; i < 2; ++i)
            for (int j = i; j < 3; ++j) acc[2] += float(i * j) + u[3];
        Vec4 sel;
        if (u[0] > 0) sel = vsexec::Splat(u[1] > 0 ? 1.0f : 2.0f);
        else if (u[2] > 0) sel = {3, 3, 3, p[3]};
        else sel = vsexec::Splat(4);
        Vec4 only = {p[0], p[1], p[2], 0};
        if (p[3] < u[3]) only[1] = 7;
        return {{{kPosition, 0}, {acc[3], acc[2], acc[1], acc[0]}},
                {{kTexcoord, 0}, acc},
                {{kTexcoord, 1}, {sel[0], sel[3], only[1], only[2]}}};
    };
    vsexec::Run(check);
}

TEST(VertexLanguage, FunctionsWithOutAndInoutParameters) {
    vsexec::Check check;
    check.what = "functions";
    check.source = R"(
        void Rotate(inout float4 v, float k) { v = v.yzwx * k; }
        float Twice(float x) { return x * 2; }
        float2 Twice(float2 x) { return x * 3; }
        float Scale(float x, float k = 10) { return x * k; }
        void Stats(float4 v, out float lo, out float hi, out float4 n) {
            lo = min(min(v.x, v.y), min(v.z, v.w));
            hi = max(max(v.x, v.y), max(v.z, v.w));
            n = v / hi;
        }
        float Side(float x) {
            if (x < 0) return -1;
            else return x + 2;
        }
        float4 main(float4 p : POSITION, float4 u : NORMAL, out float4 a : TEXCOORD0, out float4 b : TEXCOORD1,
                    out float4 c : TEXCOORD2) : POSITION {
            float4 v = p;
            Rotate(v, 2);
            Rotate(v, u.x);
            float lo, hi;
            float4 n;
            Stats(u, lo, hi, n);
            a = v;
            b = float4(lo, hi, Twice(p.x), Scale(p.y) + Scale(p.z, 3));
            c = float4(Twice(p.zw), Side(u.y), Side(u.z));
            return n;
        })";
    check.vertices = PuVertices();
    check.want = [](const vsexec::Vertex& in) -> vsexec::Outputs {
        const Vec4 &p = in.at({kPosition, 0}), &u = in.at({kNormal, 0});
        const Vec4 v = {p[2] * 2 * u[0], p[3] * 2 * u[0], p[0] * 2 * u[0], p[1] * 2 * u[0]};
        const float lo = std::fmin(std::fmin(u[0], u[1]), std::fmin(u[2], u[3]));
        const float hi = std::fmax(std::fmax(u[0], u[1]), std::fmax(u[2], u[3]));
        auto side = [](float x) { return x < 0 ? -1.0f : x + 2; };
        return {{{kPosition, 0}, {u[0] / hi, u[1] / hi, u[2] / hi, u[3] / hi}},
                {{kTexcoord, 0}, v},
                {{kTexcoord, 1}, {lo, hi, p[0] * 2, p[1] * 10 + p[2] * 3}},
                {{kTexcoord, 2}, {p[2] * 3, p[3] * 3, side(u[1]), side(u[2])}}};
    };
    vsexec::Run(check);
}

TEST(VertexLanguage, UniformsAtTheRegistersTheConstantTableNames) {
    const char* source = R"(
        float4 fixedOne : register(c7);
        float4 plain;
        float scale;
        float2x4 pair;
        static float4 offset = float4(1, 2, 3, 4);
        static const float table[3] = { 0.5, 0.25, 0.125 };
        float4 main(float4 p : POSITION, uniform float4 tint, out float4 a : TEXCOORD0) : POSITION {
            a = tint * table[1] + pair[1];
            return fixedOne * p + plain * scale + offset;
        })";
    const Vec4 fixedOne = {1, 2, 3, 4}, plain = {10, -10, 5, 0.5f}, tint = {0.25f, 8, -4, 2};
    const float scale = 3;
    const std::vector<float> pair = {1, 5, 0, 0, 2, 6, 0, 0, 3, 7, 0, 0, 4, 8, 0, 0};  // columns (x, y)
    for (const char* profile : vsexec::kAllProfiles) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << ": " << shader.messages;
        // The binding is where the table says, and nothing else overlaps it.
        IKLConstantTable* table = nullptr;
        ASSERT_EQ(S_OK, ExtractConstantTable(shader.code.data(), shader.code.size() * 4, &table));
        std::vector<std::pair<UINT, UINT>> ranges;
        for (const char* name : {"fixedOne", "plain", "scale", "pair", "$tint"}) {
            KLCONSTANT_DESC desc{};
            UINT count = 1;
            if (FAILED(table->DescribeConstant(table->ConstantByName(nullptr, name), &desc, &count))) {
                ADD_FAILURE() << name << " is not in the constant table of " << profile;
                continue;
            }
            if (std::string(name) == "fixedOne") {
                EXPECT_EQ(7u, desc.RegisterIndex);
            }
            for (const auto& [first, n] : ranges)
                EXPECT_TRUE(desc.RegisterIndex >= first + n || desc.RegisterIndex + desc.RegisterCount <= first)
                    << name << " overlaps another constant in " << profile;
            ranges.push_back({desc.RegisterIndex, desc.RegisterCount});
        }
        EXPECT_EQ(nullptr, table->ConstantByName(nullptr, "offset")) << "a static is not a uniform";
        table->Release();
        for (const Vec4& p : {Vec4{1.5f, -2, 0.25f, 3}, Vec4{-1, 0.5f, 4, -0.125f}}) {
            const ShaderRun run = RunVertex(shader, {{{kPosition, 0}, p}},
                                            {{"fixedOne", {fixedOne.begin(), fixedOne.end()}},
                                             {"plain", {plain.begin(), plain.end()}},
                                             {"scale", {scale, 0, 0, 0}},
                                             {"pair", pair},
                                             {"$tint", {tint.begin(), tint.end()}}});
            ASSERT_TRUE(run.ok) << run.problem;
            for (int i = 0; i < 4; ++i) {
                EXPECT_FLOAT_EQ(run.outputs.at({kPosition, 0})[i], fixedOne[i] * p[i] + plain[i] * scale + float(i + 1))
                    << profile;
                EXPECT_FLOAT_EQ(run.outputs.at({kTexcoord, 0})[i], tint[i] * 0.25f + float(i + 5)) << profile;
            }
        }
    }
}

}  // namespace

namespace {

// Sixteen four-component values live at once: more than the twelve
// temporaries of vs_1_1 and vs_2_0, within the thirty-two of vs_2_sw,
// vs_2_x and vs_3_0.
TEST(VertexLanguage, ManyLiveValuesFitOnlyTheLargerRegisterFiles) {
    std::string source = "float4 k[16];\nfloat4 main(float4 p : POSITION) : POSITION {\n";
    std::string sum = "    float4 s = a0", weighted = "    return a0 * s";
    for (int i = 0; i < 16; ++i) {
        source += "    float4 a" + std::to_string(i) + " = p * k[" + std::to_string(i) + "] + " + std::to_string(i) + ".5;\n";
        if (i) {
            sum += " + a" + std::to_string(i);
            weighted += " + a" + std::to_string(i) + " * s";
        }
    }
    source += sum + ";\n" + weighted + ";\n}\n";
    for (const char* profile : {"vs_1_1", "vs_2_0"}) {
        const Compiled shader = CompileHlsl(source, profile);
        EXPECT_EQ(E_FAIL, shader.hr) << profile;
        EXPECT_NE(shader.messages.find("error X4004: expression too complex"), std::string::npos) << shader.messages;
    }
    std::vector<float> k;
    for (int i = 0; i < 64; ++i) k.push_back(float((i * 5) % 9) * 0.25f - 1);
    vsexec::Check check;
    check.what = "many live values";
    check.source = source;
    check.profiles = {"vs_2_sw", "vs_2_x", "vs_3_0"};
    check.uniforms = {{"k", k}};
    check.vertices = PuVertices();
    check.want = [k](const vsexec::Vertex& v) -> vsexec::Outputs {
        const Vec4& p = v.at({kPosition, 0});
        Vec4 r;
        for (int c = 0; c < 4; ++c) {
            float a[16], s = 0;
            for (int i = 0; i < 16; ++i) s += a[i] = p[c] * k[size_t(i * 4 + c)] + float(i) + 0.5f;
            r[c] = 0;
            for (int i = 0; i < 16; ++i) r[c] += a[i] * s;
        }
        return {{{kPosition, 0}, r}};
    };
    vsexec::Run(check);
}

}  // namespace
