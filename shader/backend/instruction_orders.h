// The orders the instruction reordering chooses from. All of them respect
// the producer/consumer graph of the instructions; they differ in what they
// favour: early texture samples and short-lived temporaries (depth-first), or
// few live temporaries at any moment (pressure-limited).
#pragma once

#include <cstddef>
#include <vector>

#include "shader/backend/intermediate_program.h"

struct InstructionGraph {
    // Builds the graph of the program's instructions in their current order;
    // pixel shader programs also get their instruction levels.
    explicit InstructionGraph(const IntermediateProgram& program);

    size_t size() const { return producers.size(); }

    std::vector<std::vector<size_t>> producers, consumers;  // sorted, no repeats
    // Higher levels are emitted first among the producers of one consumer:
    // texture samples and the instructions that feed them.
    std::vector<int> level;
};

// From every instruction whose results nobody reads, its producers first
// (highest level first unless `levels` is false, creation order breaking
// ties), then the instruction, then at once every consumer whose producers
// are all out.
std::vector<size_t> DepthFirstOrder(const InstructionGraph& graph, bool levels = true);
// A depth-first order whose producers of one consumer go highest `priority`
// first; each instruction follows its own producers, and its consumers wait
// until the walk reaches them.
std::vector<size_t> DepthFirstOrder(const InstructionGraph& graph, const std::vector<int>& priority);

// List schedules that keep the live temporaries within a budget. Built from
// the program in the graph's order; the schedules may be asked for after the
// program's instructions have been rearranged.
class PressureLimitedOrders {
public:
    PressureLimitedOrders(const IntermediateProgram& program, const InstructionGraph& graph);

    // Follows `preferred` while the live temporaries, in components, stay
    // within `budget`; past it, picks the ready instruction that adds the
    // fewest live components (frees the most), its place in `fallback`
    // breaking ties. A budget of 0 gives the order with the least pressure
    // it can find; kFreeingFirst follows `preferred` except that a ready
    // instruction freeing at least what it adds always goes first.
    static constexpr int kFreeingFirst = -1;
    std::vector<size_t> Order(const std::vector<size_t>& preferred, const std::vector<size_t>& fallback,
                              int budget) const;

    // Schedules from the last instruction back to the first, each time
    // taking the instruction, among those whose consumers are all placed,
    // that frees the most live components; the latest in `reference` breaks
    // ties. Sees through shapes where every first step adds a value.
    std::vector<size_t> FromEnd(const std::vector<size_t>& reference) const;

    // For each instruction, the live components its operands need to be
    // computed, less those its results keep: producers with more of it go
    // first in a depth-first order (the tree register count of an
    // expression, with shared values counted in every reader).
    std::vector<int> OperandNeeds() const;

private:
    struct RegisterUse {
        int32_t reg;
        bool read, written;
    };
    void ReadChain(const IntermediateProgram& program, size_t i, int32_t arg);
    void Note(size_t i, int32_t reg, uint32_t pool, bool read);

    const InstructionGraph& graph_;
    std::vector<int32_t> width_;                  // components of each temporary register
    std::vector<std::vector<RegisterUse>> uses_;  // distinct registers each instruction reads or writes
    std::vector<int32_t> readers_;                // instructions reading each register
    std::vector<int32_t> writers_;                // instructions writing each register
};

// When no order fits: for each texture sample whose inputs the program never
// writes, splits its readers at the widest gap between them in `order`;
// those after the gap read a copy of the sample inserted right before the
// first of them. Within the pixel shader texture instruction limit, widest
// gaps first. Tells whether anything changed; argument
// and instruction numbering change when it did.
bool ResampleLateReads(IntermediateProgram& program, const std::vector<size_t>& order);
