// Precision classes of the values the lowering creates, from their base
// types, so that the code generators can choose partial-precision forms:
//
//   half                                  low    (0x2000000)
//   bool                                  low    (0 and 1 are exact at any precision;
//                                                 the optimizer gives comparison
//                                                 results the same class)
//   8- and 16-bit integers                medium (0x4000000: exact beyond what
//                                                 half holds, short of a float)
//   int, unsigned, integer literals       full   (0x8000000: 32-bit values need
//                                                 the whole float mantissa)
//   float, double, float literals         full
//
// An expression's operations run at the class of its type. A boolean result
// computed from numbers (a comparison, a conversion to bool, any, isnan...)
// keeps the class of its operands for the steps before the final 0 or 1, so
// that the test itself loses nothing; intrinsics run at the highest class of
// their result and arguments.
#include "shader/frontend/lowering/lowerer.h"

namespace hlsl::lowering {
namespace {

uint32_t Highest(uint32_t a, uint32_t b) { return a > b ? a : b; }

}  // namespace

uint32_t Lowerer::PrecisionOf(BaseType base) {
    switch (base) {
        case kHalf:
        case kBool: return kValuePrecisionLow;
        case kInt8:
        case kInt16:
        case kUint8:
        case kUint16: return kValuePrecisionMedium;
        default: return kValuePrecisionFull;
    }
}

uint32_t Lowerer::PrecisionOf(const Type* t) {
    if (!t) return kValuePrecisionFull;
    if (t->IsBase()) return PrecisionOf(t->base);
    std::vector<BaseType> bases;
    FlattenComponents(t, bases, 4096);
    uint32_t cls = 0;
    for (BaseType b : bases) cls = Highest(cls, PrecisionOf(b));
    return cls ? cls : kValuePrecisionFull;
}

uint32_t Lowerer::ExpressionPrecision(const Expr* e) const {
    uint32_t cls = PrecisionOf(e->type);
    auto operands = [&](const Expr* const* list, size_t count) {
        for (size_t i = 0; i < count; ++i)
            if (list[i] && list[i]->type && IsNumeric(list[i]->type)) cls = Highest(cls, PrecisionOf(list[i]->type));
    };
    switch (e->kind) {
        case NodeKind::Call: {
            const CallExpr* c = static_cast<const CallExpr*>(e);
            if (c->intrinsic) operands(c->inputs.data(), c->inputs.size());
            break;
        }
        case NodeKind::Operator:
            if (cls == kValuePrecisionLow) operands(static_cast<const OperatorExpr*>(e)->operands, 3);
            break;
        case NodeKind::Conversion: {
            const ConversionExpr* c = static_cast<const ConversionExpr*>(e);
            if (cls == kValuePrecisionLow) operands(c->args.data(), c->args.size());
            break;
        }
        default:
            break;
    }
    return cls;
}

uint32_t Lowerer::PrecisionOfValue(const Value& v) const {
    uint32_t cls = 0;
    for (int32_t a : v) {
        if (a < 0 || size_t(a) >= p.args.size()) continue;
        // Several classes on one argument: the lowest set bit is its class.
        const uint32_t bits = p.args[a].flags & kValuePrecisionMask;
        cls = Highest(cls, bits & (~bits + 1));
    }
    return cls ? cls : kValuePrecisionFull;
}

}  // namespace hlsl::lowering
