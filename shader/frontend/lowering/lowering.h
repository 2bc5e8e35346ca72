// The lowering: turns the checked program tree into the straight-line
// IntermediateProgram of one entry function. Calls are expanded in place, both
// arms of an "if" are computed and merged, loops are unrolled, intrinsics
// become sequences of intermediate operations.
//
// What the lowering leaves in the program for the code generators:
// - Every uniform, sampler, input and output variable piece is its own pool,
//   created after the eight standard pools (which stay empty for these
//   classes). The pool carries the flags of its class's standard pool
//   ("c" 0x129, "s" 0x169, "v" 0x29, "o" 0x32) and the same one-letter name,
//   `registerCount` = the registers the piece spans, `declaration` = the tree
//   node it stands for (an hlsl::VarDecl; for a return value the
//   hlsl::FuncDecl), and `binding` = the text of an explicit register binding
//   that applies to this target ("c5", "s0"), empty when there is none.
// - Inside such a pool each argument has its register (relative to the pool)
//   and component. Register layout: a scalar or vector takes one register; a
//   matrix one register per row when row-major, one per column otherwise
//   (packing 0 means column-major); arrays and structures start every element
//   and member on a new register.
// - `IrArgument::declaration`/`name`/`offset`: the variable, its name as the
//   constant table shows it ("$p" for a uniform parameter p of the entry
//   function) and the component offset inside it in register units
//   (register * 4 + component), so `offset / 4` is the register inside the
//   variable.
// - Inputs and outputs: a pool per semantic-bearing declaration (a parameter,
//   a structure member or the function); its arguments carry
//   `semanticNode` = that node and `semantic` = -1. SemanticOf() gives the
//   semantic's text; the register offset inside the piece (offset / 4) is to
//   be added to the semantic's index.
// - Arguments of bool type (and comparison results) carry value flag 0x1.
// - Every argument carries the precision class of its value's base type
//   (half and bool low, 8- and 16-bit integers medium, the rest full; see
//   precision.cpp), which the generators read to choose partial precision.
// - No instruction computes more than one register's four components:
//   wider values are split into register-sized instructions.
#pragma once

#include "platform/wintypes.h"
#include "shader/backend/intermediate_program.h"
#include "shader/frontend/program_tree.h"

namespace hlsl {

// Lowers the global declarations of `tree` and then the entry function named
// `entry` into `program`, which the caller has initialised (its version token
// selects the target, its flags and error log are used). The entry function
// is chosen as the compile entry chooses it; none found is X3501.
// Results: S_OK; E_FAIL after an error (messages logged); E_NOTIMPL for a
// construct the lowering does not support (X3500); E_OUTOFMEMORY.
// `end` (may be null) is where the source ended: an entry not found is
// reported there.
// `options` (may be null) steers the lowering and receives what it found.
struct LoweringOptions {
    // Loops whose count is known when compiling run as real loops on the
    // models with loops instead of being unrolled (the compile asks for this
    // when the unrolled program did not fit the model's instruction slots).
    bool constantLoopsAsLoops = false;
    // Set by the lowering: a loop of known count was unrolled that could have
    // been a real loop; and the lowering stopped because the program grew
    // too large (X3511).
    bool constantLoopsUnrolled = false;
    bool tooLarge = false;
};
HRESULT LowerShader(ProgramTree& tree, const char* entry, IntermediateProgram& program,
                    const SourceLocation* end = nullptr, LoweringOptions* options = nullptr);

// The semantic text of an input or output argument's `semanticNode`
// (null when the node carries none), and the node's source position.
const char* SemanticOf(const void* semanticNode);
SourceLocation SemanticLocation(const void* semanticNode);

}  // namespace hlsl
