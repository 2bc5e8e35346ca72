// Loops whose body reads constants at aL + n: "loop aL, i#" in place of
// "rep", with i# defined as (count, 0, step, 0) so aL starts at 0 and moves
// by the step the reads were lowered for. A loop of known count runs its
// count; one that runs to a bound runs as often as the model allows (255)
// and the round that reaches the bound breaks out at its top.
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
        // A uniform's integer register cannot give aL a step: only loops of
        // known count (defined registers, which have no name) and loops to a
        // computed bound take one.
        const int32_t count = instructions[begin].inputs[0];
        if (ClassOf(count) == ArgClass::Integer && args[count].name) step = 0;
        loopSteps_[begin] = loopSteps_[end] = step;
    }
}

HRESULT CodeGenerator::DefineLoopRegister(int32_t count, int32_t step, int32_t* reg) {
    *reg = FreeIntegerRegister();
    if (*reg < 0) {
        Report(nullptr, codegen_diag::kConstantIndexExceeded);
        return E_FAIL;
    }
    return DefineInteger(*reg, {count, 0, step, 0});
}

int32_t CodeGenerator::LoopRounds(size_t begin) const {
    const int32_t count = instructions[begin].inputs[0];
    return ClassOf(count) == ArgClass::Integer ? int32_t(args[count].literal) : 255;
}

HRESULT CodeGenerator::DefineLoopStepRegisters() {
    stepRegisters_.clear();
    for (size_t i = 0; i < loopSteps_.size(); ++i) {
        const int32_t step = loopSteps_[i];
        if (!step || instructions[i].code() != kOpLoopBegin) continue;
        const int32_t count = LoopRounds(i);
        bool defined = false;
        for (const StepRegister& d : stepRegisters_) defined |= d.count == count && d.step == step;
        if (defined) continue;
        int32_t reg = -1;
        HRESULT hr = DefineLoopRegister(count, step, &reg);
        if (FAILED(hr)) return hr;
        stepRegisters_.push_back({count, step, reg});
    }
    return S_OK;
}

bool CodeGenerator::OpenCounterLoop(size_t index, MInst* boundary) const {
    const int32_t step = LoopStep(index);
    if (!step) return false;
    const int32_t count = LoopRounds(index);
    for (const StepRegister& d : stepRegisters_) {
        if (d.count != count || d.step != step) continue;
        boundary->opcode = OP_LOOP;
        MOperand counter;
        counter.type = REG_LOOP;
        counter.number = 0;
        MOperand rounds;
        rounds.type = REG_CONSTINT;
        rounds.number = uint32_t(d.reg);
        boundary->src = {counter, rounds};
        return true;
    }
    return false;
}

}  // namespace codegen
