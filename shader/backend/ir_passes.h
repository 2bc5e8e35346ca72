// The shared passes over an IntermediateProgram. Each optimisation pass lives
// in its own file and returns whether it changed anything, so the optimiser's
// loop is "run every pass until none makes progress".
#pragma once

#include "shader/backend/intermediate_program.h"

// Use analysis and the checks on reads and writes (X4000 and internal errors).
HRESULT ValidateArguments(IntermediateProgram& program);

// Gives every output argument a temporary and appends the moves into the
// outputs at the end of the program (once, before the loop).
HRESULT SeparateOutputs(IntermediateProgram& program);

bool SimplifyInstructions(IntermediateProgram& program);
bool RemoveDeadCode(IntermediateProgram& program);
bool MergeDuplicateArguments(IntermediateProgram& program);
bool SqueezeComponents(IntermediateProgram& program);
bool RemoveDuplicateInstructions(IntermediateProgram& program);
bool Reassociate(IntermediateProgram& program);
bool SimplifyAddresses(IntermediateProgram& program);

// The fixed-point loop over the seven passes, with the compaction after it.
HRESULT RunOptimizationLoop(IntermediateProgram& program);

// Rewrites every input and relative index to the argument that now stands
// for it; a replaced value's variable passes to its stand-in (see CarryVariable).
void ApplyReplacements(IntermediateProgram& program);
// Gives `to` the variable and component offset of `from` when `to` is a
// computed value of its own (a temporary) that belongs to no variable yet, so
// the debug information still lists the writes of a variable whose value now
// lives in another argument. A name `to` already has is kept.
void CarryVariable(IntermediateProgram& program, int32_t from, int32_t to);
// Drops empty instructions, and arguments that are discarded or unused, and
// renumbers the rest.
void CompactProgram(IntermediateProgram& program);

// Vectorising and register packing (after optimisation).
HRESULT VectorizeAndPack(IntermediateProgram& program);
bool GatherVectorInstructions(IntermediateProgram& program);
HRESULT AssignComponents(IntermediateProgram& program);
bool CombineInstructions(IntermediateProgram& program);
HRESULT GatherLiteralRegisters(IntermediateProgram& program);
void ReorderInstructions(IntermediateProgram& program);
// Packs the arguments of `pool` into `registers` physical registers;
// X4004 when they do not fit.
HRESULT PackRegisters(IntermediateProgram& program, uint32_t pool, int registers);
// Whether the packing would fit `pool` into `registers` in the current
// instruction order; changes nothing but the use analysis.
bool RegistersFit(IntermediateProgram& program, uint32_t pool, int registers);

// Helpers shared by the passes.
bool IsLiteralArgument(const IntermediateProgram& program, int32_t arg);
double LiteralValue(const IntermediateProgram& program, int32_t arg);
// Whether the component's output of `inst` may be replaced (its pool does
// not have to be written by this instruction).
bool IsReplaceableOutput(const IntermediateProgram& program, int32_t arg);
// Inputs of component `c` of a component-wise instruction, in operand order.
int OperandCount(uint32_t code);
bool IsComponentWise(uint32_t code);
