// Random differential test of real loops and branches: a loop whose count is
// a uniform integer, or a value computed from it, runs a random body over three carried variables (two
// vectors and a scalar), with random arithmetic, swizzles, the loop counter,
// nested branches, an inner loop, "break" or "continue" under a comparison
// and (vertex shaders) a constant array indexed by the counter. The test
// evaluates the same program
// itself in float; the compiled shader runs on the device for several counts
// and must give the same numbers. Values are clamped every statement, and a
// case whose comparisons come near their edge is skipped, so a mismatch means
// wrong code (a value lost across the back edge, a register reused while
// still live), not rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "codegen_harness.h"

namespace {

using F4 = std::array<float, 4>;

struct State {
    F4 a, b, t, u;
    float s = 0, i = 0, j = 0;
    bool flag = false;
    int jump = 0;  // 1 after a "break", 2 after a "continue" of the round
};

using Run = std::vector<std::function<void(State&)>>;

// Statements run in order until one jumps out of the round.
void Exec(const Run& run, State& st) {
    for (const auto& f : run) {
        if (st.jump) return;
        f(st);
    }
}

struct Node {
    std::string text;
    std::function<F4(const State&)> eval;
};

class Generator {
public:
    // `arrays`: leaves may read the constant array k indexed by the outer
    // loop's counter (vertex shaders, which address constants at run time).
    explicit Generator(uint32_t seed, bool arrays = false) : rng_(seed), arrays_(arrays) {}

    // Element e of k: what the test puts in the uniform.
    static F4 ArrayElement(int e) {
        F4 v;
        for (int c = 0; c < 4; ++c) v[c] = float((e * 7 + c * 3) % 11) * 0.25f - 1.25f;
        return v;
    }
    static constexpr int kArrayElements = 20;

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    Node Leaf() {
        static const char* kNames[] = {"a", "b", "t", "u"};
        if (arrays_ && Pick(4) == 0) {
            // k[i], k[i + 2] or k[2 * i + 1]: counts stay below 10, so every
            // index falls inside the array.
            static const char* kIndices[] = {"i", "i + 2", "2 * i + 1"};
            static const int kScale[] = {1, 1, 2}, kOffset[] = {0, 2, 1};
            const int form = Pick(3);
            const int scale = kScale[form], offset = kOffset[form];
            return {std::string("k[") + kIndices[form] + "]",
                    [scale, offset](const State& st) { return ArrayElement(int(st.i) * scale + offset); }};
        }
        switch (Pick(7)) {
            case 0: case 1: case 2: case 3: {
                const int which = Pick(4);
                const std::string name = kNames[which];
                if (Pick(2)) {
                    // A rotated swizzle.
                    const int r = 1 + Pick(3);
                    std::string swizzle;
                    for (int c = 0; c < 4; ++c) swizzle += "xyzw"[(c + r) % 4];
                    return {name + "." + swizzle, [which, r](const State& st) {
                                const F4& v = Get(st, which);
                                F4 out;
                                for (int c = 0; c < 4; ++c) out[c] = v[(c + r) % 4];
                                return out;
                            }};
                }
                return {name, [which](const State& st) { return Get(st, which); }};
            }
            case 4: return {"((float4)s)", [](const State& st) { return F4{st.s, st.s, st.s, st.s}; }};
            case 5: return {"((float4)i)", [](const State& st) { return F4{st.i, st.i, st.i, st.i}; }};
            default: {
                static const float kValues[] = {0.5f, -0.25f, 2, 1.5f, -1, 0.75f};
                const float v = kValues[Pick(6)];
                return {"((float4)" + std::to_string(v) + ")", [v](const State&) { return F4{v, v, v, v}; }};
            }
        }
    }

    Node Expression(int depth) {
        if (depth == 0 || Pick(3) == 0) return Leaf();
        Node x = Expression(depth - 1), y = Expression(depth - 1);
        switch (Pick(5)) {
            case 0: return Binary("(" + x.text + " + " + y.text + ")", x, y, [](float p, float q) { return p + q; });
            case 1: return Binary("(" + x.text + " - " + y.text + ")", x, y, [](float p, float q) { return p - q; });
            case 2: return Binary("(" + x.text + " * " + y.text + ")", x, y, [](float p, float q) { return p * q; });
            case 3: return Binary("min(" + x.text + ", " + y.text + ")", x, y, [](float p, float q) { return std::min(p, q); });
            default: return Binary("max(" + x.text + ", " + y.text + ")", x, y, [](float p, float q) { return std::max(p, q); });
        }
    }

    // One statement; `inner`: whether an inner loop may still be written;
    // `jumps`: whether it may leave the round of the outer loop.
    std::string Statement(int depth, bool inner, std::vector<std::function<void(State&)>>* run,
                          std::vector<std::function<float(const State&)>>* edges, bool jumps = false) {
        const int kind = Pick(depth > 0 ? (jumps ? 8 : 7) : 4);
        if (kind == 7) {
            const int component = Pick(4);
            const Node left = Expression(1), right = Expression(1);
            const int jump = 1 + Pick(2);
            edges->push_back([left, right, component](const State& st) {
                return left.eval(st)[component] - right.eval(st)[component];
            });
            run->push_back([left, right, component, jump](State& st) {
                if (left.eval(st)[component] < right.eval(st)[component]) st.jump = jump;
            });
            return std::string("if (") + left.text + "." + "xyzw"[component] + " < " + right.text + "." +
                   "xyzw"[component] + ") " + (jump == 1 ? "break;" : "continue;");
        }
        if (kind == 6) {
            // A branch on a boolean uniform: a real branch.
            std::vector<std::function<void(State&)>> thenRun, elseRun;
            std::string thenText, elseText;
            for (int k = 0; k < 3; ++k) thenText += Statement(depth - 1, inner, &thenRun, edges) + " ";
            elseText = Statement(depth - 1, inner, &elseRun, edges);
            run->push_back([thenRun, elseRun](State& st) { Exec(st.flag ? thenRun : elseRun, st); });
            return "if (flag) { " + thenText + "} else { " + elseText + " }";
        }
        if (kind == 4) {
            const int component = Pick(4);
            const char c = "xyzw"[component];
            const Node left = Expression(1), right = Expression(1);
            std::vector<std::function<void(State&)>> thenRun, elseRun;
            const std::string thenText = Statement(depth - 1, inner, &thenRun, edges, jumps);
            const std::string elseText = Statement(depth - 1, inner, &elseRun, edges, jumps);
            edges->push_back([left, right, component](const State& st) {
                return left.eval(st)[component] - right.eval(st)[component];
            });
            run->push_back([left, right, component, thenRun, elseRun](State& st) {
                const bool taken = left.eval(st)[component] < right.eval(st)[component];
                Exec(taken ? thenRun : elseRun, st);
            });
            return std::string("if (") + left.text + "." + c + " < " + right.text + "." + c + ") { " + thenText +
                   " } else { " + elseText + " }";
        }
        if (kind == 5 && inner) {
            std::vector<std::function<void(State&)>> body;
            const std::string text = Statement(0, false, &body, edges);
            run->push_back([body](State& st) {
                for (st.j = 0; st.j < 2; ++st.j)
                    for (const auto& f : body) f(st);
            });
            return "for (int j = 0; j < inner; j++) { " + text + " }";
        }
        const Node e = Expression(2);
        if (kind == 3) {
            run->push_back([e](State& st) { st.s = std::clamp(e.eval(st)[1] * 0.5f + st.s * 0.5f, -4.0f, 4.0f); });
            return "s = clamp(" + e.text + ".y * 0.5 + s * 0.5, -4, 4);";
        }
        const int which = kind == 0 ? 0 : 1;
        const std::string name = which == 0 ? "a" : "b";
        run->push_back([e, which](State& st) {
            F4& target = which == 0 ? st.a : st.b;
            const F4 v = e.eval(st);
            for (int c = 0; c < 4; ++c) target[c] = std::clamp(v[c] * 0.5f + target[c] * 0.5f, -4.0f, 4.0f);
        });
        return name + " = clamp(" + e.text + " * 0.5 + " + name + " * 0.5, -4, 4);";
    }

private:
    static const F4& Get(const State& st, int which) {
        return which == 0 ? st.a : which == 1 ? st.b : which == 2 ? st.t : st.u;
    }
    static Node Binary(std::string text, const Node& x, const Node& y, float (*op)(float, float)) {
        auto fx = x.eval, fy = y.eval;
        return {std::move(text), [fx, fy, op](const State& st) {
                    const F4 p = fx(st), q = fy(st);
                    F4 out;
                    for (int c = 0; c < 4; ++c) out[c] = op(p[c], q[c]);
                    return out;
                }};
    }

    std::mt19937 rng_;
    bool arrays_ = false;
};

TEST(RandomLoops, CompiledLoopsMatchTheirEvaluation) {
    constexpr int kCases = 100;
    int branches = 0, computedBounds = 0, jumping = 0, loopRegisters = 0;
    std::vector<float> array;
    for (int e = 0; e < Generator::kArrayElements; ++e) {
        const F4 v = Generator::ArrayElement(e);
        array.insert(array.end(), v.begin(), v.end());
    }
    const F4 t = {0.5f, -1.25f, 2, 0.75f}, u = {-0.5f, 1, 0.25f, -2};
    for (const char* profile : {"ps_3_0", "ps_2_x", "vs_3_0"}) {
        const bool pixel = profile[0] == 'p';
        int ran = 0, skipped = 0;
        for (int seed = 1; seed <= kCases; ++seed) {
            Generator g(uint32_t(seed) * 7919u, !pixel);
            std::vector<std::function<void(State&)>> body;
            std::vector<std::function<float(const State&)>> edges;
            std::string text;
            const int statements = 2 + g.Pick(3);
            // The bound: the uniform itself (rep on its register), or a value
            // computed from it (rep to the model's limit and break_ge).
            const std::string bound = g.Pick(2) ? "    int n = count;\n" : "    int n = count * (t.y < 10);\n";
            for (int k = 0; k < statements; ++k) text += "        " + g.Statement(2, true, &body, &edges, true) + "\n";
            const std::string head = pixel ? "float4 main(float4 t : TEXCOORD0) : COLOR {\n"
                                           : "float4 main(float4 t : POSITION, out float4 o : COLOR0) : POSITION {\n";
            const std::string tail = pixel ? "    return a + b * s;\n}\n" : "    o = a + b * s;\n    return t;\n}\n";
            const std::string source = "int count;\nint inner;\nbool flag;\nfloat4 u;\nfloat4 k[20];\n" + head +
                                       "    float4 a = t, b = u;\n    float s = 1;\n" + bound +
                                       "    for (int i = 0; i < n; i++) {\n" +
                                       text + "    }\n" + tail;
            // A body may outgrow the slots of ps_2_x: it then runs as the software
            // model of its version.
            const Compiled shader = CompileBeyondSlotBudget(source, profile);
            ASSERT_TRUE(shader.Ok()) << profile << "\n" << source << "\n" << shader.messages;
            const bool flagged = source.find("if (flag)") != std::string::npos;
            EXPECT_EQ(Disassembly(shader).find("if b") != std::string::npos, flagged) << source;
            branches += flagged;
            const bool computed = bound.find('*') != std::string::npos;
            // A loop that reads k through aL runs to its bound with break_ge;
            // a jump out of a round may take a break_ge of its own.
            const bool loopRegister = Disassembly(shader).find("loop aL") != std::string::npos;
            const bool jumps = source.find("break;") != std::string::npos || source.find("continue;") != std::string::npos;
            if (!jumps)
                EXPECT_EQ(Disassembly(shader).find("break_ge") != std::string::npos, computed || loopRegister) << source;
            loopRegisters += loopRegister;
            computedBounds += computed;
            jumping += jumps;
            for (int count : {0, 1, 4, 9}) {
                State st;
                st.a = t;
                st.b = u;
                st.t = t;
                st.u = u;
                st.s = 1;
                st.flag = count % 3 == 1;
                bool nearEdge = false;
                for (st.i = 0; st.i < float(count); ++st.i) {
                    for (const auto& e : edges) nearEdge |= std::fabs(e(st)) < 1e-3f;
                    Exec(body, st);
                    if (st.jump == 1) break;
                    st.jump = 0;
                }
                if (nearEdge) {
                    ++skipped;
                    continue;
                }
                const Uniforms uniforms = {{"count", {float(count)}}, {"inner", {2}}, {"flag", {st.flag ? 1.0f : 0.0f}}, {"u", {u[0], u[1], u[2], u[3]}}, {"k", array}};
                const ShaderRun run = pixel ? RunPixel(shader, {{{kTexcoord, 0}, {t[0], t[1], t[2], t[3]}}}, uniforms)
                                            : RunVertex(shader, {{{kPosition, 0}, {t[0], t[1], t[2], t[3]}}}, uniforms);
                ASSERT_TRUE(run.ok) << run.problem;
                const Vec4 got = run.outputs.at({kColor, 0});
                for (int c = 0; c < 4; ++c) {
                    const float want = st.a[c] + st.b[c] * st.s;
                    ASSERT_NEAR(got[c], want, 2e-3f * (1 + std::fabs(want)))
                        << profile << " count " << count << " component " << c << "\n"
                        << source << "\n" << Disassembly(shader);
                }
                ++ran;
            }
        }
        std::printf("%s: %d random loops ran, %d skipped near a comparison's edge\n", profile, ran, skipped);
    }
    std::printf("%d of the programs branch on a boolean register, %d loop to a computed bound, "
                "%d jump out of a round, %d read through aL\n",
                branches, computedBounds, jumping, loopRegisters);
    EXPECT_GT(loopRegisters, 0);
    EXPECT_GT(branches, 0);
    EXPECT_GT(jumping, 0);
    EXPECT_GT(computedBounds, 0);
}

}  // namespace
