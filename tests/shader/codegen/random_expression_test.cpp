// Random differential test of the whole compile and device path. Each case is
// a random expression tree over two float4 inputs, a uniform vector and four
// uniform matrices (both packings, both mul orders): swizzles, constructors,
// casts, scalar broadcast, arithmetic, ?: and if/else selects, and most of
// the intrinsic table. The test writes it as HLSL and evaluates it itself in
// double precision; the compiled shader runs on the device and must give the
// same numbers. Inputs are kept well-conditioned: magnitudes stay small,
// function arguments stay inside their domains, and a step function whose
// argument lies near its edge is replaced by a smooth one, so a mismatch
// means wrong code, not rounding.
//
// Cases per profile: 300 by default; set KILN_RANDOM_SHADERS=N or pass
// --random-shaders=N for more, and KILN_RANDOM_SEED=S to start at seed S.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "codegen_harness.h"

namespace {

using D4 = std::array<double, 4>;

struct Expr {
    std::string text;
    int width = 4;
    D4 v{};
};

constexpr const char* kXyzw = "xyzw";
// Literals come from a small pool, so pixel shaders do not run out of
// constant registers on literals alone.
constexpr double kLiterals[] = {0.5, -0.25, 2, 1.5, -1, 0.75, 3, -2};
// Distance that a value must keep from the edge of a step function (floor,
// sign, a comparison ...) for the float result to agree with the double one.
constexpr double kEdgeMargin = 0.02;

std::string Number(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", x);
    std::string s = buffer;
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string FloatType(int width) { return width == 1 ? "float" : "float" + std::to_string(width); }

bool NearEdge(double x, double edge) { return std::fabs(x - edge) < kEdgeMargin * (1 + std::fabs(edge)); }
bool NearInteger(double x) { return NearEdge(x, std::round(x)); }
bool NearHalf(double x) { return NearEdge(x, std::floor(x) + 0.5); }

class Generator {
public:
    // `narrow`: the ps_1_x models, whose registers hold -1 to 1 and which have
    // eight arithmetic slots: colour inputs, whole vectors, few operations.
    Generator(unsigned seed, bool pixel, bool narrow = false) : rng_(seed), pixel_(pixel), narrow_(narrow) {
        for (D4* v : {&a_, &b_, &u_})
            for (double& x : *v) x = Pick(-16, 16) / 8.0 + (Pick(0, 1) ? 0.0625 : -0.0625);
        if (narrow_) {
            // Colours lie in 0 to 1, their alpha clear of the 0.5 a select tests.
            for (D4* v : {&a_, &b_})
                for (double& x : *v) x = Pick(1, 15) / 16.0;
            a_[3] = Pick(0, 1) ? 0.25 : 0.75;
            for (double& x : u_) x = Pick(-8, 8) / 8.0;
        }
        for (auto* m : {&mr_, &mc_})
            for (double& x : *m) x = Pick(-8, 8) / 8.0;
        for (auto* m : {&nr_, &nc_})
            for (double& x : *m) x = Pick(-8, 8) / 8.0;
    }

    // The shader source; *want receives the value of the returned expression.
    std::string Source(int depth, D4* want) {
        Expr r = narrow_ ? Narrow(depth) : Make(4, depth);
        *want = r.v;
        std::string s =
            "float4 u;\nrow_major float4x4 mr;\ncolumn_major float4x4 mc;\nrow_major float3x3 nr;\n"
            "column_major float3x3 nc;\n";
        if (narrow_) s += "float4 main(float4 a : COLOR0, float4 b : COLOR1) : COLOR {\n";
        else if (pixel_) s += "float4 main(float4 a : TEXCOORD0, float4 b : TEXCOORD1) : COLOR {\n";
        else s += "float4 main(float4 a : TEXCOORD0, float4 b : TEXCOORD1, out float4 r : TEXCOORD0) : POSITION {\n";
        s += body_;
        if (pixel_) s += "    return " + r.text + ";\n}\n";
        else s += "    r = " + r.text + ";\n    return a;\n}\n";
        return s;
    }

    std::map<Semantic, Vec4> Inputs() const {
        if (narrow_) return {{{kColor, 0}, ToFloat(a_)}, {{kColor, 1}, ToFloat(b_)}};
        return {{{kTexcoord, 0}, ToFloat(a_)}, {{kTexcoord, 1}, ToFloat(b_)}};
    }
    Uniforms UniformValues() const {
        Uniforms uniforms;
        uniforms["u"] = {float(u_[0]), float(u_[1]), float(u_[2]), float(u_[3])};
        // Registers: rows of a row-major matrix, columns of a column-major one.
        auto registers = [](const auto& m, int n, bool rowMajor) {
            std::vector<float> regs;
            for (int r = 0; r < n; ++r)
                for (int k = 0; k < 4; ++k) regs.push_back(k < n ? float(rowMajor ? m[size_t(r * n + k)] : m[size_t(k * n + r)]) : 0.0f);
            return regs;
        };
        uniforms["mr"] = registers(mr_, 4, true);
        uniforms["mc"] = registers(mc_, 4, false);
        uniforms["nr"] = registers(nr_, 3, true);
        uniforms["nc"] = registers(nc_, 3, false);
        return uniforms;
    }
    // The largest magnitude of any value computed on the way.
    double Scale() const { return scale_; }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Chance(int percent) { return Pick(0, 99) < percent; }

    static Vec4 ToFloat(const D4& v) { return {float(v[0]), float(v[1]), float(v[2]), float(v[3])}; }

    Expr Leaf(int width) {
        Expr e;
        e.width = width;
        const int kind = Pick(0, 5);
        if (kind <= 3) {
            const char* name = kind <= 1 ? "a" : kind == 2 ? "b" : "u";
            const D4& source = kind <= 1 ? a_ : kind == 2 ? b_ : u_;
            e.text = std::string(name) + ".";
            for (int c = 0; c < width; ++c) {
                const int k = Pick(0, 3);
                e.text += kXyzw[k];
                e.v[size_t(c)] = source[size_t(k)];
            }
            return e;
        }
        if (kind == 4 && width > 1) {  // a scalar literal broadcast by a cast
            const double x = kLiterals[Pick(0, 7)];
            e.text = "((" + FloatType(width) + ")" + Number(x) + ")";
            e.v.fill(x);
            return e;
        }
        e.text = FloatType(width) + "(";
        for (int c = 0; c < width; ++c) {
            e.v[size_t(c)] = kLiterals[Pick(0, 7)];
            e.text += (c ? ", " : "") + Number(e.v[size_t(c)]);
        }
        e.text += ")";
        return e;
    }

    // Applies f to every component, writing name(x) or the given text.
    Expr Map(const Expr& x, const std::string& text, const std::function<double(double)>& f) {
        Expr e{text, x.width, {}};
        for (int c = 0; c < x.width; ++c) e.v[size_t(c)] = f(x.v[size_t(c)]);
        return e;
    }
    Expr Map2(const Expr& x, const Expr& y, const std::string& text, const std::function<double(double, double)>& f) {
        Expr e{text, x.width, {}};
        for (int c = 0; c < x.width; ++c) e.v[size_t(c)] = f(x.v[size_t(c)], y.v[size_t(c)]);
        return e;
    }
    static bool Any(const Expr& x, const std::function<bool(double)>& f) {
        for (int c = 0; c < x.width; ++c)
            if (f(x.v[size_t(c)])) return true;
        return false;
    }

    // A scalar (width 1) result broadcast to `width` components by a cast.
    static Expr Broadcast(const Expr& s, int width) {
        if (width == 1) return s;
        Expr e{"((" + FloatType(width) + ")" + s.text + ")", width, {}};
        e.v.fill(s.v[0]);
        return e;
    }

    Expr Make(int width, int depth) {
        Expr e = depth <= 0 || Chance(15) ? Leaf(width) : Node(width, depth - 1);
        for (int c = 0; c < width; ++c) scale_ = std::max(scale_, std::fabs(e.v[size_t(c)]));
        // Keep magnitudes small: scale by a power of two (exact).
        for (int round = 0; round < 3 && Any(e, [](double x) { return std::fabs(x) > 8; }); ++round)
            e = Map(e, "(" + e.text + " * 0.0625)", [](double x) { return x * 0.0625; });
        if (Any(e, [](double x) { return std::fabs(x) > 8; }))
            e = Map(e, "saturate(" + e.text + ")", [](double x) { return std::clamp(x, 0.0, 1.0); });
        return e;
    }

    Expr Node(int width, int depth) {
        switch (Pick(0, 13)) {
            case 0: {  // swizzle of a wider value
                const Expr x = Make(4, depth);
                Expr e{"(" + x.text + ").", width, {}};
                for (int c = 0; c < width; ++c) {
                    const int k = Pick(0, 3);
                    e.text += kXyzw[k];
                    e.v[size_t(c)] = x.v[size_t(k)];
                }
                return e;
            }
            case 1: {  // constructor from parts
                if (width == 1) break;
                Expr e{FloatType(width) + "(", width, {}};
                for (int filled = 0; filled < width;) {
                    const int part = Pick(1, width - filled);
                    const Expr x = Make(part, depth);
                    e.text += (filled ? ", " : "") + x.text;
                    for (int c = 0; c < part; ++c) e.v[size_t(filled + c)] = x.v[size_t(c)];
                    filled += part;
                }
                e.text += ")";
                return e;
            }
            case 2: {  // truncating cast, or a scalar broadcast by a cast
                if (width < 4 && Chance(50)) {
                    const int from = Pick(width + 1, 4);
                    const Expr x = Make(from, depth);
                    Expr e{"((" + FloatType(width) + ")" + x.text + ")", width, x.v};
                    return e;
                }
                return Broadcast(Make(1, depth), width);
            }
            case 3: {  // scalar times or plus a vector
                const Expr s = Make(1, depth), x = Make(width, depth);
                if (Chance(50)) return Map(x, "(" + s.text + " * " + x.text + ")", [&](double v) { return s.v[0] * v; });
                return Map(x, "(" + x.text + " + " + s.text + ")", [&](double v) { return v + s.v[0]; });
            }
            case 4:
            case 5: {  // arithmetic
                const Expr x = Make(width, depth), y = Make(width, depth);
                switch (Pick(0, 4)) {
                    case 0: return Map2(x, y, "(" + x.text + " + " + y.text + ")", [](double p, double q) { return p + q; });
                    case 1: return Map2(x, y, "(" + x.text + " - " + y.text + ")", [](double p, double q) { return p - q; });
                    case 2: return Map2(x, y, "(" + x.text + " * " + y.text + ")", [](double p, double q) { return p * q; });
                    case 3:
                        return Map2(x, y, "(" + x.text + " / (abs(" + y.text + ") + 1.0))",
                                    [](double p, double q) { return p / (std::fabs(q) + 1); });
                    default: return Map(x, "(-" + x.text + ")", [](double p) { return -p; });
                }
            }
            case 6: return Select(width, depth);
            case 7: return IfElse(width, depth);
            case 8: return Matrix(width, depth);
            case 9:
            case 10:
            case 11: return Unary(width, depth);
            case 12: return Binary(width, depth);
            default: return Probe(width);
        }
        return Make(width, depth);
    }

    // A condition a.k > t or b.k < t whose answer is clear: t keeps a
    // distance from the input.
    Expr Condition(bool* value) {
        const bool useA = Chance(50);
        const int k = Pick(0, 3);
        const double x = (useA ? a_ : b_)[size_t(k)];
        const double t = x + (Chance(50) ? 0.5 : -0.5);
        const bool greater = Chance(50);
        *value = greater ? x > t : x < t;
        Expr e{std::string("(") + (useA ? "a." : "b.") + kXyzw[k] + (greater ? " > " : " < ") + Number(t) + ")", 1, {}};
        e.v[0] = *value;
        return e;
    }

    Expr Select(int width, int depth) {
        const Expr p = Make(width, depth), q = Make(width, depth);
        if (Chance(50)) {  // one condition for every component
            bool c;
            const Expr cond = Condition(&c);
            return Expr{"(" + cond.text + " ? " + p.text + " : " + q.text + ")", width, c ? p.v : q.v};
        }
        // Component-wise: compare two values whose components keep apart.
        const Expr x = Make(width, depth), y = Make(width, depth);
        for (int c = 0; c < width; ++c)
            if (NearEdge(x.v[size_t(c)], y.v[size_t(c)])) return Map2(p, q, "min(" + p.text + ", " + q.text + ")", [](double s, double t) { return std::min(s, t); });
        Expr e{"((" + x.text + " >= " + y.text + ") ? " + p.text + " : " + q.text + ")", width, {}};
        for (int c = 0; c < width; ++c) e.v[size_t(c)] = x.v[size_t(c)] >= y.v[size_t(c)] ? p.v[size_t(c)] : q.v[size_t(c)];
        return e;
    }

    Expr IfElse(int width, int depth) {
        const Expr p = Make(width, depth), q = Make(width, depth);
        bool c;
        const Expr cond = Condition(&c);
        const std::string name = "t" + std::to_string(temps_++);
        if (Chance(50))
            body_ += "    " + FloatType(width) + " " + name + " = " + q.text + ";\n    if " + cond.text + " " + name + " = " +
                     p.text + ";\n";
        else
            body_ += "    " + FloatType(width) + " " + name + ";\n    if " + cond.text + " " + name + " = " + p.text +
                     "; else " + name + " = " + q.text + ";\n";
        return Expr{name, width, c ? p.v : q.v};
    }

    Expr Matrix(int width, int depth) {
        Expr r;
        const int form = Pick(0, 3);
        const bool three = Chance(30);
        const int n = three ? 3 : 4;
        const Expr x = Make(n, depth);
        const bool rowMajor = form & 1, vectorFirst = form & 2;
        const auto& m3 = rowMajor ? nr_ : nc_;
        const auto& m4 = rowMajor ? mr_ : mc_;
        const std::string name = three ? (rowMajor ? "nr" : "nc") : (rowMajor ? "mr" : "mc");
        r.width = n;
        r.text = vectorFirst ? "mul(" + x.text + ", " + name + ")" : "mul(" + name + ", " + x.text + ")";
        for (int c = 0; c < n; ++c) {
            double s = 0;
            for (int k = 0; k < n; ++k) {
                // Element (row, column) of the matrix as the source names it.
                const int row = vectorFirst ? k : c, col = vectorFirst ? c : k;
                s += x.v[size_t(k)] * (three ? m3[size_t(row * 3 + col)] : m4[size_t(row * 4 + col)]);
            }
            r.v[size_t(c)] = s;
        }
        if (width == n) return r;
        if (width < n) return Expr{"((" + FloatType(width) + ")" + r.text + ")", width, r.v};
        Expr e{FloatType(4) + "(" + r.text + ", " + Number(kLiterals[0]) + ")", 4, r.v};
        e.v[3] = kLiterals[0];
        return e;
    }

    Expr Unary(int width, int depth) {
        const Expr x = Make(width, depth);
        const std::string t = x.text;
        switch (Pick(0, 26)) {
            case 0: return Map(x, "abs(" + t + ")", [](double v) { return std::fabs(v); });
            case 1: return Map(x, "saturate(" + t + ")", [](double v) { return std::clamp(v, 0.0, 1.0); });
            case 2:
                if (Any(x, NearInteger)) break;
                return Map(x, "floor(" + t + ")", [](double v) { return std::floor(v); });
            case 3:
                if (Any(x, NearInteger)) break;
                return Map(x, "ceil(" + t + ")", [](double v) { return std::ceil(v); });
            case 4:
                if (Any(x, NearInteger)) break;
                return Map(x, "frac(" + t + ")", [](double v) { return v - std::floor(v); });
            case 5:
                if (Any(x, NearHalf)) break;
                return Map(x, "round(" + t + ")", [](double v) { return std::floor(v + 0.5); });
            case 6:
                if (Any(x, [](double v) { return NearEdge(v, 0); })) break;
                return Map(x, "sign(" + t + ")", [](double v) { return v > 0 ? 1.0 : -1.0; });
            case 7: return Map(x, "sqrt(abs(" + t + ") + 0.25)", [](double v) { return std::sqrt(std::fabs(v) + 0.25); });
            case 8: return Map(x, "rsqrt(abs(" + t + ") + 0.25)", [](double v) { return 1 / std::sqrt(std::fabs(v) + 0.25); });
            case 9: return Map(x, "sin(" + t + ")", [](double v) { return std::sin(v); });
            case 10: return Map(x, "cos(" + t + ")", [](double v) { return std::cos(v); });
            case 11: return Map(x, "exp2(clamp(" + t + ", -4.0, 3.0))", [](double v) { return std::exp2(std::clamp(v, -4.0, 3.0)); });
            case 12: return Map(x, "exp(clamp(" + t + ", -3.0, 2.0))", [](double v) { return std::exp(std::clamp(v, -3.0, 2.0)); });
            case 13: return Map(x, "log2(abs(" + t + ") + 0.5)", [](double v) { return std::log2(std::fabs(v) + 0.5); });
            case 14: return Map(x, "log(abs(" + t + ") + 0.5)", [](double v) { return std::log(std::fabs(v) + 0.5); });
            case 15: return Map(x, "log10(abs(" + t + ") + 0.5)", [](double v) { return std::log10(std::fabs(v) + 0.5); });
            case 16: return Map(x, "atan(" + t + ")", [](double v) { return std::atan(v); });
            case 17: return Map(x, "asin(clamp(" + t + ", -0.9, 0.9))", [](double v) { return std::asin(std::clamp(v, -0.9, 0.9)); });
            case 18: return Map(x, "acos(clamp(" + t + ", -0.9, 0.9))", [](double v) { return std::acos(std::clamp(v, -0.9, 0.9)); });
            case 19: return Map(x, "tanh(" + t + ")", [](double v) { return std::tanh(v); });
            case 20: return Map(x, "sinh(clamp(" + t + ", -2.0, 2.0))", [](double v) { return std::sinh(std::clamp(v, -2.0, 2.0)); });
            case 21: return Map(x, "cosh(clamp(" + t + ", -2.0, 2.0))", [](double v) { return std::cosh(std::clamp(v, -2.0, 2.0)); });
            case 22: return Map(x, "tan(clamp(" + t + ", -1.2, 1.2))", [](double v) { return std::tan(std::clamp(v, -1.2, 1.2)); });
            case 23: return Map(x, "degrees(" + t + ")", [](double v) { return v * 180 / M_PI; });
            case 24: return Map(x, "radians(" + t + ")", [](double v) { return v * M_PI / 180; });
            case 25: {  // length, broadcast
                double s = 0;
                for (int c = 0; c < width; ++c) s += x.v[size_t(c)] * x.v[size_t(c)];
                Expr l{"length(" + t + ")", 1, {}};
                l.v[0] = std::sqrt(s);
                return Broadcast(l, width);
            }
            default: {  // normalize, away from the zero vector
                double s = 0;
                for (int c = 0; c < width; ++c) s += x.v[size_t(c)] * x.v[size_t(c)];
                if (s < 0.25) break;
                const double l = std::sqrt(s);
                return Map(x, "normalize(" + t + ")", [l](double v) { return v / l; });
            }
        }
        return Map(x, "abs(" + t + ")", [](double v) { return std::fabs(v); });
    }

    Expr Binary(int width, int depth) {
        const Expr x = Make(width, depth), y = Make(width, depth);
        const std::string s = x.text, t = y.text;
        switch (Pick(0, 14)) {
            case 0: return Map2(x, y, "min(" + s + ", " + t + ")", [](double p, double q) { return std::min(p, q); });
            case 1: return Map2(x, y, "max(" + s + ", " + t + ")", [](double p, double q) { return std::max(p, q); });
            case 2:
                return Map2(x, y, "pow(abs(" + s + ") + 0.5, clamp(" + t + ", -2.0, 2.0))",
                            [](double p, double q) { return std::pow(std::fabs(p) + 0.5, std::clamp(q, -2.0, 2.0)); });
            case 3:
                for (int c = 0; c < width; ++c)
                    if (NearEdge(x.v[size_t(c)], y.v[size_t(c)])) return Map2(x, y, "max(" + s + ", " + t + ")", [](double p, double q) { return std::max(p, q); });
                return Map2(x, y, "step(" + s + ", " + t + ")", [](double p, double q) { return q >= p ? 1.0 : 0.0; });
            case 4: {
                // fmod away from the points where the quotient is a whole number.
                for (int c = 0; c < width; ++c)
                    if (NearInteger(x.v[size_t(c)] / (std::fabs(y.v[size_t(c)]) + 0.5))) return Map2(x, y, "min(" + s + ", " + t + ")", [](double p, double q) { return std::min(p, q); });
                return Map2(x, y, "fmod(" + s + ", abs(" + t + ") + 0.5)",
                            [](double p, double q) { return std::fmod(p, std::fabs(q) + 0.5); });
            }
            case 5:
                return Map2(x, y, "atan2(" + s + ", abs(" + t + ") + 0.5)",
                            [](double p, double q) { return std::atan2(p, std::fabs(q) + 0.5); });
            case 6: {
                const Expr w = Make(width, depth);
                Expr e{"lerp(" + s + ", " + t + ", " + w.text + ")", width, {}};
                for (int c = 0; c < width; ++c)
                    e.v[size_t(c)] = x.v[size_t(c)] + w.v[size_t(c)] * (y.v[size_t(c)] - x.v[size_t(c)]);
                return e;
            }
            case 7: {
                const Expr w = Make(width, depth);
                Expr e{"clamp(" + s + ", " + t + ", " + w.text + ")", width, {}};
                for (int c = 0; c < width; ++c)
                    e.v[size_t(c)] = std::min(std::max(x.v[size_t(c)], y.v[size_t(c)]), w.v[size_t(c)]);
                return e;
            }
            case 8:
                return Map2(x, y, "smoothstep(-2.0, 2.0, " + s + " + " + t + ")", [](double p, double q) {
                    const double u = std::clamp((p + q + 2) / 4, 0.0, 1.0);
                    return u * u * (3 - 2 * u);
                });
            case 9:
            case 10: {  // dot or distance, broadcast
                double d = 0, e = 0;
                for (int c = 0; c < width; ++c) {
                    d += x.v[size_t(c)] * y.v[size_t(c)];
                    e += (x.v[size_t(c)] - y.v[size_t(c)]) * (x.v[size_t(c)] - y.v[size_t(c)]);
                }
                Expr r{"dot(" + s + ", " + t + ")", 1, {}};
                r.v[0] = d;
                if (Chance(50)) r = Expr{"distance(" + s + ", " + t + ")", 1, {std::sqrt(e), 0, 0, 0}};
                return Broadcast(r, width);
            }
            case 11: {  // cross product of the first three components
                const Expr p = Make(3, depth), q = Make(3, depth);
                Expr r{"cross(" + p.text + ", " + q.text + ")", 3, {}};
                for (int c = 0; c < 3; ++c) {
                    const size_t i = size_t((c + 1) % 3), j = size_t((c + 2) % 3);
                    r.v[size_t(c)] = p.v[i] * q.v[j] - p.v[j] * q.v[i];
                }
                if (width == 3) return r;
                if (width < 3) return Expr{"((" + FloatType(width) + ")" + r.text + ")", width, r.v};
                Expr e{"float4(" + r.text + ", 0.5)", 4, r.v};
                e.v[3] = 0.5;
                return e;
            }
            case 12: {  // reflect about any vector
                double d = 0;
                for (int c = 0; c < width; ++c) d += x.v[size_t(c)] * y.v[size_t(c)];
                return Map2(x, y, "reflect(" + s + ", " + t + ")", [d](double i, double n) { return i - 2 * d * n; });
            }
            case 13: {  // faceforward: the sign of a dot product decides
                const Expr w = Make(width, depth);
                double d = 0;
                for (int c = 0; c < width; ++c) d += y.v[size_t(c)] * w.v[size_t(c)];
                if (NearEdge(d, 0)) break;
                return Map(x, "faceforward(" + s + ", " + t + ", " + w.text + ")", [d](double n) { return d < 0 ? n : -n; });
            }
            default: {
                // The distance vector (1, x.y * y.y, x.z, y.w) of lighting code.
                if (width != 4) break;
                return Expr{"float4(1.0, (" + s + ").y * (" + t + ").y, (" + s + ").z, (" + t + ").w)", 4,
                            {1, x.v[1] * y.v[1], x.v[2], y.v[3]}};
            }
        }
        return Map2(x, y, "(" + s + " + " + t + ")", [](double p, double q) { return p + q; });
    }

    // ps_1_x: whole four-component values, kept within -1 to 1 by saturate
    // (the registers would clamp them there; saturate gives the same result).
    Expr Narrow(int depth) {
        Expr e = depth <= 0 || Chance(20) ? NarrowLeaf() : NarrowNode(depth - 1);
        if (Any(e, [](double x) { return std::fabs(x) > 1; }))
            e = Map(e, "saturate(" + e.text + ")", [](double x) { return std::clamp(x, 0.0, 1.0); });
        return e;
    }

    Expr NarrowLeaf() {
        switch (Pick(0, 4)) {
            case 0: return Expr{"a", 4, a_};
            case 1: return Expr{"b", 4, b_};
            case 2: return Expr{"u", 4, u_};
            case 3: {
                Expr e{"((float4)a.a)", 4, {}};
                e.v.fill(a_[3]);
                return e;
            }
            default: {
                static constexpr double kSmall[] = {0.5, -0.25, 0.75, 0.25, -0.5, 1, 0, -1};
                Expr e{"float4(", 4, {}};
                for (int c = 0; c < 4; ++c) {
                    e.v[size_t(c)] = kSmall[Pick(0, 7)];
                    e.text += (c ? ", " : "") + Number(e.v[size_t(c)]);
                }
                e.text += ")";
                return e;
            }
        }
    }

    Expr NarrowNode(int depth) {
        const Expr x = Narrow(depth), y = Narrow(depth);
        switch (Pick(0, 7)) {
            case 0: return Map2(x, y, "(" + x.text + " + " + y.text + ")", [](double p, double q) { return p + q; });
            case 1: return Map2(x, y, "(" + x.text + " - " + y.text + ")", [](double p, double q) { return p - q; });
            case 2: return Map2(x, y, "(" + x.text + " * " + y.text + ")", [](double p, double q) { return p * q; });
            case 3: return Map(x, "(-" + x.text + ")", [](double p) { return -p; });
            case 4: {  // the weight of a colour blend lies in 0 to 1
                Expr e{"lerp(" + x.text + ", " + y.text + ", a.a)", 4, {}};
                for (int c = 0; c < 4; ++c) e.v[size_t(c)] = x.v[size_t(c)] + a_[3] * (y.v[size_t(c)] - x.v[size_t(c)]);
                return e;
            }
            case 5: {
                double d = 0;
                for (int c = 0; c < 3; ++c) d += x.v[size_t(c)] * y.v[size_t(c)];
                Expr e{"((float4)dot(" + x.text + ".rgb, " + y.text + ".rgb))", 4, {}};
                e.v.fill(d);
                return e;
            }
            case 6: return Expr{"((a.a > 0.5) ? " + x.text + " : " + y.text + ")", 4, a_[3] > 0.5 ? x.v : y.v};
            default: {
                const Expr z = Narrow(depth);
                Expr e{"(" + x.text + " * " + y.text + " + " + z.text + ")", 4, {}};
                for (int c = 0; c < 4; ++c) e.v[size_t(c)] = x.v[size_t(c)] * y.v[size_t(c)] + z.v[size_t(c)];
                return e;
            }
        }
    }

    // Selects whose result must be exact: equal to the chosen input, and
    // the chosen side beside a very large other side.
    Expr Probe(int width) {
        bool c;
        const Expr cond = Condition(&c);
        const int i = Pick(0, 3), j = Pick(0, 3);
        const std::string p = std::string("a.") + kXyzw[i], q = std::string("b.") + kXyzw[j];
        Expr e{"", 1, {}};
        if (Chance(50)) {
            e.text = "((" + cond.text + " ? " + p + " : " + q + ") == " + p + ")";
            e.v[0] = c || b_[size_t(j)] == a_[size_t(i)] ? 1 : 0;
        } else {
            e.text = "(" + cond.text + " ? " + p + " : 100000000.0)";
            e.v[0] = c ? a_[size_t(i)] : 1e8;
        }
        return Broadcast(e, width);
    }

    std::mt19937 rng_;
    bool pixel_;
    bool narrow_;
    D4 a_{}, b_{}, u_{};
    std::array<double, 16> mr_{}, mc_{};
    std::array<double, 9> nr_{}, nc_{};
    std::string body_;
    int temps_ = 0;
    double scale_ = 1;
};

int CasesPerProfile() {
    const std::string flag = "--random-shaders=";
    for (const std::string& arg : testing::internal::GetArgvs())
        if (arg.rfind(flag, 0) == 0) return std::max(1, std::atoi(arg.c_str() + flag.size()));
    if (const char* n = std::getenv("KILN_RANDOM_SHADERS")) return std::max(1, std::atoi(n));
    return 300;
}

unsigned FirstSeed() {
    const char* s = std::getenv("KILN_RANDOM_SEED");
    return s ? unsigned(std::strtoul(s, nullptr, 10)) : 1;
}

struct Profile {
    const char* name;
    bool pixel;
    int depth;            // tree depth: smaller where the model has few instruction slots
    bool narrow = false;  // ps_1_x
};

class RandomExpressions : public testing::TestWithParam<Profile> {};

TEST_P(RandomExpressions, DeviceResultsMatchTheValuesComputedHere) {
    const Profile profile = GetParam();
    const int cases = CasesPerProfile();
    const unsigned first = FirstSeed();
    int ran = 0, tooLarge = 0, wrong = 0;
    for (int n = 0; n < cases; ++n) {
        const unsigned seed = first + unsigned(n);
        Generator generator(seed * 7919u + (profile.pixel ? 1u : 0u), profile.pixel, profile.narrow);
        D4 want;
        const std::string source = generator.Source(profile.depth, &want);
        const Compiled shader = CompileHlsl(source, profile.name);
        if (!shader.Ok()) {
            // Only the model's limits may refuse a program of this kind:
            // temporaries (X4004) or instruction slots (X5037); in ps_1_x also
            // what its few registers, swizzles and write masks cannot express
            // (X4505, X4507, X4532, X4533, X4537).
            bool limit = shader.messages.find("X4004") != std::string::npos ||
                         shader.messages.find("X5037") != std::string::npos;
            for (const char* code : {"X4505", "X4507", "X4532", "X4533", "X4537"})
                limit = limit || (profile.narrow && shader.messages.find(code) != std::string::npos);
            EXPECT_TRUE(limit) << "seed " << seed << "\n" << source << shader.messages;
            ++tooLarge;
            continue;
        }
        const ShaderRun run = profile.pixel ? RunPixel(shader, generator.Inputs(), generator.UniformValues())
                                            : RunVertex(shader, generator.Inputs(), generator.UniformValues());
        ASSERT_TRUE(run.ok) << run.problem << "\nseed " << seed << "\n" << source;
        ++ran;
        const Vec4 got = run.outputs.at(profile.pixel ? Semantic{kColor, 0} : Semantic{kTexcoord, 0});
        bool same = true;
        for (int c = 0; c < 4; ++c) {
            const double allowed = 3e-3 * std::max({1.0, std::fabs(want[size_t(c)]), generator.Scale() / 8});
            same = same && std::fabs(double(got[size_t(c)]) - want[size_t(c)]) <= allowed;
        }
        if (!same) {
            ++wrong;
            ADD_FAILURE() << profile.name << " seed " << seed << ": got (" << got[0] << ", " << got[1] << ", "
                          << got[2] << ", " << got[3] << "), want (" << want[0] << ", " << want[1] << ", " << want[2]
                          << ", " << want[3] << ")\n"
                          << source << Disassembly(shader);
        }
    }
    std::printf("%s: %d random shaders ran, %d wrong, %d refused for the model's limits\n", profile.name, ran, wrong,
                tooLarge);
    // Most programs must fit, or the test would check little (ps_1_x
    // refuses many: it has eight arithmetic slots and few forms).
    EXPECT_GE(ran, profile.narrow ? cases / 2 : cases * 3 / 4) << tooLarge << " of " << cases << " did not fit " << profile.name;
}

INSTANTIATE_TEST_SUITE_P(EveryProfile, RandomExpressions,
                         testing::Values(Profile{"vs_1_1", false, 5}, Profile{"vs_2_0", false, 5},
                                         Profile{"vs_2_sw", false, 5}, Profile{"ps_2_0", true, 4},
                                         Profile{"ps_2_sw", true, 5}, Profile{"ps_1_1", true, 2, true},
                                         Profile{"ps_1_3", true, 2, true}, Profile{"ps_1_4", true, 2, true},
                                         Profile{"vs_3_0", false, 5}, Profile{"ps_3_0", true, 5},
                                         Profile{"vs_1_0", false, 5}, Profile{"ps_1_0", true, 2, true},
                                         Profile{"ps_1_2", true, 2, true}, Profile{"vs_2_x", false, 5},
                                         Profile{"ps_2_x", true, 5}, Profile{"vs_3_sw", false, 5},
                                         Profile{"ps_3_sw", true, 5}),
                         [](const testing::TestParamInfo<Profile>& info) { return std::string(info.param.name); });

}  // namespace
