// "break" and "continue": unrolled loops on every model (the paths that jump
// are set aside and merged), real loops on the 2_x and 3.0 models (break_c).
// Each program runs on the device for inputs that jump in the first, a
// middle and the last round, or never, and is checked against the same
// loop evaluated here.
#include <gtest/gtest.h>

#include <string>

#include "codegen_harness.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The body `f` called from a pixel shader (the texture coordinate in, COLOR0
// out) or a vertex shader (the position in and out).
std::string Wrap(const std::string& f, bool vertex) {
    return f + (vertex ? "float4 main(float4 t : POSITION) : POSITION { return f(t); }\n"
                       : "float4 main(float4 t : TEXCOORD0) : COLOR { return f(t); }\n");
}

bool IsVertex(const char* profile) { return profile[0] == 'v'; }

Vec4 RunOnDevice(const Compiled& shader, bool vertex, const Vec4& t, const Uniforms& uniforms = {}) {
    const ShaderRun run =
        vertex ? RunVertex(shader, {{{kPosition, 0}, t}}, uniforms) : RunPixel(shader, {{{kTexcoord, 0}, t}}, uniforms);
    EXPECT_TRUE(run.ok) << run.problem;
    if (!run.ok) return {};
    return run.outputs.at(vertex ? Semantic{kPosition, 0} : Semantic{kColor, 0});
}

void ExpectVec(const Vec4& got, const Vec4& want, const std::string& what) {
    for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(got[k], want[k]) << what << " component " << k;
}

std::string Describe(const char* profile, const Vec4& t) {
    return std::string(profile) + " t=(" + std::to_string(t[0]) + ", " + std::to_string(t[1]) + ", " +
           std::to_string(t[2]) + ", " + std::to_string(t[3]) + ")";
}

// The inputs: t.x picks the round of the break (before the first, in the
// middle, in the last, never), t.y that of the continue.
const Vec4 kInputs[] = {
    {-1, 9, 0, 0}, {0.5f, 9, 0, 0}, {1.5f, 1, 0, 0}, {10, 0, 0, 0}, {10, 2, 0, 0}, {1.5f, 0, 0, 0}, {0.5f, 0, 0, 0},
};

TEST(BreakContinue, UnrolledLoopsOnEveryModel) {
    const std::string f = R"(
        float4 f(float4 t) {
            float s = 0, c = 0;
            for (int i = 0; i < 3; i++) {
                s += 0.5;
                if (t.x < i) break;
                if (t.y == i) continue;
                s += i;
                c += 1;
            }
            return float4(s, c, 0, 0);
        }
    )";
    auto expected = [](const Vec4& t) {
        float s = 0, c = 0;
        for (int i = 0; i < 3; i++) {
            s += 0.5f;
            if (t[0] < i) break;
            if (t[1] == i) continue;
            s += i;
            c += 1;
        }
        return Vec4{s, c, 0, 0};
    };
    for (const char* profile : {"ps_2_0", "vs_2_0", "ps_2_x", "ps_3_0", "vs_3_0", "vs_1_1"}) {
        const bool vertex = IsVertex(profile);
        const Compiled shader = CompileHlsl(Wrap(f, vertex), profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        // Unrolled: no flow control instruction.
        EXPECT_FALSE(Has(Disassembly(shader), "break")) << Disassembly(shader);
        for (const Vec4& t : kInputs) ExpectVec(RunOnDevice(shader, vertex, t), expected(t), Describe(profile, t));
    }
}

// A break leaves the inner loop only; a continue of the outer loop skips the
// rest of its round, inner loop included; a "do" loop jumps too.
TEST(BreakContinue, NestedUnrolledLoops) {
    const std::string f = R"(
        float4 f(float4 t) {
            float n = 0, m = 0;
            for (int j = 0; j < 2; j++) {
                if (t.y == j) continue;
                for (int k = 0; k < 3; k++) {
                    if (k > t.x) break;
                    n += 1;
                }
                n += 10;
            }
            int d = 0;
            do {
                d++;
                if (t.z < d) break;
                m += d;
            } while (d < 3);
            return float4(n, m, d, 0);
        }
    )";
    auto expected = [](const Vec4& t) {
        float n = 0, m = 0;
        for (int j = 0; j < 2; j++) {
            if (t[1] == j) continue;
            for (int k = 0; k < 3; k++) {
                if (k > t[0]) break;
                n += 1;
            }
            n += 10;
        }
        int d = 0;
        do {
            d++;
            if (t[2] < d) break;
            m += float(d);
        } while (d < 3);
        return Vec4{n, m, float(d), 0};
    };
    const Vec4 inputs[] = {{-1, 5, 0, 0}, {1.5f, 0, 2.5f, 0}, {5, 2, 9, 0}, {0, 1, 1, 0}};
    for (const char* profile : {"ps_2_0", "vs_2_0", "ps_2_x", "ps_3_0", "vs_3_0"}) {
        const bool vertex = IsVertex(profile);
        const Compiled shader = CompileHlsl(Wrap(f, vertex), profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (const Vec4& t : inputs) ExpectVec(RunOnDevice(shader, vertex, t), expected(t), Describe(profile, t));
    }
}

// Jumps under conditions known when compiling fold: the loop ends or skips
// where the source says, with nothing left to merge; a loop without a
// condition ends at its break.
TEST(BreakContinue, ConstantConditionsFold) {
    const std::string f = R"(
        float4 f(float4 t) {
            float4 s = 0;
            for (int i = 0; i < 100; i++) {
                if (i == 1) continue;
                if (i >= 3) break;
                s += t * (i + 1);
            }
            for (int j = 0; j < 4; j++) { s.w += 1; break; }
            for (int k = 0;; k++) { if (k >= 2) break; s.z += 1; }
            return s;
        }
    )";
    for (const char* profile : {"ps_2_0", "vs_2_0", "ps_3_0"}) {
        const bool vertex = IsVertex(profile);
        const Compiled shader = CompileHlsl(Wrap(f, vertex), profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        // t * 1 + t * 3 and a 1 in w: no comparison left to merge with.
        EXPECT_FALSE(Has(Disassembly(shader), "cmp")) << Disassembly(shader);
        EXPECT_FALSE(Has(Disassembly(shader), "slt")) << Disassembly(shader);
        const Vec4 t = {1, 2, 3, 4};
        ExpectVec(RunOnDevice(shader, vertex, t), {4, 8, 14, 17}, profile);
    }
}

// Real loops (the count a uniform, or computed) on the models with break_c:
// "if (a > b) break;" at the top of the round is one break_gt; a break under
// a computed condition with changes of its own, break_ne on that condition;
// continue merges the round's paths.
TEST(BreakContinue, RealLoopsLeaveWithBreakComparisons) {
    const std::string f = R"(
        int count;
        float4 f(float4 t) {
            float s = 0, c = 0;
            float before = 0;
            for (int i = 0; i < count; i++) {
                s += 0.5;
                if (s > t.x) break;
                // The value carried into the round, read after a break that
                // copies the new one.
                const float old = c;
                c += 2;
                if (c > t.w) break;
                before = old;
                if (t.y == i) continue;
                if (t.z < i) { c += 100; break; }
                c += 1;
            }
            return float4(s, c, before, 1);
        }
    )";
    auto expected = [](const Vec4& t, int count) {
        float s = 0, c = 0, before = 0;
        for (int i = 0; i < count; i++) {
            s += 0.5f;
            if (s > t[0]) break;
            const float old = c;
            c += 2;
            if (c > t[3]) break;
            before = old;
            if (t[1] == i) continue;
            if (t[2] < i) {
                c += 100;
                break;
            }
            c += 1;
        }
        return Vec4{s, c, before, 1};
    };
    const Vec4 inputs[] = {{0.2f, 9, 9, 99}, {1.7f, 9, 9, 99}, {100, 1, 9, 99}, {100, 9, 2.5f, 99},
                           {2.2f, 0, 1.5f, 99}, {100, 9, 9, 99}, {100, 9, 9, 7.5f}, {100, 0, 9, 2.5f}};
    for (const char* profile : {"ps_3_0", "ps_2_x", "vs_3_0", "vs_2_x"}) {
        const bool vertex = IsVertex(profile);
        const Compiled shader = CompileHlsl(Wrap(f, vertex), profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const std::string text = Disassembly(shader);
        EXPECT_TRUE(Has(text, "rep")) << text;
        EXPECT_TRUE(Has(text, "break_gt") || Has(text, "break_lt")) << text;
        EXPECT_TRUE(Has(text, "break_ne")) << text;
        for (int count : {0, 1, 3, 7})
            for (const Vec4& t : inputs)
                ExpectVec(RunOnDevice(shader, vertex, t, {{"count", {float(count)}}}), expected(t, count),
                          Describe(profile, t) + " count " + std::to_string(count));
    }
}

// A loop of known count made a real loop ("[loop]") breaks out of its rep;
// without break_c (vs_2_0) it is unrolled instead.
TEST(BreakContinue, KnownCountLoopsAsRealLoops) {
    const std::string f = R"(
        float4 f(float4 t) {
            float s = 0;
            [loop] for (int i = 0; i < 10; i++) {
                if (t.x < i) break;
                if (t.y == i) continue;
                s += i;
            }
            return float4(s, 0, 0, 1);
        }
    )";
    auto expected = [](const Vec4& t) {
        float s = 0;
        for (int i = 0; i < 10; i++) {
            if (t[0] < i) break;
            if (t[1] == i) continue;
            s += float(i);
        }
        return Vec4{s, 0, 0, 1};
    };
    for (const char* profile : {"ps_3_0", "vs_3_0", "vs_2_0"}) {
        const bool vertex = IsVertex(profile);
        const Compiled shader = CompileHlsl(Wrap(f, vertex), profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        const bool real = std::string(profile) != "vs_2_0";
        EXPECT_EQ(Has(Disassembly(shader), "rep"), real) << Disassembly(shader);
        EXPECT_EQ(Has(Disassembly(shader), "break_lt"), real) << Disassembly(shader);
        for (const Vec4& t : {Vec4{-1, 9, 0, 0}, Vec4{4.5f, 2, 0, 0}, Vec4{8.5f, 9, 0, 0}, Vec4{20, 9, 0, 0}})
            ExpectVec(RunOnDevice(shader, vertex, t), expected(t), Describe(profile, t));
    }
}

// A loop to a computed bound breaks early; the value the break sees is the
// one after the loop, also for a variable the round changes only where it
// breaks.
TEST(BreakContinue, ComputedBoundLoopsBreak) {
    const char* source = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            int n = int(t.w);
            float s = 1, hit = -1;
            for (int i = 0; i < n; i++) {
                s *= 1.5;
                if (s > t.x) { hit = i; break; }
            }
            return float4(s, hit, 0, 1);
        }
    )";
    auto expected = [](const Vec4& t) {
        const int n = int(t[3]);
        float s = 1, hit = -1;
        for (int i = 0; i < n; i++) {
            s *= 1.5f;
            if (s > t[0]) {
                hit = float(i);
                break;
            }
        }
        return Vec4{s, hit, 0, 1};
    };
    for (const char* profile : {"ps_3_0", "ps_2_x"}) {
        const Compiled shader = CompileHlsl(source, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        EXPECT_TRUE(Has(Disassembly(shader), "break_ne")) << Disassembly(shader);
        for (const Vec4& t : {Vec4{0, 0, 0, 5}, Vec4{1.2f, 0, 0, 5}, Vec4{4, 0, 0, 9}, Vec4{100, 0, 0, 6},
                              Vec4{4, 0, 0, 2}})
            ExpectVec(RunOnDevice(shader, false, t), expected(t), Describe(profile, t));
    }
}

// Returns next to jumps (2_x and 3.0): a round that returns where it did not
// continue, an arm that returns beside one that breaks.
TEST(BreakContinue, ReturnsBesideJumps) {
    const std::string f = R"(
        float4 f(float4 t) {
            float4 s = 0;
            for (int i = 0; i < 3; i++) {
                if (t.x > i) continue;
                return float4(i, s.x, 0, 1);
            }
            for (int j = 0; j < 3; j++) {
                s.y += 1;
                if (t.y < j) { if (t.z > 0) return s + 10; else break; }
            }
            return s;
        }
    )";
    auto expected = [](const Vec4& t) -> Vec4 {
        Vec4 s = {0, 0, 0, 0};
        for (int i = 0; i < 3; i++) {
            if (t[0] > i) continue;
            return {float(i), s[0], 0, 1};
        }
        for (int j = 0; j < 3; j++) {
            s[1] += 1;
            if (t[1] < j) {
                if (t[2] > 0) return {s[0] + 10, s[1] + 10, s[2] + 10, s[3] + 10};
                break;
            }
        }
        return s;
    };
    const Vec4 inputs[] = {{-1, 0, 0, 0}, {1.5f, 0, 0, 0}, {5, 0.5f, 1, 0}, {5, 0.5f, -1, 0}, {5, 9, 1, 0}};
    for (const char* profile : {"ps_3_0", "vs_3_0", "ps_2_x"}) {
        const bool vertex = IsVertex(profile);
        const Compiled shader = CompileHlsl(Wrap(f, vertex), profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (const Vec4& t : inputs) ExpectVec(RunOnDevice(shader, vertex, t), expected(t), Describe(profile, t));
    }
    const Compiled refused = CompileHlsl(Wrap(f, false), "ps_2_0");
    EXPECT_TRUE(Has(refused.messages, "X3500: asymetric returns")) << refused.messages;
}

// clip runs where the path it stands on runs: not for paths that left the
// round, but again after the loop; after a return in a nested arm, where
// that return was not taken (an outer arm that did not run included).
TEST(BreakContinue, ClipFollowsThePathsStillRunning) {
    const char* jumps = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 r = t;
            for (int i = 0; i < 3; i++) {
                if (t.x < i) break;
                clip(t.y - i);
                r.x += 1;
            }
            clip(t.z);
            return r;
        }
    )";
    auto killedByJumps = [](const Vec4& t) {
        for (int i = 0; i < 3; i++) {
            if (t[0] < i) break;
            if (t[1] - i < 0) return true;
        }
        return t[2] < 0;
    };
    const Vec4 inputs[] = {{-1, -5, 1, 0}, {0.5f, 0.5f, 1, 0}, {0.5f, 1.5f, 1, 0}, {5, 1.5f, 1, 0},
                           {-1, 5, -1, 0}, {5, 5, 1, 0}};
    for (const char* profile : {"ps_2_0", "ps_3_0"}) {
        const Compiled shader = CompileHlsl(jumps, profile);
        ASSERT_TRUE(shader.Ok()) << profile << "\n" << shader.messages;
        for (const Vec4& t : inputs) {
            const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
            ASSERT_TRUE(run.ok) << run.problem;
            EXPECT_EQ(run.killed, killedByJumps(t)) << Describe(profile, t);
        }
    }
    const char* nestedReturn = R"(
        float4 main(float4 t : TEXCOORD0) : COLOR {
            float4 r = t;
            if (t.x > 0) { if (t.y > 0) return 1; r += 1; }
            clip(t.w);
            return r;
        }
    )";
    const Compiled shader = CompileHlsl(nestedReturn, "ps_3_0");
    ASSERT_TRUE(shader.Ok()) << shader.messages;
    for (const Vec4& t : {Vec4{-1, 1, 0, -1}, Vec4{1, 1, 0, -1}, Vec4{1, -1, 0, -1}, Vec4{-1, 1, 0, 1}}) {
        const ShaderRun run = RunPixel(shader, {{{kTexcoord, 0}, t}});
        ASSERT_TRUE(run.ok) << run.problem;
        EXPECT_EQ(run.killed, t[3] < 0 && !(t[0] > 0 && t[1] > 0)) << Describe("ps_3_0", t);
    }
}

// Misuse: a jump outside any loop is an error of its own; a break in a loop
// the model can only run to a uniform count without break_c (vs_2_0) is a
// loop the model cannot express.
TEST(BreakContinue, Misuse) {
    const Compiled outside = CompileHlsl("float4 main(float4 t : TEXCOORD0) : COLOR { if (t.x > 0) break; return t; }",
                                         "ps_2_0");
    EXPECT_FALSE(outside.Ok());
    EXPECT_TRUE(Has(MessagesWithoutFile(outside.messages),
                    "(1): error X3086: 'break' is allowed only inside a for, while or do loop"))
        << outside.messages;
    const Compiled inFunction =
        CompileHlsl("float g(float x) { continue; return x; }\n"
                    "float4 main(float4 t : TEXCOORD0) : COLOR { for (int i = 0; i < 2; i++) t += g(t.x); return t; }",
                    "ps_2_0");
    EXPECT_TRUE(Has(MessagesWithoutFile(inFunction.messages),
                    "(1): error X3086: 'continue' is allowed only inside a for, while or do loop"))
        << inFunction.messages;
    const Compiled rep = CompileHlsl(
        "int count; float4 main(float4 t : POSITION) : POSITION {"
        " for (int i = 0; i < count; i++) { if (t.x > i) break; t.y += 1; } return t; }",
        "vs_2_0");
    EXPECT_FALSE(rep.Ok());
    EXPECT_TRUE(Has(rep.messages, "X3500")) << rep.messages;
}

}  // namespace
