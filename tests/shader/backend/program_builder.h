// Builds small intermediate programs by hand for the pass tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "shader/backend/intermediate_program.h"
#include "shader/backend/ir_dump.h"
#include "shader/backend/ir_passes.h"
#include "shader/error_log.h"

class ProgramBuilder {
public:
    explicit ProgramBuilder(uint32_t version = 0xFFFE0200, uint32_t flags = 0) {
        p.Initialize(nullptr, &log, version, flags);
    }
    int Lit(double v) { return p.AddLiteral(v); }
    int Const(int reg, int comp) { return p.AddArgument(kPoolConstants, reg, comp, 0); }
    int Input(int reg, int comp) { return p.AddArgument(kPoolInputs, reg, comp, 0); }
    int Output(int reg, int comp) { return p.AddArgument(kPoolOutputs, reg, comp, 0); }
    int Temp() { return p.AddArgument(kPoolTemps, -1, -1, 0); }
    // Adds an instruction of `code` over the given arguments; the component
    // count follows from the outputs (or the inputs for instructions without).
    int Op(uint32_t code, std::initializer_list<int> outputs, std::initializer_list<int> inputs, uint32_t line = 1) {
        uint32_t n = uint32_t(outputs.size());
        if (IsBinaryOp(code) || code == kOpDot) n = uint32_t(inputs.size() / 2);
        if (code == kOpSelect) n = uint32_t(inputs.size() / 3);
        if (code == kOpClip || !outputs.size()) n = uint32_t(inputs.size());
        const int i = p.AddInstruction(MakeOp(code, n), int(inputs.size()), int(outputs.size()));
        if (i < 0) return i;
        p.instructions[i].inputs.assign(inputs.begin(), inputs.end());
        p.instructions[i].outputs.assign(outputs.begin(), outputs.end());
        p.instructions[i].location = SourceLocation{"test.fx", line};
        return i;
    }
    // A temporary computed by `code` from the inputs (one component).
    int Calc(uint32_t code, std::initializer_list<int> inputs, uint32_t line = 1) {
        const int t = Temp();
        Op(code, {t}, inputs, line);
        return t;
    }
    std::string Dump() const { return DumpProgram(p); }

    ErrorLog log;
    IntermediateProgram p;
};
