// Register names of vertex shader fragments. A fragment names its registers
// instead of numbering them, so a linker can join fragments later: inputs by
// usage ("v_texcoord1"), temporaries shared between fragments by name
// ("r_light"), constants by the variable of the fragment's constant table
// ("c_world", "b_enabled", "i_count"). Inputs and temporaries get numbers in
// order of first use; the "FINF" block lists every name with its register.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "shader/asm/asm_operands.h"
#include "shader/bytecode/constant_table_block.h"

// The constant variables a fragment may name, as its constant table lists
// them (names without a prefix).
struct FragmentContext {
    std::vector<CtabConstant> constants;
};

class FragmentNames {
public:
    explicit FragmentNames(const FragmentContext& context) : context_(context) {}

    // Resolves a fragment name or refuses an ordinary temporary or constant.
    // False when the operand is none of these (the ordinary tables apply);
    // true when it was handled, *ok telling whether without an error.
    bool Resolve(const AsmOperand& operand, gfx::isa::Profile profile, ErrorLog& log, ResolvedRegister* out,
                 bool* ok);

    // The "FINF" block: every name used, sorted, with its register.
    HRESULT BuildInfo(std::vector<uint32_t>* block) const;

private:
    bool Input(const AsmOperand& operand, const std::string& usage, ErrorLog& log, ResolvedRegister* out);
    bool Temporary(const AsmOperand& operand, gfx::isa::Profile profile, ErrorLog& log, ResolvedRegister* out);
    bool Constant(const AsmOperand& operand, char kind, gfx::isa::Profile profile, ErrorLog& log,
                  ResolvedRegister* out);

    const FragmentContext& context_;
    std::map<std::string, uint32_t> inputs_;       // "v_texcoord1" -> vN
    std::map<std::string, uint32_t> temporaries_;  // "r_light" -> rN
    std::map<std::string, CtabConstant> constants_;  // "c_world" -> its record
};
