// Compiles HLSL held in memory with our compiler and runs the bytecode on the
// software device's shader programs, so tests compare numbers computed by the
// shader with numbers computed in C++.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gfx/shaders/shader_program.h"
#include "platform/wintypes.h"
#include "shader/kl_buffer.h"

using Vec4 = std::array<float, 4>;
// A semantic as (usage, index): {10, 0} is COLOR0, {5, 2} TEXCOORD2.
using Semantic = std::pair<int, int>;
constexpr int kPosition = 0, kPsize = 4, kTexcoord = 5, kColor = 10, kFog = 11, kNormal = 3;
// RunPixel inputs without a usage: the pixel position (vPos) and the face
// value (vFace, in x) of ps_3_0.
constexpr Semantic kVpos = {-1, 0}, kVface = {-2, 0};

struct Compiled {
    HRESULT hr = E_FAIL;
    std::vector<DWORD> code;
    std::string messages;
    bool Ok() const { return hr == S_OK && !code.empty(); }
};

Compiled CompileHlsl(const std::string& source, const char* profile, const char* entry = "main", DWORD flags = 0);
// The same for a file, its includes found next to it.
Compiled CompileHlslFile(const std::string& path, const char* profile, const char* entry);
// For tests of register pressure, whose programs may be longer than the
// profile's instruction slot budget: a normal compile, or, when the validator
// refuses the program for its slots alone (X5037), the same program compiled
// without the validator and marked as the software model of its version
// (same instructions and registers, no slot budget), so the device runs it.
// *overBudget (optional) tells which.
Compiled CompileBeyondSlotBudget(const std::string& source, const char* profile, const char* entry = "main",
                                 bool* overBudget = nullptr);
Compiled CompileFileBeyondSlotBudget(const std::string& path, const char* profile, const char* entry,
                                     bool* overBudget = nullptr);
// The disassembly of the code, or why there is none.
std::string Disassembly(const Compiled& shader);
// Instructions of a program's body in its disassembly (declarations and
// definitions, which take no slot, left out).
int BodyInstructions(const Compiled& shader);
// Takes the results of a compile call (and releases its buffers).
Compiled TakeCompileResult(HRESULT hr, IKLBuffer* code, IKLBuffer* errors);

// Uniforms by the name the constant table shows, four floats per register in
// register order.
using Uniforms = std::map<std::string, std::vector<float>>;

struct ShaderRun {
    bool ok = false;
    std::string problem;
    std::map<Semantic, Vec4> outputs;  // vertex outputs, or pixel COLORn / DEPTH0 {12, 0}
    bool killed = false;
};

// Runs the vertex shader on one vertex.
ShaderRun RunVertex(const Compiled& shader, const std::map<Semantic, Vec4>& inputs, const Uniforms& uniforms = {});

// A texture stand-in: sampler s at (u, v, w, q) returns (u + s, 2v, w + 0.25, 0.5), so
// a test can tell which sampler and which coordinates a lookup used.
Vec4 FakeTexel(UINT sampler, const float* coordinate);

// Runs the pixel shader on one 2x2 quad whose pixels all get the same
// inputs (colour and texture coordinate semantics).
ShaderRun RunPixel(const Compiled& shader, const std::map<Semantic, Vec4>& inputs, const Uniforms& uniforms = {});

// The text of the compile messages with the file name cut off each line
// ("(3): error X4541: ...").
std::string MessagesWithoutFile(const std::string& messages);
