// Operation codes of the intermediate program and the shapes (input and
// output counts) they take for a component count n. An operation word holds
// the code in bits 24-31 and n in bits 0-23.
#pragma once

#include <cstddef>
#include <cstdint>

enum IrOp : uint32_t {
    kOpEmpty = 0x00,
    kOpMove = 0x10,
    kOpNegate = 0x11,
    kOpReciprocal = 0x12,
    kOpFraction = 0x13,
    kOpExp2 = 0x14,
    kOpLog2 = 0x15,
    kOpSqrt = 0x16,
    kOpSin = 0x17,
    kOpCos = 0x18,
    kOpAsin = 0x19,
    kOpAcos = 0x1A,
    kOpAtan = 0x1B,
    kOpDerivativeX = 0x1C,
    kOpDerivativeY = 0x1D,
    kOpMin = 0x20,
    kOpMax = 0x21,
    kOpSetLess = 0x22,
    kOpSetGreaterEqual = 0x23,
    kOpAdd = 0x24,
    kOpMul = 0x25,
    kOpAtan2 = 0x26,
    kOpDot = 0x30,
    kOpProduce = 0x31,  // no inputs, n outputs
    kOpConsume = 0x32,  // n inputs, no outputs
    kOpLit = 0x33,
    kOpClip = 0x34,
    kOpNoise = 0x35,
    kOpSample = 0x40,  // 0x40-0x4F: dimension group + kind
    kOpSampleLast = 0x4F,
    kOpSelect = 0x50,
    kOpSampleLevel = 0x60,  // 0x60-0x63: lookups at the level the w coordinate names, by dimension
    kOpSampleLevelLast = 0x63,
    // Flow control. A loop runs the instructions between its begin and its
    // end as many times as its count says. Values that change from one
    // round to the next live in carried arguments, written only by these two:
    // the begin copies inputs 1.. (the starting values; input 0 is the
    // count, an integer constant register) into its outputs, the end copies
    // its inputs (the values for the next round) into the same outputs, in
    // the same order. Both are barriers no instruction moves across. Input 0
    // may instead be a computed bound: the loop then runs until the carried
    // output whose index + 1 is the count field (the counter, 0 up by 1)
    // reaches it, at most 255 rounds.
    kOpLoopBegin = 0x70,
    kOpLoopEnd = 0x71,
    // A branch on input 0 of its begin (a boolean constant register), or on a
    // comparison of inputs 0 and 1 (the comparison code in the count field,
    // 1-6 as the instruction set numbers them: gt, eq, ge, lt, ne, le): the
    // instructions up to its else run where it is true, those up to its end
    // where it is false. The variables either arm changes take their values
    // in merged arguments, written only by the else (copying the values of
    // the first arm, its inputs) and the end (those of the second arm), as a
    // loop's end writes its carried values.
    kOpIfBegin = 0x72,
    kOpElse = 0x73,
    kOpIfEnd = 0x74,
    // Leaves the innermost loop where the comparison in the count field (as
    // for a branch) of inputs 0 and 1 holds, or always when the count is 0
    // (no comparison inputs then). The values the loop carries take the
    // remaining inputs first, in its outputs (a subset of the carried ones),
    // as the loop's end would write them.
    kOpLoopBreak = 0x75,
    // Predication (target forms, made after packing on the models with a
    // predicate register): set p0 from the comparison of inputs 0 and 1 (the
    // comparison code in the count field, as for kOpIfBegin); and a merge of n
    // components whose outputs take b where p0 holds and a elsewhere. The
    // count field holds n in bits 0-7 and, in bits 8-15 for a and 16-23 for
    // b, the operation (add or mul) that computes the side in the merged
    // registers, 0 for a value read as it is. The inputs are a's operands
    // (n, or 2n for an operation), then b's.
    kOpSetPredicate = 0xEE,
    kOpPredicatedMerge = 0xEF,
    kOpAbs = 0xF0,
    kOpLerp = 0xF1,
    kOpNormalize = 0xF2,
    kOpRsq = 0xF3,
    kOpRsqNegated = 0xF4,
    kOpMad = 0xF5,
    kOpMadNegated = 0xF6,
    kOpMatrix2 = 0xF7,
    kOpMatrix3 = 0xF8,
    kOpMatrix4 = 0xF9,
    kOpDot2Add = 0xFA,
    kOpDistance = 0xFB,
    // ps_1_x: a move whose result is scaled by 2, 4 or 8 (the result shift).
    kOpMoveTimes2 = 0xFC,
    kOpMoveTimes4 = 0xFD,
    kOpMoveTimes8 = 0xFE,
};

// Sample operations: base + 4 x dimension + kind, and the level lookups
// apart (kOpSampleLevel + dimension).
enum SampleDimension : uint32_t { kSample1D = 0, kSample2D = 1, kSampleVolume = 2, kSampleCube = 3 };
enum SampleKind : uint32_t {
    kSamplePlain = 0,
    kSampleGradients = 1,
    kSampleProjected = 2,
    kSampleBiased = 3,
    kSampleLevel = 4,
};

constexpr uint32_t MakeOp(uint32_t code, uint32_t n) { return code << 24 | (n & 0xFFFFFF); }
constexpr uint32_t OpCode(uint32_t word) { return word >> 24; }
constexpr uint32_t OpCount(uint32_t word) { return word & 0xFFFFFF; }
constexpr bool IsFlowOp(uint32_t code) { return code >= kOpLoopBegin && code <= kOpLoopBreak; }
// The flow operations that write their outputs a second time (copies into
// values an earlier one wrote first).
constexpr bool IsClosingFlowOp(uint32_t code) {
    return code == kOpLoopEnd || code == kOpIfEnd || code == kOpLoopBreak;
}
// Inputs of a flow operation before the values it copies.
constexpr size_t FlowOperandsBeforeCopies(uint32_t code, uint32_t count, size_t inputs) {
    return code == kOpLoopBegin ? 1 : code == kOpIfBegin ? inputs : code == kOpLoopBreak && count ? 2 : 0;
}
constexpr bool IsSampleOp(uint32_t code) {
    return (code >= kOpSample && code <= kOpSampleLast) || (code >= kOpSampleLevel && code <= kOpSampleLevelLast);
}
constexpr uint32_t SampleCode(uint32_t dimension, uint32_t kind) {
    return kind == kSampleLevel ? kOpSampleLevel + dimension : kOpSample + 4 * dimension + kind;
}
constexpr uint32_t SampleDimensionOf(uint32_t code) {
    return code >= kOpSampleLevel ? code - kOpSampleLevel : (code - kOpSample) / 4;
}
constexpr uint32_t SampleKindOf(uint32_t code) {
    return code >= kOpSampleLevel ? uint32_t(kSampleLevel) : (code - kOpSample) % 4;
}
constexpr bool IsUnaryOp(uint32_t code) { return code >= kOpMove && code <= kOpDerivativeY; }
constexpr bool IsBinaryOp(uint32_t code) { return code >= kOpMin && code <= kOpAtan2; }
constexpr bool IsCommutativeOp(uint32_t code) {
    return code == kOpMin || code == kOpMax || code == kOpAdd || code == kOpMul || code == kOpDot;
}

// Derives the input and output counts of an operation with n components;
// false for the target forms (0xF0-0xFE), whose counts are given by whoever
// builds them. `fixedOutputs`: the output count may be given instead (dot).
bool DeriveShape(uint32_t code, uint32_t n, int* inputs, int* outputs, bool* fixedOutputs);

const char* OpName(uint32_t code);
