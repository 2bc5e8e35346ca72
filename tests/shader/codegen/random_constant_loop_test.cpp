// Random differential test of loops of known count and of "[branch]": a loop
// with a random start, step, comparison and bound ("[loop]" or unrolled) runs
// a random body over two carried vectors, with the counter in expressions and
// "[branch]" ifs on computed comparisons. The test evaluates the program
// itself in float; the compiled shader runs on the device and must give the
// same numbers. Values are clamped every statement and cases whose
// comparisons come near their edge are skipped, so a mismatch means wrong
// code, not rounding.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "codegen_harness.h"

namespace {

using F4 = std::array<float, 4>;

struct State {
    F4 a, b, t;
    float i = 0;
};

struct Expression {
    std::string text;
    std::function<F4(const State&)> eval;
};

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    Expression Leaf() {
        switch (Pick(6)) {
            case 0: return {"a", [](const State& s) { return s.a; }};
            case 1: return {"b.wzyx", [](const State& s) { return F4{s.b[3], s.b[2], s.b[1], s.b[0]}; }};
            case 2: return {"t", [](const State& s) { return s.t; }};
            case 3: return {"a.yzwx", [](const State& s) { return F4{s.a[1], s.a[2], s.a[3], s.a[0]}; }};
            case 4: return {"((float4)i * 0.25)", [](const State& s) { return F4{s.i * 0.25f, s.i * 0.25f, s.i * 0.25f, s.i * 0.25f}; }};
            default: return {"b", [](const State& s) { return s.b; }};
        }
    }

    Expression Make(int depth) {
        if (depth == 0 || Pick(3) == 0) return Leaf();
        const Expression x = Make(depth - 1), y = Make(depth - 1);
        static const char* kOps[] = {" + ", " - ", " * "};
        const int op = Pick(3);
        auto fx = x.eval, fy = y.eval;
        return {"(" + x.text + kOps[op] + y.text + ")", [fx, fy, op](const State& s) {
                    const F4 p = fx(s), q = fy(s);
                    F4 r;
                    for (int c = 0; c < 4; ++c) r[c] = op == 0 ? p[c] + q[c] : op == 1 ? p[c] - q[c] : p[c] * q[c];
                    return r;
                }};
    }

    // One statement: an update of a or b, or a "[branch]" if on a computed
    // comparison whose edges (how far from equal it was) go to `edges`.
    std::string Statement(int depth, std::vector<std::function<void(State&)>>* run,
                          std::vector<std::function<float(const State&)>>* edges) {
        if (depth > 0 && Pick(3) == 0) {
            const Expression l = Make(1), r = Make(1);
            const int c = Pick(4);
            std::vector<std::function<void(State&)>> thenRun, elseRun;
            const std::string thenText = Statement(depth - 1, &thenRun, edges);
            const std::string elseText = Statement(depth - 1, &elseRun, edges);
            edges->push_back([l, r, c](const State& s) { return l.eval(s)[c] - r.eval(s)[c]; });
            run->push_back([l, r, c, thenRun, elseRun](State& s) {
                for (const auto& f : l.eval(s)[c] < r.eval(s)[c] ? thenRun : elseRun) f(s);
            });
            return std::string("[branch] if (") + l.text + "." + "xyzw"[c] + " < " + r.text + "." + "xyzw"[c] +
                   ") { " + thenText + " } else { " + elseText + " }";
        }
        const Expression e = Make(2);
        const bool first = Pick(2) == 0;
        run->push_back([e, first](State& s) {
            F4& v = first ? s.a : s.b;
            const F4 x = e.eval(s);
            for (int c = 0; c < 4; ++c) v[c] = std::clamp(x[c] * 0.5f + v[c] * 0.5f, -4.0f, 4.0f);
        });
        const std::string name = first ? "a" : "b";
        return name + " = clamp(" + e.text + " * 0.5 + " + name + " * 0.5, -4, 4);";
    }

private:
    std::mt19937 rng_;
};

// A loop header of `rounds` rounds: a random start, step and comparison.
struct Header {
    std::string text;
    float start, step, bound;
    int op;  // 0 <, 1 <=, 2 >, 3 >=, 4 !=
};

bool Holds(int op, float i, float bound) {
    switch (op) {
        case 0: return i < bound;
        case 1: return i <= bound;
        case 2: return i > bound;
        case 3: return i >= bound;
        default: return i != bound;
    }
}

Header MakeHeader(Generator& g, int rounds) {
    static const float kSteps[] = {1, 2, 0.5f, -1, -3, -0.5f};
    const float step = kSteps[g.Pick(6)];
    const float start = float(g.Pick(7) - 3);
    int op = g.Pick(3);  // <, <= or != going up; >, >= or != going down
    const float end = start + step * float(rounds);  // the counter after the last round
    float bound = end;
    if (op == 0) bound = end - step * 0.5f;
    if (op == 1) bound = end - step * 0.75f;
    if (step < 0 && op != 2) op += 2;
    else if (op == 2) op = 4;
    const bool integral = step == std::floor(step);
    char text[160];
    static const char* kOps[] = {"<", "<=", ">", ">=", "!="};
    const char* increment = step == 1 ? "i++" : step == -1 ? "i--" : nullptr;
    std::string iteration = increment ? increment : (step > 0 ? "i += " : "i -= ") + std::to_string(std::fabs(step));
    std::snprintf(text, sizeof text, "for (%s i = %d; i %s %s; %s)", integral ? "int" : "float", int(start), kOps[op],
                  std::to_string(bound).c_str(), iteration.c_str());
    return {text, start, step, bound, op};
}

TEST(RandomConstantLoops, DeviceResultsMatchTheirEvaluation) {
    constexpr int kCases = 60;
    const F4 t = {0.5f, -1.25f, 2, 0.75f};
    int loops = 0, branches = 0;
    for (const char* profile : {"ps_3_0", "ps_2_x", "vs_3_0", "vs_2_x"}) {
        const bool pixel = profile[0] == 'p';
        int ran = 0, skipped = 0;
        for (int seed = 1; seed <= kCases; ++seed) {
            Generator g(uint32_t(seed) * 104729u);
            const Header header = MakeHeader(g, 1 + g.Pick(12));
            const bool asked = g.Pick(3) != 0;
            std::vector<std::function<void(State&)>> body;
            std::vector<std::function<float(const State&)>> edges;
            std::string text;
            for (int k = 2 + g.Pick(3); k > 0; --k) text += "        " + g.Statement(2, &body, &edges) + "\n";
            const std::string head = pixel ? "float4 main(float4 t : TEXCOORD0) : COLOR {\n"
                                           : "float4 main(float4 t : POSITION, out float4 o : COLOR0) : POSITION {\n";
            const std::string tail = pixel ? "    return a + b;\n}\n" : "    o = a + b;\n    return t;\n}\n";
            const std::string source = head + "    float4 a = t, b = t.wxzy;\n    " + (asked ? "[loop] " : "") +
                                       header.text + " {\n" + text + "    }\n" + tail;
            const Compiled shader = CompileBeyondSlotBudget(source, profile);
            ASSERT_TRUE(shader.Ok()) << profile << "\n" << source << "\n" << shader.messages;
            const std::string assembly = Disassembly(shader);
            // Without "[loop]" the loop is unrolled unless that does not fit.
            if (asked) {
                EXPECT_NE(assembly.find("rep i"), std::string::npos) << source << assembly;
            }
            loops += asked;
            const bool branched = source.find("[branch]") != std::string::npos;
            EXPECT_EQ(assembly.find("if_lt") != std::string::npos, branched) << source << assembly;
            branches += branched;

            State st;
            st.a = t;
            st.b = {t[3], t[0], t[2], t[1]};
            st.t = t;
            bool nearEdge = false;
            int rounds = 0;
            for (st.i = header.start; Holds(header.op, st.i, header.bound); st.i += header.step) {
                ASSERT_LT(++rounds, 100) << header.text;
                for (const auto& e : edges) nearEdge |= std::fabs(e(st)) < 1e-3f;
                for (const auto& f : body) f(st);
            }
            if (nearEdge) {
                ++skipped;
                continue;
            }
            const ShaderRun run = pixel ? RunPixel(shader, {{{kTexcoord, 0}, {t[0], t[1], t[2], t[3]}}})
                                        : RunVertex(shader, {{{kPosition, 0}, {t[0], t[1], t[2], t[3]}}});
            ASSERT_TRUE(run.ok) << run.problem;
            const Vec4 got = run.outputs.at({kColor, 0});
            for (int c = 0; c < 4; ++c) {
                const float want = st.a[c] + st.b[c];
                ASSERT_NEAR(got[c], want, 2e-3f * (1 + std::fabs(want)))
                    << profile << " component " << c << "\n" << source << "\n" << assembly;
            }
            ++ran;
        }
        std::printf("%s: %d random loops of known count ran, %d skipped near a comparison's edge\n", profile, ran,
                    skipped);
    }
    EXPECT_GT(loops, 0);
    EXPECT_GT(branches, 0);
}

}  // namespace
