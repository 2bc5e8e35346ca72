// Negations read only through source modifiers. A negation whose every
// reader takes its results as whole operands of an instruction that accepts
// the negate modifier needs no register of its own: the readers can read its
// input negated. Both the instruction reordering (before packing, so the
// program needs fewer temporaries) and the code generators (after packing)
// fold them this way.
#pragma once

#include <vector>

#include "shader/backend/intermediate_program.h"

// Operand count of the operations whose operands accept the negate
// modifier; 0 for the others.
int NegatableOperands(uint32_t code);

// One operand of a reader made only of the negation's results.
struct NegationRead {
    size_t inst;     // the reader
    size_t first;    // its first input of the operand
    uint32_t count;  // components of the operand
};

// The reads of negation `neg` (instruction index) when all of them can take
// its input negated; false when one cannot, or when nothing reads it. Only
// instructions after it are looked at; the caller checks its input.
bool NegationReadsFoldable(const IntermediateProgram& program, size_t neg, std::vector<NegationRead>* reads);

// Points those reads at the negation's input with the negate modifier (new
// arguments) and empties the negation.
void FoldNegationReads(IntermediateProgram& program, size_t neg, const std::vector<NegationRead>& reads);

// Folds, before packing, every negation of plain temporaries the reordering
// may fold: inputs of the temporary pool, unmodified and direct, not written
// again after the negation, and results that are nowhere used as an index.
// Tells whether anything changed. Needs: components assigned.
bool FoldTemporaryNegations(IntermediateProgram& program);
