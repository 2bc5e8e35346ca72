// The intrinsic function table: one constant signature record per overload,
// sorted by name, and the matcher that binds a call's arguments to the first
// signature that accepts them.
#pragma once

#include <cstdint>
#include <vector>

#include "shader/frontend/types.h"

namespace hlsl {

// Intrinsic numbers (the lowering expands each by number).
enum IntrinsicId : uint8_t {
    kAbs = 0, kAcos = 1, kAll = 2, kAny = 3, kAsin = 4, kAtan = 5, kAtan2 = 6, kCeil = 7, kClamp = 8,
    kClip = 9, kCos = 10, kCosh = 11, kCross = 12, kDdx = 13, kDdy = 14, kDegrees = 15, kDeterminant = 16,
    kDistance = 17, kDot = 18, kExp = 20, kExp2 = 21, kFaceforward = 22, kFloor = 23, kFmod = 24, kFrac = 25,
    kFrexp = 26, kFwidth = 27, kIsfinite = 28, kIsinf = 29, kIsnan = 30, kLdexp = 31, kLength = 32, kLerp = 33,
    kLit = 34, kLog = 35, kLog10 = 36, kLog2 = 37, kMax = 38, kMin = 39, kModf = 40,
    kMulSS = 41, kMulSV = 42, kMulSM = 43, kMulVS = 44, kMulVV = 45, kMulVM = 46, kMulMS = 47,
    kMulMV = 48, kMulMM = 49, kNoise = 50, kNormalize = 51, kPow = 52, kRadians = 53, kReflect = 54,
    kRefract = 55, kRound = 56, kRsqrt = 57, kSaturate = 58, kSign = 59, kSin = 60, kSincos = 61,
    kSinh = 62, kSmoothstep = 63, kSqrt = 64, kStep = 65, kTan = 66, kTanh = 67, kTex1D = 68,
    kTex1Dgrad = 69, kTex1Dproj = 70, kTex1Dbias = 71, kTex2D = 72, kTex2Dgrad = 73, kTex2Dproj = 74,
    kTex2Dbias = 75, kTex3D = 76, kTex3Dgrad = 77, kTex3Dproj = 78, kTex3Dbias = 79, kTexCube = 80,
    kTexCubegrad = 81, kTexCubeproj = 82, kTexCubebias = 83, kTranspose = 84, kD3DColorToUbyte4 = 85,
    // Lookups at an explicit level, one per dimension in the order of the others.
    kTex1Dlod = 86, kTex2Dlod = 87, kTex3Dlod = 88, kTexCubelod = 89,
};

// Lists in descriptors end with these markers.
constexpr uint8_t kEndClasses = 5;
constexpr uint8_t kEndBases = kBaseTypeCount;

// Directions of a descriptor.
enum : uint8_t { kArgIn = 0x10, kArgResult = 0x20, kArgOut = 0x40 };

// One parameter (or the result) of a signature. Rows and columns are a fixed
// count (> 0) or a dimension variable (-1 to -4) shared with the other
// descriptors that name it; a variable takes the smallest size among the
// arguments bound to it, larger arguments being truncated. A scalar argument
// whose descriptor also allows vectors or matrices binds no dimension: it is
// replicated to the shape the other arguments fix.
struct IntrinsicArg {
    const char* name;
    uint8_t direction;       // kArgIn, kArgOut, kArgResult; 0 marks an unused slot
    uint8_t shapeGroup;      // descriptors of one group share a shape class
    const uint8_t* classes;  // allowed TypeClass values, ended by kEndClasses
    uint8_t componentGroup;  // descriptors of one group share a base type
    const uint8_t* bases;    // allowed BaseType values, ended by kEndBases
    int8_t rows, cols;
};

struct IntrinsicSignature {
    const char* name;
    IntrinsicId id;
    uint8_t paramCount;
    bool returnsVoid;
    IntrinsicArg args[5];  // [0] result, [1..4] parameters
};

// The whole table, sorted by name in byte order.
const IntrinsicSignature* IntrinsicTable(size_t* count);
// True when some signature has this name.
bool IsIntrinsicName(const char* name);

// An argument as the matcher sees it.
struct IntrinsicArgument {
    const Type* type;
    bool assignable;  // may receive an "out" value
};

// The first signature of `name` that accepts the arguments, in table order;
// fills the resolved parameter types and the result type (null for void).
// `*nameKnown` tells whether any signature has the name, `*countKnown`
// whether one takes that many arguments.
const IntrinsicSignature* MatchIntrinsic(TypeTable& types, const char* name,
                                         const std::vector<IntrinsicArgument>& args,
                                         std::vector<const Type*>* paramTypes, const Type** resultType,
                                         bool* nameKnown, bool* countKnown);

}  // namespace hlsl
