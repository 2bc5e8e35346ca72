// Constant arrays indexed by the counter of a real loop in a vertex shader,
// read through the loop register: "loop aL, i#" steps aL by a fixed number
// of registers per round, so weights[i], lights[i].color or bones[2 * i + 1]
// become c[aL + n] with no address register load and no multiply in the
// round. A loop of known count defines its own i# (count, 0, step, 0). A
// loop to a uniform count cannot (the uniform's integer register gives aL
// no step), so it runs to its bound with break_c instead (vs_2_x, vs_3_0),
// and only where that saves work in every round: a step wider than one
// register, whose a0 load needs a multiply first (the break_c costs one slot
// more than the two it saves). Only the innermost real loop's aL is
// reachable; other indices keep the address register. The 3.0 pixel model
// addresses no constants through aL, and pixel shaders keep refusing
// run-time indices.
#include <cmath>

#include "shader/frontend/lowering/lowerer.h"

namespace hlsl::lowering {

namespace {

// The instruction that writes `arg`, searched back to `first`, and the
// component of its outputs that is `arg`.
int FindProducer(const IntermediateProgram& p, int32_t arg, size_t first, size_t* component) {
    for (size_t i = p.instructions.size(); i-- > first;) {
        const std::vector<int32_t>& outputs = p.instructions[i].outputs;
        for (size_t c = 0; c < outputs.size(); ++c)
            if (outputs[c] == arg) {
                *component = c;
                return int(i);
            }
    }
    return -1;
}

bool Whole(double v) { return std::isfinite(v) && v == std::floor(v) && std::fabs(v) <= 4096; }

}  // namespace

bool Lowerer::CounterMultiple(int32_t arg, const CounterLoop& loop, int depth, int64_t* scale, int64_t* offset) const {
    if (arg == loop.counter) {
        *scale = 1;
        *offset = 0;
        return true;
    }
    double v;
    if (LiteralOf(arg, &v)) {
        if (!Whole(v)) return false;
        *scale = 0;
        *offset = int64_t(v);
        return true;
    }
    if (depth >= 8) return false;
    size_t c = 0;
    const int at = FindProducer(p, arg, loop.begin + 1, &c);
    if (at < 0) return false;
    const IrInstruction& inst = p.instructions[size_t(at)];
    const uint32_t n = inst.count();
    if (inst.code() != kOpAdd && inst.code() != kOpMul && inst.code() != kOpMove) return false;
    if (inst.code() == kOpMove) return CounterMultiple(inst.inputs[c], loop, depth + 1, scale, offset);
    int64_t s[2], o[2];
    for (size_t k = 0; k < 2; ++k)
        if (!CounterMultiple(inst.inputs[k * n + c], loop, depth + 1, &s[k], &o[k])) return false;
    if (inst.code() == kOpAdd) {
        *scale = s[0] + s[1];
        *offset = o[0] + o[1];
        return true;
    }
    // A product keeps the form when one side is a number.
    if (s[0] != 0 && s[1] != 0) return false;
    const int64_t factor = s[0] == 0 ? o[0] : o[1];
    const size_t other = s[0] == 0 ? 1 : 0;
    *scale = s[other] * factor;
    *offset = o[other] * factor;
    return std::llabs(*scale) <= 4096 && std::llabs(*offset) <= 4096;
}

bool Lowerer::CounterElement(int32_t index, int32_t stride, size_t count, int32_t* loopRegister, uint32_t* element) {
    if (!counterAddressing || counterLoops.empty() || stride <= 0) return false;
    CounterLoop& loop = counterLoops.back();
    int64_t scale = 0, offset = 0;
    if (!CounterMultiple(index, loop, 0, &scale, &offset)) return false;
    // In round k the index is first + perRound * k; aL starts at 0 and
    // steps by -128 to 127 registers.
    const double first = loop.start * double(scale) + double(offset), perRound = loop.delta * double(scale);
    if (scale == 0 || first != std::floor(first) || perRound != std::floor(perRound) || first < 0 ||
        first >= double(count) || std::fabs(perRound * stride) > 127 || perRound == 0)
        return false;
    const int64_t step = int64_t(perRound) * stride;
    offset = int64_t(first);
    if ((loop.step != 0 && loop.step != step) || (loop.requiredStep != 0 && loop.requiredStep != step)) return false;
    // In a vertex loop to a uniform count, a0 loaded from the counter costs
    // as much as the bound's break_c; a wider step saves the multiply.
    if (!loop.anyStep && loop.loopRegister < 0 && step == 1) return false;
    // Lowering that was dropped again (the arms of an "if" tried as a
    // branch) may have taken the loop register with it.
    const int32_t made = loop.loopRegister;
    if (made >= 0 && (size_t(made) >= p.args.size() || p.args[made].pool >= p.pools.size() ||
                      p.pools[p.args[made].pool].name != kLoopRegisterPool || p.args[made].reg != loop.serial))
        loop.loopRegister = -1;
    if (loop.loopRegister < 0) {
        int pool = -1;
        for (size_t k = 0; k < p.pools.size() && pool < 0; ++k)
            if (p.pools[k].name == kLoopRegisterPool) pool = int(k);
        if (pool < 0) pool = p.AddPool(kLoopRegisterPool, kLoopRegisterPoolFlags, -1, 1);
        if (pool < 0) throw std::bad_alloc();
        loop.serial = loopRegisterSerial++;
        const int arg = p.AddArgument(uint32_t(pool), loop.serial, 0, double(step));
        if (arg < 0) throw std::bad_alloc();
        p.args[arg].flags = kValueInteger | kValueNonNegative | kValuePrecisionFull;
        loop.loopRegister = arg;
        loop.step = int32_t(step);
    }
    *loopRegister = loop.loopRegister;
    *element = uint32_t(offset);
    return true;
}

}  // namespace hlsl::lowering
