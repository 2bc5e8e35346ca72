// Lowers HLSL source held in memory (through the real preprocessor and
// parser) into an IntermediateProgram, and evaluates that program on given
// inputs and uniforms so tests compare numbers rather than dumps.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shader/backend/intermediate_program.h"
#include "shader/frontend/parse_stage.h"
#include "shader/frontend/program_tree.h"

class Preprocessor;

struct LoweredShader {
    LoweredShader();
    ~LoweredShader();
    // Token texts the tree points at live in the preprocessor's pool.
    std::unique_ptr<Preprocessor> pp;
    HRESULT parseResult = E_FAIL;
    HRESULT hr = E_FAIL;
    std::string log;
    std::unique_ptr<hlsl::ProgramTree> tree;
    ErrorLog errors;
    IntermediateProgram program;

    bool Ok() const { return SUCCEEDED(hr) && log.find("error") == std::string::npos; }
    // Instructions with this operation code.
    size_t Count(uint32_t code) const;
};

// Parses `source` and lowers `entry` for `profile` ("vs_2_0", "ps_2_0" ...).
std::unique_ptr<LoweredShader> LowerSource(const std::string& source, const char* entry = "main",
                                           const char* profile = "vs_2_0", uint32_t flags = 0);

// Named values: inputs by semantic text ("POSITION", "TEXCOORD1"), uniforms
// by the name the constant table shows ("world", "$scale"). Each holds four
// floats per register, in register order.
using Registers = std::map<std::string, std::vector<double>>;

struct Evaluation {
    bool ok = false;
    std::string problem;  // what went wrong when !ok
    Registers outputs;    // by semantic text, four components per register
    bool killed = false;  // a clip saw a negative component
};

// Runs the instructions in order over the arguments. A texture sample
// returns (u + sampler register, v, w, 1) of its coordinates (0 for the ones
// it lacks), so tests can see which sampler and coordinates were used.
Evaluation Evaluate(const IntermediateProgram& program, const Registers& inputs, const Registers& uniforms);
