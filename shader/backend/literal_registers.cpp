// Gathers literal values into literal registers of four components (each
// becomes one "def"). Literal pools that keep their place are laid out first;
// then each instruction gets all the distinct literal values it reads in one
// register, reusing a register that already holds them where possible, so it
// reads every literal through a single swizzle.
// Needs: at most four distinct literals per instruction. Keeps: instructions.
#include <cstring>
#include <map>
#include <vector>

#include "shader/backend/ir_passes.h"

namespace {

struct LiteralRegister {
    double values[4];
    int used = 0;
};

bool Same(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

int Find(const LiteralRegister& r, double v) {
    for (int c = 0; c < r.used; ++c)
        if (Same(r.values[c], v)) return c;
    return -1;
}

}  // namespace

HRESULT GatherLiteralRegisters(IntermediateProgram& p) {
    std::vector<LiteralRegister> registers;
    // Placed copies of literal arguments, by (register, component).
    std::map<std::pair<int32_t, int32_t>, int32_t> placed;

    // Pools that keep their literals in place: one register after another.
    for (size_t i = 0; i < p.args.size(); ++i) {
        IrArgument& a = p.args[i];
        if (!(p.pools[a.pool].flags & kPoolLiteralInPlace)) continue;
        if (registers.empty() || (Find(registers.back(), a.literal) < 0 && registers.back().used == 4))
            registers.push_back({{0, 0, 0, 0}, 0});
        LiteralRegister& r = registers.back();
        int component = Find(r, a.literal);
        if (component < 0) {
            component = r.used;
            r.values[r.used++] = a.literal;
        }
        a.reg = int32_t(registers.size() - 1);
        a.component = component;
        placed[{a.reg, a.component}] = int32_t(i);
    }

    for (IrInstruction& inst : p.instructions) {
        std::vector<double> needed;
        for (int32_t in : inst.inputs) {
            if (!IsLiteralArgument(p, in) || (p.pools[p.args[in].pool].flags & kPoolLiteralInPlace)) continue;
            bool known = false;
            for (double v : needed) known |= Same(v, p.args[in].literal);
            if (!known) needed.push_back(p.args[in].literal);
        }
        if (needed.empty()) continue;
        // A register holding all the values, else the first with room for the
        // missing ones, else a new one.
        int chosen = -1;
        for (size_t r = 0; r < registers.size() && chosen < 0; ++r) {
            bool all = true;
            for (double v : needed) all &= Find(registers[r], v) >= 0;
            if (all) chosen = int(r);
        }
        for (size_t r = 0; r < registers.size() && chosen < 0; ++r) {
            int missing = 0;
            for (double v : needed) missing += Find(registers[r], v) < 0;
            if (registers[r].used + missing <= 4) chosen = int(r);
        }
        if (chosen < 0) {
            registers.push_back({{0, 0, 0, 0}, 0});
            chosen = int(registers.size() - 1);
        }
        LiteralRegister& reg = registers[chosen];
        for (double v : needed)
            if (Find(reg, v) < 0 && reg.used < 4) reg.values[reg.used++] = v;
        for (int32_t& in : inst.inputs) {
            if (!IsLiteralArgument(p, in) || (p.pools[p.args[in].pool].flags & kPoolLiteralInPlace)) continue;
            const int32_t component = Find(reg, p.args[in].literal);
            if (component < 0) return E_FAIL;  // more than four values: the operand fix-up prevents this
            auto key = std::make_pair(int32_t(chosen), component);
            auto it = placed.find(key);
            if (it == placed.end()) {
                const double value = p.args[in].literal;
                const uint32_t flags = p.args[in].flags;
                const int arg = p.AddArgument(kPoolLiterals, chosen, component, value);
                if (arg < 0) return E_OUTOFMEMORY;
                p.args[arg].flags = flags;
                it = placed.emplace(key, arg).first;
            }
            in = it->second;
        }
    }
    return S_OK;
}
