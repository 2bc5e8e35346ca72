#include "shader/frontend/intrinsics.h"

#include <cstring>

namespace hlsl {
namespace {

// Allowed shape classes.
constexpr uint8_t kS[] = {kScalar, kEndClasses};
constexpr uint8_t kV[] = {kVector, kEndClasses};
constexpr uint8_t kM[] = {kMatrix, kEndClasses};
constexpr uint8_t kO[] = {kObject, kEndClasses};
constexpr uint8_t kSV[] = {kScalar, kVector, kEndClasses};
constexpr uint8_t kSVM[] = {kScalar, kVector, kMatrix, kEndClasses};

// Allowed base types.
constexpr uint8_t kBools[] = {kBool, kEndBases};
constexpr uint8_t kIntLiterals[] = {kIntLiteral, kEndBases};
constexpr uint8_t kInts[] = {kInt, kEndBases};
constexpr uint8_t kFloat32s[] = {kFloat, kEndBases};
constexpr uint8_t kFloats[] = {kFloatLiteral, kHalf, kFloat, kDouble, kEndBases};
constexpr uint8_t kNumeric[] = {kFloatLiteral, kHalf, kFloat, kDouble, kIntLiteral, kInt8, kInt16,
                                kInt, kUintLiteral, kUint8, kUint16, kUint, kEndBases};
constexpr uint8_t kNumericBool[] = {kFloatLiteral, kHalf, kFloat, kDouble, kIntLiteral, kInt8, kInt16,
                                    kInt, kUintLiteral, kUint8, kUint16, kUint, kBool, kEndBases};
constexpr uint8_t kSampler1Ds[] = {kSampler1D, kEndBases};
constexpr uint8_t kSampler2Ds[] = {kSampler2D, kEndBases};
constexpr uint8_t kSampler3Ds[] = {kSampler3D, kEndBases};
constexpr uint8_t kSamplerCubes[] = {kSamplerCube, kEndBases};

const IntrinsicSignature kTable[] = {
#include "shader/frontend/intrinsic_table.inc"
};
constexpr size_t kTableSize = sizeof kTable / sizeof kTable[0];
static_assert(kTableSize == 89, "one row per intrinsic signature");

bool InList(const uint8_t* list, uint8_t end, uint8_t value) {
    for (; *list != end; ++list)
        if (*list == value) return true;
    return false;
}

constexpr int kGroups = 8;

// What the arguments fixed while binding one signature.
struct Binding {
    int groupClass[kGroups];  // -1: not fixed
    bool baseFixed[kGroups] = {};
    BaseType base[kGroups] = {};
    unsigned dims[5] = {0, 0, 0, 0, 0};  // dimension variables 1..4; 0: not fixed

    Binding() {
        for (int& c : groupClass) c = -1;
    }
};

bool AllowsNonScalar(const IntrinsicArg& d) {
    for (const uint8_t* c = d.classes; *c != kEndClasses; ++c)
        if (*c != kScalar) return true;
    return false;
}

// Binds one row or column count of an argument.
bool BindDim(Binding& b, int8_t want, unsigned have, bool broadcast) {
    if (want > 0) return broadcast || unsigned(want) <= have;
    if (broadcast) return true;
    unsigned& v = b.dims[-want];
    if (v == 0 || have < v) v = have;
    return true;
}

const Type* ResolveType(TypeTable& types, const Binding& b, const IntrinsicArg& d) {
    int cls = b.groupClass[d.shapeGroup % kGroups];
    if (cls < 0) cls = d.classes[0];
    BaseType base = BaseType(d.bases[0]);
    if (b.baseFixed[d.componentGroup % kGroups] && InList(d.bases, kEndBases, b.base[d.componentGroup % kGroups]))
        base = b.base[d.componentGroup % kGroups];
    auto dim = [&](int8_t v) -> unsigned {
        if (v > 0) return unsigned(v);
        unsigned n = b.dims[-v];
        return n ? n : 1;
    };
    switch (cls) {
        case kScalar:
            return types.Scalar(base);
        case kVector:
            return types.Vector(base, dim(d.cols));
        case kMatrix:
            return types.Matrix(base, dim(d.rows), dim(d.cols));
        default:
            return types.Object(base);
    }
}

bool TryBind(TypeTable& types, const IntrinsicSignature& sig, const std::vector<IntrinsicArgument>& args,
             std::vector<const Type*>* paramTypes, const Type** resultType) {
    Binding b;
    for (size_t i = 0; i < args.size(); ++i) {
        const IntrinsicArg& d = sig.args[i + 1];
        const Type* t = args[i].type;
        if (!t || !t->IsBase()) return false;
        if (!InList(d.classes, kEndClasses, t->cls)) return false;
        if ((d.direction & kArgOut) && (!args[i].assignable || t->IsConst())) return false;
        int& gc = b.groupClass[d.shapeGroup % kGroups];
        if (t->cls != kScalar) {
            if (gc >= 0 && gc != kScalar && gc != t->cls) return false;
            gc = t->cls;
        } else if (gc < 0) {
            gc = kScalar;
        }
        bool broadcast = t->cls == kScalar && AllowsNonScalar(d);
        if (!BindDim(b, d.rows, t->rows, broadcast) || !BindDim(b, d.cols, t->cols, broadcast)) return false;
        int cg = d.componentGroup % kGroups;
        if (b.baseFixed[cg]) {
            BaseType mixed;
            if (!ComponentType(b.base[cg], t->base, &mixed)) return false;
            b.base[cg] = mixed;
        } else {
            b.base[cg] = t->base;
            b.baseFixed[cg] = true;
        }
    }
    paramTypes->clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const IntrinsicArg& d = sig.args[i + 1];
        const Type* p = ResolveType(types, b, d);
        bool in = (d.direction & kArgIn) != 0, out = (d.direction & kArgOut) != 0;
        if (in && !CanConvert(p, args[i].type, false)) return false;
        if (out && !CanConvert(types.WithoutConst(args[i].type), p, false)) return false;
        paramTypes->push_back(p);
    }
    *resultType = sig.returnsVoid ? nullptr : ResolveType(types, b, sig.args[0]);
    return true;
}

}  // namespace

const IntrinsicSignature* IntrinsicTable(size_t* count) {
    *count = kTableSize;
    return kTable;
}

bool IsIntrinsicName(const char* name) {
    for (const IntrinsicSignature& s : kTable)
        if (std::strcmp(s.name, name) == 0) return true;
    return false;
}

const IntrinsicSignature* MatchIntrinsic(TypeTable& types, const char* name,
                                         const std::vector<IntrinsicArgument>& args,
                                         std::vector<const Type*>* paramTypes, const Type** resultType,
                                         bool* nameKnown, bool* countKnown) {
    *nameKnown = false;
    *countKnown = false;
    for (const IntrinsicSignature& s : kTable) {
        if (std::strcmp(s.name, name) != 0) continue;
        *nameKnown = true;
        if (s.paramCount != args.size()) continue;
        *countKnown = true;
        if (args.size() <= 4 && TryBind(types, s, args, paramTypes, resultType)) return &s;
    }
    return nullptr;
}

}  // namespace hlsl
