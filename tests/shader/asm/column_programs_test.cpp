// Hand-written programs, one or more per profile column: each is assembled,
// disassembled and assembled again to the same tokens, and run on the
// software device with its outputs compared against values worked out here.
// Together they use the flow-control, predicate and loop instructions of the
// 2_x and 3_0 columns, the co-issue, shift and source modifiers of ps_1_x and
// the encoding rules of vs_1_1.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "asm_test_support.h"
#include "gfx/exports.h"

namespace {

constexpr float kAny = std::numeric_limits<float>::quiet_NaN();  // component not compared

struct ColumnProgram {
    const char* name;
    bool pixel;
    const char* text;
    std::map<int, Vec4> inputs;
    std::map<int, Vec4> expected;  // by output slot (pixel: oCn at n, depth at 4)
    bool killed = false;
};

const float kCos05 = std::cos(0.5f), kSin05 = std::sin(0.5f);

const ColumnProgram kPrograms[] = {
    {"vs_1_1", false, R"(vs_1_1
dcl_position v0
dcl_color v1
def c0, 2, 0.5, 4, 1
def c2, 10, 20, 30, 40
def c3, 1, 2, 3, 4
def c4, 0, 1, 0, 0
mov a0.x, c0.x
mov r0, c[a0.x + 1]     ; c3
rcp r1, c0              ; no swizzle: reads w in vs_1_1
add oPos, v0, r0
mul oD0, v1, r1.x
sub r3, c2, v0
mov oT0, r3
m3x3 oT1, v0, c2        ; writes x, y and z only
)",
     {{0, {1, 2, 3, 4}}, {1, {0.5f, 0.25f, 0.125f, 1}}},
     {{0, {2, 4, 6, 8}}, {1, {0.5f, 0.25f, 0.125f, 1}}, {3, {9, 18, 27, 36}},
      {4, {10 + 40 + 90, 1 + 4 + 9, 2, kAny}}}},

    {"vs_2_0", false, R"(vs.2.0
dcl_position v0
defi i0, 3, 0, 1, 0
defb b0, true
def c0, 0, 1, 2, 0.5
def c1, 1, 1, 1, 1
def c10, 5, 6, 7, 8
def c11, 9, 10, 11, 12
def c12, 13, 14, 15, 16
def c20, -1.5500992e-006, -2.1701389e-005, 0.0026041667, 0.00026041668
def c21, -0.020833334, -0.125, 1, 0.5
mov r0, c0.x
mov r4, c0.x
loop aL, i0
  add r0, r0, c1
  add r4, r4, c10[aL]
endloop
rep i0
  add r0, r0, c0.w
endrep
mova a0.x, c0.y
mov r1, c10[a0.x]
if b0
  call l0
else
  mov r1, c1
endif
mov r2, c0.w
sincos r3.xy, r2.x, c20, c21
mov oPos, r0
mov oT0, r1
mov oT1, r4
mov oT2, r3
ret
label l0
mul r1, r1, c0.z
ret
)",
     {{0, {1, 1, 1, 1}}},
     {{0, {4.5f, 4.5f, 4.5f, 4.5f}}, {3, {18, 20, 22, 24}}, {4, {27, 30, 33, 36}}, {5, {kCos05, kSin05, kAny, kAny}}}},

    {"vs_2_x", false, R"(vs_2_x
dcl_position v0
def c0, 0, 1, 2, 3
defi i0, 10, 0, 1, 0
setp_gt p0, v0, c0.y
mov r0, c0.x
(p0) mov r0, c0.w
mov r1, c0.x
rep i0
  add r1, r1, c0.y
  break_ge r1.x, c0.w
endrep
mov r2, c0.x
if_lt v0.x, c0.z
  mov r2, c0.z
endif
mov r3, c0.x
rep i0
  add r3, r3, c0.z
  setp_ge p0.x, r3.x, c0.w
  breakp p0.x
endrep
mov oPos, r0
mov oT0, r1
mov oT1, r2
mov oT2, r3
)",
     {{0, {0.5f, 2, 1, 5}}},
     {{0, {0, 3, 0, 3}}, {3, {3, 3, 3, 3}}, {4, {2, 2, 2, 2}}, {5, {4, 4, 4, 4}}}},

    {"vs_2_sw", false, R"(vs_2_sw
dcl_position v0
defb b1, false
defb b2, true
def c200, 1, 2, 3, 4
mov r31, c200
callnz l1, b1
callnz l2, b2
mov oPos, r31
ret
label l1
mov r31, v0
ret
label l2
add r31, r31, r31
ret
)",
     {{0, {7, 7, 7, 7}}},
     {{0, {2, 4, 6, 8}}}},

    {"vs_3_0", false, R"(vs_3_0
dcl_position v0
dcl_texcoord0 v1
dcl_position o0
dcl_texcoord0 o1
dcl_texcoord1 o2
dcl_texcoord2 o3
dcl_2d s0
def c0, -2, 0.5, 1, 0
defi i0, 2, 0, 1, 0
mov o0, v0
add_sat o1, v1, c0.y
mov r0, c0.w
loop aL, i0
  add r0, r0, -v1_abs
endloop
mov o2, r0
texldl r1, c0.yyww, s0
sincos r2.xy, c0.y
mov r1.zw, r2.xyxy
mov o3, r1
)",
     {{0, {1, 2, 3, 4}}, {1, {-0.25f, 0.75f, 0.5f, -1}}},
     {{0, {1, 2, 3, 4}}, {1, {0.25f, 1, 1, 0}}, {2, {-0.5f, -1.5f, -1, -2}}, {3, {0.5f, 1, kCos05, kSin05}}}},

    {"vs_3_sw", false, R"(vs_3_sw
dcl_position v0
dcl_position o0
def c200, 0.5, 0.5, 0.5, 0.5
mul r31, v0, c200
mov o0, r31
)",
     {{0, {2, 4, 6, 8}}},
     {{0, {1, 2, 3, 4}}}},

    {"ps_1_1", true, R"(ps_1_1
def c0, 0.5, 0.25, 1, 0.75
def c1, 0.2, 0.4, 0.6, 0.8
tex t0
texcoord t1
mul_x2 r1.rgb, t0, c0
+mov r1.a, c0.b
add r0.rgb, t1_bias, 1 - r1
+mov r0.a, c1.a
cnd r1, r0.a, r0, c1
mul_d2 r0, r1, c0
)",
     {{2, {0.25f, 0.5f, 0.1f, 1}}, {3, {0.6f, 0.3f, 0.9f, 1}}},
     {{0, {0.2125f, 0.0375f, 0.35f, 0.3f}}}},

    {"ps_1_2", true, R"(ps_1_2
def c0, 0.5, 0.25, -0.5, 1
def c1, 0.1, 0.2, 0.3, 0.4
texcoord t0
dp3 r1, t0, c0
cmp r0, r1, c0, c1
add r0, r0, c1.a
)",
     {{2, {0.6f, 0.3f, 0.9f, 1}}},
     {{0, {0.5f, 0.6f, 0.7f, 0.8f}}}},

    {"ps_1_3", true, R"(ps_1_3
def c0, 0.5, 0.25, 0.125, 1
def c1, 0.75, 0.5, 0.25, 0
def c2, 0, 0, 0, 0.25
texcoord t0
lrp r0.rgb, c0, t0, c1
mov r0.a, c2
mad r1.rgb, r0_bx2, c0, c1
mov_sat r0.rgb, r1_x2
)",
     {{2, {0.6f, 0.3f, 0.9f, 1}}},
     {{0, {1, 0.95f, 0.415625f, 0.25f}}}},

    {"ps_1_4", true, R"(ps_1_4
def c0, 0.5, 0.25, 0.125, 1
texcrd r0.rgb, t0
phase
texld r0, r0
mul r1, r0, c0
mad_d2 r0.rgb, r0_x2, c0, r1
)",
     {{2, {0.6f, 0.3f, 0.5f, 1}}},
     {{0, {0.45f, 0.225f, 0.140625f, 0.5f}}}},

    {"ps_2_0", true, R"(ps_2_0
dcl t0.xy
dcl t1
dcl_2d s0
dcl_2d s1
def c0, 0.5, 0.25, 2, -1
defb b0, true
texld r0, t0, s0
texldp r1, t1, s1
dp2add r2, r0, c0, c0.w
if b0
  add r2, r2, c0.z
endif
texkill t1
mov r4.x, r0.x
mov r4.y, r1.y
mov r4.z, r2.x
mov_pp r4.w, r1.x
mov oC0, r4
mov oDepth, c0.y
)",
     {{2, {0.25f, 0.5f, 0.1f, 1}}, {3, {0.2f, 0.4f, 0.5f, 2}}},
     {{0, {0.25f, 0.4f, 1.375f, 1.1f}}, {4, {0.25f, kAny, kAny, kAny}}}},

    {"ps_2_0 texkill", true, R"(ps_2_0
dcl t0
texkill t0
mov oC0, t0
)",
     {{2, {0.5f, -0.5f, 1, 1}}},
     {},
     true},

    {"ps_2_x", true, R"(ps_2_x
dcl t0
def c0, 0, 1, 2, 0.5
defi i0, 4, 0, 0, 0
mov r0, c0.x
rep i0
  add r0, r0, c0.w
endrep
setp_lt p0, t0, c0.w
mov r1, c0.y
(p0) mov r1, c0.z
dsx r2, t0
call l0
mov oC0, r3
ret
label l0
add r3, r0, r1
add r3, r3, r2
ret
)",
     {{2, {0.25f, 0.5f, 0.1f, 1}}},
     {{0, {4, 3, 4, 3}}}},

    {"ps_2_sw", true, R"(ps_2_sw
dcl t0
def c100, 0.5, 0.5, 0.5, 0.5
mul r20, t0, c100
mov oC0, r20
)",
     {{2, {1, 2, 3, 4}}},
     {{0, {0.5f, 1, 1.5f, 2}}}},

    {"ps_3_0", true, R"(ps_3_0
dcl_texcoord0_centroid v0
dcl_2d s0
dcl vFace
def c0, 0, 1, 2, -0.5
defi i0, 3, 0, 1, 0
mov r0, c0.x
loop aL, i0
  add r0, r0, c0.y
  break_ge r0.x, c0.z
endloop
texldl r1, v0, s0
add r2, v0_abs, c0.w
cmp r3, vFace, c0.y, c0.z
mov oC0, r0
mov oC1, r1
mov r2.w, r3.x
mov oC2, r2
)",
     {{0, {0.25f, 0.5f, 0.1f, 0}}},
     {{0, {2, 2, 2, 2}}, {1, {0.25f, 1, 0.35f, 0.5f}}, {2, {-0.25f, 0, -0.4f, 1}}}},

    {"ps_3_sw", true, R"(ps_3_sw
dcl_texcoord0 v0
def c200, 2, 2, 2, 2
mul r31, v0, c200
mov oC0, r31
)",
     {{0, {1, 2, 3, 4}}},
     {{0, {2, 4, 6, 8}}}},
};

class ColumnPrograms : public testing::TestWithParam<ColumnProgram> {};

TEST_P(ColumnPrograms, AssembleDisassembleAssembleAndRun) {
    const ColumnProgram& p = GetParam();
    KilnGfxRegisterExports();  // the validator checks every instruction
    const Assembled first = AssembleText(p.text);
    ASSERT_TRUE(first.Ok()) << first.messages;
    EXPECT_EQ(first.messages, "");

    std::string problem;
    const std::string text = DisassembleCode(first.code, &problem);
    ASSERT_NE(text, "") << problem;
    const Assembled second = AssembleText(text);
    ASSERT_TRUE(second.Ok()) << second.messages << text;
    EXPECT_EQ(InstructionTokens(second.code), InstructionTokens(first.code)) << text;

    gfx::ShaderConstants constants;
    const DeviceRun run = p.pixel ? RunPixelProgram(first.code, constants, p.inputs)
                                  : RunVertexProgram(first.code, constants, p.inputs);
    ASSERT_TRUE(run.ok) << run.problem;
    EXPECT_EQ(run.killed, p.killed);
    for (const auto& [slot, want] : p.expected) {
        auto got = run.outputs.find(slot);
        ASSERT_NE(got, run.outputs.end()) << "output slot " << slot << " not written";
        for (int c = 0; c < 4; ++c) {
            if (std::isnan(want[c])) continue;
            EXPECT_NEAR(got->second[c], want[c], 1e-3f) << "slot " << slot << " component " << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Columns, ColumnPrograms, testing::ValuesIn(kPrograms),
                         [](const testing::TestParamInfo<ColumnProgram>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
