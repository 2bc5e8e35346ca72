// Shared by the vertex execution suites: compile one source for several
// vertex profiles, run it on the device over several vertices and compare
// every output with what the test computes in C++.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "codegen_harness.h"

namespace vsexec {

using Vertex = std::map<Semantic, Vec4>;  // input values by semantic
using Outputs = std::map<Semantic, Vec4>;  // wanted outputs; NaN components are not compared

// vs_2_x and vs_3_0 share the vs_2_0 code; vs_3_0 writes declared o registers.
inline const std::vector<const char*> kAllProfiles = {"vs_1_1", "vs_2_0", "vs_2_sw", "vs_2_x", "vs_3_0"};

struct Check {
    std::string source;
    std::vector<const char*> profiles = kAllProfiles;
    DWORD flags = 0;
    std::string entry = "main";
    Uniforms uniforms;
    std::vector<Vertex> vertices;
    std::function<Outputs(const Vertex&)> want;
    // Allowed error: tolerance x max(1, |wanted value|).
    float tolerance = 1e-5f;
    std::string what;  // names the case in failure messages
};

// Runs the check; reports every mismatch through gtest. Returns false when
// the shader did not compile or run.
bool Run(const Check& check);

// Register contents of an R x C matrix m (row by row in `values`), as the
// constant table lays it out: one register per row when `rowMajor`, else
// one per column, four floats per register.
std::vector<float> MatrixRegisters(const std::vector<float>& values, int rows, int cols, bool rowMajor);

// Instruction opcodes of a compiled program in order (declarations and
// definitions included, comments skipped).
std::vector<uint32_t> Opcodes(const Compiled& shader);

// Component-wise helpers for the C++ side.
Vec4 Map(const Vec4& a, float (*f)(float));
Vec4 Map2(const Vec4& a, const Vec4& b, float (*f)(float, float));
Vec4 Splat(float v);
float Dot(const Vec4& a, const Vec4& b, int n = 4);

constexpr float kAny = __builtin_nanf("");

}  // namespace vsexec
