// The counts of loops known when compiling: each lives in an integer
// register of its own that the program defines ("defi count, 0, 0, 0"), so
// the loop is a "rep" on it. The lowering gives such an argument no name (a
// uniform's always has one) and its count as the literal; the registers were
// placed with the uniform ones (BindRegisters), and the constant table,
// which lists named arguments only, leaves them out. Every "defi" the
// generator writes for its loops (counts, bounds, aL steps) goes through
// DefineInteger here.
#include <array>
#include <vector>

#include "shader/backend/codegen/code_generator.h"

namespace codegen {

using namespace gfx::isa;

HRESULT CodeGenerator::DefineLoopCounts() {
    std::vector<bool> defined(size_t(IntegerLimit()), false);
    for (const IrArgument& a : args) {
        if (PoolClass(a.pool) != ArgClass::Integer || a.name || a.reg < 0 || a.reg >= IntegerLimit()) continue;
        if (a.lastReader < 0 || defined[size_t(a.reg)]) continue;  // the loop went away, or defined already
        defined[size_t(a.reg)] = true;
        const HRESULT hr = DefineInteger(a.reg, {int32_t(a.literal), 0, 0, 0});
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

int32_t CodeGenerator::FreeIntegerRegister() const {
    std::vector<bool> taken(size_t(IntegerLimit()), false);
    for (const IrArgument& a : args)
        if (PoolClass(a.pool) == ArgClass::Integer && a.reg >= 0 && a.reg < IntegerLimit()) taken[size_t(a.reg)] = true;
    if (boundedLoopRegister_ >= 0 && boundedLoopRegister_ < IntegerLimit()) taken[size_t(boundedLoopRegister_)] = true;
    for (const StepRegister& d : stepRegisters_) taken[size_t(d.reg)] = true;
    for (int32_t r = 0; r < IntegerLimit(); ++r)
        if (!taken[size_t(r)]) return r;
    return -1;
}

HRESULT CodeGenerator::DefineInteger(int32_t reg, const std::array<int32_t, 4>& values) {
    HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DEFI));
    if (FAILED(hr)) return hr;
    MOperand dest;
    dest.type = REG_CONSTINT;
    dest.number = uint32_t(reg);
    uint32_t token = 0;
    hr = EncodeOperand(dest, true, nullptr, &token);
    if (FAILED(hr)) return hr;
    hr = stream_.Append(token);
    for (int32_t v : values)
        if (SUCCEEDED(hr)) hr = stream_.Append(uint32_t(v));
    if (FAILED(hr)) return hr;
    stream_.EndInstruction();
    if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    return S_OK;
}

}  // namespace codegen
