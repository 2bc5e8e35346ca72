#include "vs_exec_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace vsexec {
namespace {

std::string Describe(const Vertex& v) {
    std::ostringstream s;
    for (const auto& [semantic, value] : v)
        s << " [" << semantic.first << "/" << semantic.second << "]=(" << value[0] << ", " << value[1] << ", "
          << value[2] << ", " << value[3] << ")";
    return s.str();
}

}  // namespace

bool Run(const Check& check) {
    bool ok = true;
    for (const char* profile : check.profiles) {
        const Compiled shader = CompileHlsl(check.source, profile, check.entry.c_str(), check.flags);
        if (!shader.Ok()) {
            ADD_FAILURE() << check.what << " " << profile << " does not compile:\n" << shader.messages;
            ok = false;
            continue;
        }
        // One failure per profile, listing the first few wrong values.
        std::ostringstream wrong;
        int mismatches = 0;
        for (const Vertex& vertex : check.vertices) {
            const ShaderRun run = RunVertex(shader, vertex, check.uniforms);
            if (!run.ok) {
                ADD_FAILURE() << check.what << " " << profile << ": " << run.problem;
                ok = false;
                break;
            }
            const Outputs want = check.want(vertex);
            for (const auto& [semantic, value] : want) {
                auto it = run.outputs.find(semantic);
                if (it == run.outputs.end()) {
                    ADD_FAILURE() << check.what << " " << profile << " lacks output " << semantic.first << "/"
                                  << semantic.second;
                    ok = false;
                    continue;
                }
                for (int c = 0; c < 4; ++c) {
                    if (std::isnan(value[c])) continue;
                    const float got = it->second[c];
                    const float allowed = check.tolerance * std::max(1.0f, std::fabs(value[c]));
                    if (std::fabs(got - value[c]) <= allowed) continue;
                    if (++mismatches <= 4)
                        wrong << "\n  output " << semantic.first << "/" << semantic.second << "." << "xyzw"[c]
                              << " = " << got << ", want " << value[c] << " for" << Describe(vertex);
                }
            }
        }
        if (mismatches) {
            ADD_FAILURE() << check.what << " " << profile << ": " << mismatches << " wrong values" << wrong.str();
            ok = false;
        }
    }
    return ok;
}

std::vector<float> MatrixRegisters(const std::vector<float>& values, int rows, int cols, bool rowMajor) {
    std::vector<float> regs;
    const int count = rowMajor ? rows : cols, width = rowMajor ? cols : rows;
    for (int r = 0; r < count; ++r)
        for (int k = 0; k < 4; ++k) {
            const int row = rowMajor ? r : k, col = rowMajor ? k : r;
            regs.push_back(k < width ? values[size_t(row * cols + col)] : 0.0f);
        }
    return regs;
}

std::vector<uint32_t> Opcodes(const Compiled& shader) {
    std::vector<uint32_t> ops;
    if (shader.code.empty()) return ops;
    const bool lengths = (shader.code[0] & 0xFFFF) >= 0x0200;
    for (size_t k = 1; k < shader.code.size();) {
        const uint32_t t = shader.code[k];
        if ((t & 0xFFFF) == 0xFFFE) {  // comment block
            k += 1 + ((t >> 16) & 0x7FFF);
            continue;
        }
        if (t == 0xFFFF) break;
        ops.push_back(t & 0xFFFF);
        size_t next = k + 1;
        if (lengths) next += (t >> 24) & 0xF;
        else
            while (next < shader.code.size() && (shader.code[next] & 0x80000000u)) ++next;
        k = next;
    }
    return ops;
}

Vec4 Map(const Vec4& a, float (*f)(float)) { return {f(a[0]), f(a[1]), f(a[2]), f(a[3])}; }

Vec4 Map2(const Vec4& a, const Vec4& b, float (*f)(float, float)) {
    return {f(a[0], b[0]), f(a[1], b[1]), f(a[2], b[2]), f(a[3], b[3])};
}

Vec4 Splat(float v) { return {v, v, v, v}; }

float Dot(const Vec4& a, const Vec4& b, int n) {
    float s = 0;
    for (int i = 0; i < n; ++i) s += a[size_t(i)] * b[size_t(i)];
    return s;
}

}  // namespace vsexec
