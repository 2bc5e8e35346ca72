// Assembles text held in memory, strips comment blocks for comparisons, and
// runs assembled programs on the software device with inputs and constants
// placed by register number, so tests compare the device's numbers with
// numbers computed in C++.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "gfx/shaders/shader_program.h"
#include "platform/wintypes.h"

using Vec4 = std::array<float, 4>;

struct Assembled {
    HRESULT hr = E_FAIL;
    std::vector<DWORD> code;
    std::string messages;  // every line with its file name cut off: "(3): error X2005: ..."
    bool Ok() const { return hr == S_OK && !code.empty(); }
};

Assembled AssembleText(const std::string& text, DWORD flags = 0);

// The program without its comment blocks (constant table, debug information).
std::vector<DWORD> InstructionTokens(const std::vector<DWORD>& code);

// The disassembly, or "" with *problem set.
std::string DisassembleCode(const std::vector<DWORD>& code, std::string* problem);

// Device runs: inputs by register slot (vN for vertex programs; pixel slots
// as the device numbers them: v0/v1 at 0/1, tN at 2 + N, vN in ps_3_0).
struct DeviceRun {
    bool ok = false;
    std::string problem;
    std::map<int, Vec4> outputs;  // vertex: output slot; pixel: oCn at n, depth at 4
    bool killed = false;
};
DeviceRun RunVertexProgram(const std::vector<DWORD>& code, const gfx::ShaderConstants& constants,
                           const std::map<int, Vec4>& inputs);
DeviceRun RunPixelProgram(const std::vector<DWORD>& code, const gfx::ShaderConstants& constants,
                          const std::map<int, Vec4>& inputs);
