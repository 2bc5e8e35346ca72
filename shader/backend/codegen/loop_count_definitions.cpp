// The counts of loops known when compiling: each lives in an integer
// register of its own that the program defines ("defi count, 0, 0, 0"), so
// the loop is a "rep" on it. The lowering gives such an argument no name (a
// uniform's always has one) and its count as the literal; the registers were
// placed with the uniform ones (BindRegisters), and the constant table,
// which lists named arguments only, leaves them out.
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
        HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DEFI));
        if (FAILED(hr)) return hr;
        MOperand dest;
        dest.type = REG_CONSTINT;
        dest.number = uint32_t(a.reg);
        uint32_t token = 0;
        hr = EncodeOperand(dest, true, nullptr, &token);
        if (FAILED(hr)) return hr;
        for (uint32_t word : {token, uint32_t(a.literal), 0u, 0u, 0u}) {
            hr = stream_.Append(word);
            if (FAILED(hr)) return hr;
        }
        stream_.EndInstruction();
        if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    }
    return S_OK;
}

}  // namespace codegen
