#include "shader/backend/ir_operations.h"

bool DeriveShape(uint32_t code, uint32_t n, int* inputs, int* outputs, bool* fixedOutputs) {
    const int c = int(n);
    *fixedOutputs = true;
    if (code == kOpEmpty) {
        *inputs = *outputs = 0;
    } else if (IsUnaryOp(code) || code == kOpLit) {
        *inputs = *outputs = c;
    } else if (IsBinaryOp(code)) {
        *inputs = 2 * c;
        *outputs = c;
    } else if (code == kOpDot) {
        *inputs = 2 * c;
        *outputs = 1;
        *fixedOutputs = false;
    } else if (code == kOpProduce) {
        *inputs = 0;
        *outputs = c;
    } else if (code == kOpConsume || code == kOpClip) {
        *inputs = c;
        *outputs = 0;
    } else if (code == kOpNoise) {
        *inputs = c;
        *outputs = 1;
    } else if (IsSampleOp(code)) {
        // The sampler once per coordinate component, the coordinates, and two
        // gradient vectors for the gradient form.
        *inputs = SampleKindOf(code) == kSampleGradients ? 4 * c : 2 * c;
        *outputs = 4;
    } else if (code == kOpSelect) {
        *inputs = 3 * c;
        *outputs = c;
    } else {
        return false;
    }
    return true;
}

const char* OpName(uint32_t code) {
    switch (code) {
    case kOpEmpty: return "empty";
    case kOpMove: return "mov";
    case kOpNegate: return "neg";
    case kOpReciprocal: return "rcp";
    case kOpFraction: return "frc";
    case kOpExp2: return "exp";
    case kOpLog2: return "log";
    case kOpSqrt: return "sqrt";
    case kOpSin: return "sin";
    case kOpCos: return "cos";
    case kOpAsin: return "asin";
    case kOpAcos: return "acos";
    case kOpAtan: return "atan";
    case kOpDerivativeX: return "ddx";
    case kOpDerivativeY: return "ddy";
    case kOpMin: return "min";
    case kOpMax: return "max";
    case kOpSetLess: return "slt";
    case kOpSetGreaterEqual: return "sge";
    case kOpAdd: return "add";
    case kOpMul: return "mul";
    case kOpAtan2: return "atan2";
    case kOpDot: return "dot";
    case kOpLit: return "lit";
    case kOpClip: return "clip";
    case kOpNoise: return "noise";
    case kOpSelect: return "select";
    case kOpSetPredicate: return "setp";
    case kOpPredicatedMerge: return "pmerge";
    case kOpLoopBegin: return "loop";
    case kOpLoopEnd: return "endloop";
    case kOpIfBegin: return "if";
    case kOpElse: return "else";
    case kOpIfEnd: return "endif";
    case kOpLoopBreak: return "break";
    case kOpAbs: return "abs";
    case kOpLerp: return "lrp";
    case kOpNormalize: return "nrm";
    case kOpRsq: return "rsq";
    case kOpRsqNegated: return "rsqneg";
    case kOpMad: return "mad";
    case kOpMadNegated: return "madneg";
    case kOpMatrix2: return "m2";
    case kOpMatrix3: return "m3";
    case kOpMatrix4: return "m4";
    case kOpDot2Add: return "dp2add";
    case kOpDistance: return "dst";
    case kOpMoveTimes2: return "mov_x2";
    case kOpMoveTimes4: return "mov_x4";
    case kOpMoveTimes8: return "mov_x8";
    default: return IsSampleOp(code) ? "sample" : "?";
    }
}
