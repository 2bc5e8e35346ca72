// Text form of an IntermediateProgram, one instruction per line, for tests and
// for looking at what the optimiser did:
//   add[2] r0.x, r0.y <- c0.x, c0.y, 2, 3
// Arguments print as pool name, register and component when they have them
// ("c0.x", "r3.w", "c2[r0.x].y" when relatively addressed) and literals as
// their value. Arguments without a register are numbered in the order the
// dump first meets them ("r#1", "r#2"), so the text does not depend on how the
// arguments happen to be numbered.
#pragma once

#include <map>
#include <string>

#include "shader/backend/intermediate_program.h"

class IrDumper {
public:
    explicit IrDumper(const IntermediateProgram& program) : p_(program) {}
    std::string Argument(int32_t arg);
    std::string Instruction(const IrInstruction& inst);
    std::string Program();

private:
    const IntermediateProgram& p_;
    std::map<int32_t, int> names_;
};

inline std::string DumpArgument(const IntermediateProgram& program, int32_t arg) {
    return IrDumper(program).Argument(arg);
}
inline std::string DumpProgram(const IntermediateProgram& program) { return IrDumper(program).Program(); }
