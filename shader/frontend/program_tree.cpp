#include "shader/frontend/program_tree.h"

#include <cmath>
#include <cstring>

namespace hlsl {

const Type* MemberType(const VarDecl* member) { return member ? member->type : nullptr; }

double ConstValue::AsDouble() const {
    switch (cls) {
        case kBoolValue:
            return bits ? 1.0 : 0.0;
        case kIntValue:
            return double(int32_t(bits));
        case kUintValue:
            return double(bits);
        case kFloatValue:
            return number;
        default:
            return 0.0;
    }
}

ConstValue ConstValue::Bool(bool b) {
    ConstValue v;
    v.cls = kBoolValue;
    v.bits = b ? 1 : 0;
    return v;
}
ConstValue ConstValue::Int(int32_t i) {
    ConstValue v;
    v.cls = kIntValue;
    v.bits = uint32_t(i);
    return v;
}
ConstValue ConstValue::Uint(uint32_t u) {
    ConstValue v;
    v.cls = kUintValue;
    v.bits = u;
    return v;
}
ConstValue ConstValue::Float(double d) {
    ConstValue v;
    v.cls = kFloatValue;
    v.number = d;
    return v;
}

ConstValue::Class ValueClassOf(BaseType base) {
    if (base == kBool) return ConstValue::kBoolValue;
    if (base >= kIntLiteral && base <= kInt) return ConstValue::kIntValue;
    if (base >= kUintLiteral && base <= kUint) return ConstValue::kUintValue;
    if (base >= kFloatLiteral && base <= kDouble) return ConstValue::kFloatValue;
    if (base == kString) return ConstValue::kStringValue;
    return ConstValue::kObjectValue;
}

namespace {
// Rounds toward zero after a nudge of 1e-6 away from zero, so 2.9999995
// counts as 3. Out-of-range values saturate instead of being undefined.
int64_t RoundToInteger(double d) {
    if (std::isnan(d)) return 0;
    d = d >= 0 ? d + 1e-6 : d - 1e-6;
    if (d >= 9.2e18) return INT64_MAX;
    if (d <= -9.2e18) return INT64_MIN;
    return int64_t(d);
}
}  // namespace

ConstValue ConvertValue(const ConstValue& v, BaseType base) {
    ConstValue::Class to = ValueClassOf(base);
    if (to == v.cls || to == ConstValue::kObjectValue || to == ConstValue::kStringValue) return v;
    double d = v.AsDouble();
    switch (to) {
        case ConstValue::kBoolValue:
            return ConstValue::Bool(d != 0.0);
        case ConstValue::kIntValue:
            if (v.cls == ConstValue::kUintValue) return ConstValue::Int(int32_t(v.bits));
            return ConstValue::Int(int32_t(uint32_t(uint64_t(RoundToInteger(d)))));
        case ConstValue::kUintValue:
            if (v.cls == ConstValue::kIntValue) return ConstValue::Uint(v.bits);
            return ConstValue::Uint(uint32_t(uint64_t(RoundToInteger(d))));
        default:
            return ConstValue::Float(d);
    }
}

const char* OpSpelling(Op op) {
    static const char* const kSpelling[] = {
        "-", "+", "!", "++", "--", "++", "--", "*", "/", "%", "+", "-", "<", ">", "<=", ">=", "==", "!=",
        "&&", "||", "=", "*=", "/=", "%=", "+=", "-=", ",", "|",
    };
    return kSpelling[size_t(op)];
}

const char* ProgramTree::Keep(const char* text) { return Keep(text, text ? std::strlen(text) : 0); }

const char* ProgramTree::Keep(const char* text, size_t length) {
    auto copy = std::make_unique<char[]>(length + 1);
    if (length) std::memcpy(copy.get(), text, length);
    copy[length] = 0;
    texts_.push_back(std::move(copy));
    return texts_.back().get();
}

}  // namespace hlsl
