// Loops whose body reads constants at aL + n: "loop aL, i#" in place of
// "rep", with i# defined as (255, 0, step, 0) so aL starts at 0 and moves by
// the step the reads were lowered for; the round that reaches the bound
// breaks out at its top, as for the other loops that run to a bound.
#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/codegen/codegen_messages.h"

namespace codegen {

using namespace gfx::isa;

void CodeGenerator::FindLoopSteps() {
    loopSteps_.assign(instructions.size(), 0);
    for (const auto& [begin, end] : Loops()) {
        // The reads of this loop's own rounds: not those of the loops nested
        // in it, whose begin copies still run in this loop's round.
        int32_t step = 0;
        int depth = 0;
        auto look = [&](int32_t arg) {
            for (size_t d = 0; arg >= 0 && d < 4; ++d, arg = args[arg].relative)
                if (ClassOf(arg) == ArgClass::LoopRegister) step = int32_t(args[arg].literal);
        };
        for (size_t i = begin + 1; i <= end && !step; ++i) {
            const IrInstruction& inst = instructions[i];
            if (inst.code() == kOpLoopEnd && i != end) {
                --depth;
                continue;
            }
            if (depth == 0) {
                for (int32_t in : inst.inputs) look(in);
                for (int32_t out : inst.outputs)
                    if (out >= 0) look(args[out].relative);
            }
            if (inst.code() == kOpLoopBegin) ++depth;
        }
        // Only a loop that runs to a computed bound takes a step of its own.
        if (ClassOf(instructions[begin].inputs[0]) == ArgClass::Integer) step = 0;
        loopSteps_[begin] = loopSteps_[end] = step;
    }
}

HRESULT CodeGenerator::DefineLoopRegister(int32_t step, int32_t* reg) {
    *reg = -1;
    std::vector<bool> taken(size_t(IntegerLimit()), false);
    for (const IrArgument& a : args)
        if (PoolClass(a.pool) == ArgClass::Integer && a.reg >= 0 && a.reg < IntegerLimit()) taken[size_t(a.reg)] = true;
    if (boundedLoopRegister_ >= 0 && boundedLoopRegister_ < IntegerLimit()) taken[size_t(boundedLoopRegister_)] = true;
    for (const auto& [s, r] : stepRegisters_) taken[size_t(r)] = true;
    for (int32_t r = 0; r < IntegerLimit() && *reg < 0; ++r)
        if (!taken[size_t(r)]) *reg = r;
    if (*reg < 0) {
        Report(nullptr, codegen_diag::kConstantIndexExceeded);
        return E_FAIL;
    }
    HRESULT hr = stream_.BeginInstruction(MakeInstruction(OP_DEFI));
    if (FAILED(hr)) return hr;
    MOperand dest;
    dest.type = REG_CONSTINT;
    dest.number = uint32_t(*reg);
    uint32_t token = 0;
    hr = EncodeOperand(dest, true, nullptr, &token);
    if (FAILED(hr)) return hr;
    for (uint32_t word : {token, 255u, 0u, uint32_t(step), 0u}) {
        hr = stream_.Append(word);
        if (FAILED(hr)) return hr;
    }
    stream_.EndInstruction();
    if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    return S_OK;
}

HRESULT CodeGenerator::DefineLoopStepRegisters() {
    stepRegisters_.clear();
    for (int32_t step : loopSteps_) {
        if (!step) continue;
        bool defined = false;
        for (const auto& [s, r] : stepRegisters_) defined |= s == step;
        if (defined) continue;
        int32_t reg = -1;
        HRESULT hr = DefineLoopRegister(step, &reg);
        if (FAILED(hr)) return hr;
        stepRegisters_.push_back({step, reg});
    }
    return S_OK;
}

bool CodeGenerator::OpenCounterLoop(size_t index, MInst* boundary) const {
    const int32_t step = LoopStep(index);
    if (!step) return false;
    for (const auto& [s, r] : stepRegisters_) {
        if (s != step) continue;
        boundary->opcode = OP_LOOP;
        MOperand counter;
        counter.type = REG_LOOP;
        counter.number = 0;
        MOperand count;
        count.type = REG_CONSTINT;
        count.number = uint32_t(r);
        boundary->src = {counter, count};
        return true;
    }
    return false;
}

}  // namespace codegen
