// Packs the virtual registers of one pool into the physical registers the
// target has. Instructions are walked in order; each virtual register is
// placed when it is first written, into the physical register whose other
// values die closest to its own end of life (so partly used registers fill up
// and temporaries are short-lived), taking components from x upwards for
// pieces of two or more and from w downwards for single components.
// Needs: components assigned, instructions in final order. Keeps: instructions.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <numeric>

#include "shader/backend/backend_messages.h"
#include "shader/backend/ir_passes.h"

namespace {

constexpr int64_t kFreeSlotCost = 0x10000;
constexpr int64_t kSkippedComponentCost = 0x1000000;
constexpr int64_t kSharedSampleCost = 0x4000000;

struct VirtualRegister {
    std::vector<int32_t> args;
    int32_t width = 0;      // components used
    int32_t end = -1;       // last reader, at least the first writer + 1
    int32_t physical = -1;
    int32_t map[4] = {-1, -1, -1, -1};  // virtual component -> physical component
};

struct Placement {
    int32_t failedAt = -1;  // the instruction whose output found no register
    int peak = 0;           // most physical registers live around one instruction
};

// The most virtual registers of `pool` live at one instruction, from the first
// write of any of their components to the end of their life as the placement
// counts it. Each takes at most one physical register, so a pool whose bound
// is within the registers fits without trying. Needs the use analysis.
int LiveVirtualRegisters(const IntermediateProgram& p, uint32_t pool) {
    const size_t n = p.instructions.size();
    int32_t count = 0;
    for (const IrArgument& a : p.args)
        if (a.pool == pool) count = std::max(count, a.reg + 1);
    std::vector<int32_t> start(size_t(count), -1), end(size_t(count), -1);
    for (const IrArgument& a : p.args) {
        if (a.pool != pool || a.reg < 0 || a.firstWriter < 0) continue;
        int32_t& s = start[a.reg];
        s = s < 0 ? a.firstWriter : std::min(s, a.firstWriter);
        end[a.reg] = std::max({end[a.reg], a.lastReader, a.firstWriter + 1});
    }
    std::vector<int> change(n + 2, 0);
    for (int32_t r = 0; r < count; ++r) {
        if (start[r] < 0) continue;
        ++change[size_t(start[r])];
        --change[std::min(size_t(end[r]) + 1, n + 1)];
    }
    int live = 0, most = 0;
    for (int c : change) most = std::max(most, live += c);
    return most;
}

// Places the virtual registers of `pool` in the current instruction order.
// With `apply` the arguments get their physical registers and the
// instructions their live counts; without, nothing changes. Needs the use
// analysis.
Placement PlaceRegisters(IntermediateProgram& p, uint32_t pool, int registers, bool apply) {
    Placement result;
    if (registers <= 0) registers = 1;
    const bool spareOutside = pool < p.physicalRegisters.size() && registers < p.physicalRegisters[pool];
    std::map<int32_t, VirtualRegister> virtuals;
    for (size_t i = 0; i < p.args.size(); ++i) {
        const IrArgument& a = p.args[i];
        if (a.pool != pool || a.reg < 0) continue;
        VirtualRegister& v = virtuals[a.reg];
        v.args.push_back(int32_t(i));
        v.width = std::max(v.width, std::clamp(a.component, 0, 3) + 1);
        const int32_t firstWriter = a.firstWriter >= 0 ? a.firstWriter : 0;
        v.end = std::max({v.end, a.lastReader, firstWriter + 1});
    }

    // Visiting order of the physical registers: k * 7 mod R, then any that
    // sequence missed (when R is a multiple of 7).
    std::vector<int32_t> order;
    std::vector<bool> listed(size_t(registers), false);
    for (int k = 0; k < registers; ++k) {
        const int32_t r = int32_t((int64_t(k) * 7) % registers);
        if (!listed[r]) {
            listed[r] = true;
            order.push_back(r);
        }
    }
    for (int32_t r = 0; r < registers; ++r)
        if (!listed[r]) order.push_back(r);

    std::vector<std::array<int32_t, 4>> busy(size_t(registers), {-1, -1, -1, -1});
    auto moveToEnd = [&](int32_t r) {
        order.erase(std::find(order.begin(), order.end(), r));
        order.push_back(r);
    };
    auto moveToFront = [&](int32_t r) {
        order.erase(std::find(order.begin(), order.end(), r));
        order.insert(order.begin(), r);
    };
    auto liveCount = [&](int32_t at) {
        int live = 0;
        for (const auto& slots : busy)
            live += std::any_of(slots.begin(), slots.end(), [&](int32_t u) { return u >= at; });
        return live;
    };

    for (size_t i = 0; i < p.instructions.size(); ++i) {
        IrInstruction& inst = p.instructions[i];
        const int32_t at = int32_t(i);
        const int liveBefore = liveCount(at);
        result.peak = std::max(result.peak, liveBefore);
        if (apply) inst.liveBefore = liveBefore;
        // A copy tends to land where its source was.
        if (inst.code() == kOpMove && !inst.inputs.empty()) {
            const IrArgument& in = p.args[inst.inputs[0]];
            if (in.pool == pool && in.reg >= 0 && virtuals.count(in.reg) && virtuals[in.reg].physical >= 0)
                moveToFront(virtuals[in.reg].physical);
        }
        for (int32_t out : inst.outputs) {
            if (out < 0 || p.args[out].pool != pool || p.args[out].reg < 0) continue;
            VirtualRegister& v = virtuals[p.args[out].reg];
            if (v.physical >= 0) {
                moveToEnd(v.physical);
                continue;
            }
            const bool wholeWrite = p.limits.pixelShader && IsSampleOp(inst.code());
            int32_t best = -1;
            int64_t bestCost = 0;
            int32_t bestMap[4] = {-1, -1, -1, -1};
            for (int32_t r : order) {
                const auto& slots = busy[r];
                auto isFree = [&](int c) { return slots[c] < at; };
                int32_t chosen[4] = {-1, -1, -1, -1};
                int taken = 0, skipped = 0;
                if (v.width >= 2) {
                    for (int c = 0; c < 4 && taken < v.width; ++c) {
                        if (isFree(c)) chosen[taken++] = c;
                        else ++skipped;
                    }
                } else {
                    for (int c = 3; c >= 0 && taken < 1; --c) {
                        if (isFree(c)) chosen[taken++] = c;
                        else ++skipped;
                    }
                }
                if (taken < v.width) continue;
                int64_t cost = skipped * kSkippedComponentCost;
                for (int c = 0; c < 4; ++c) {
                    const bool mine = std::find(chosen, chosen + v.width, c) != chosen + v.width;
                    if (mine) continue;
                    cost += isFree(c) ? kFreeSlotCost : std::llabs(int64_t(slots[c]) - v.end);
                    // A pixel shader sample writes its whole register; where
                    // another value lives on in it, the result has to go
                    // through a scratch register and a move.
                    if (wholeWrite && !isFree(c)) cost += kSharedSampleCost;
                }
                if (best < 0 || cost < bestCost) {
                    best = r;
                    bestCost = cost;
                    std::copy(chosen, chosen + 4, bestMap);
                    if (cost == 0) break;
                }
            }
            // The code generator then needs a register free at the sample,
            // from the ones left unpacked or from these.
            if (best >= 0 && wholeWrite && !spareOutside) {
                bool shared = false;
                for (int c = 0; c < 4; ++c) {
                    const bool mine = std::find(bestMap, bestMap + v.width, c) != bestMap + v.width;
                    shared |= !mine && busy[best][c] > at;
                }
                bool spare = !shared;
                for (int32_t r = 0; r < registers && !spare; ++r)
                    spare = r != best && std::all_of(busy[r].begin(), busy[r].end(), [&](int32_t u) { return u < at; });
                if (!spare) best = -1;
            }
            if (best < 0) {
                result.failedAt = at;
                return result;
            }
            v.physical = best;
            std::copy(bestMap, bestMap + 4, v.map);
            for (int c = 0; c < v.width; ++c) busy[best][v.map[c]] = v.end;
            moveToEnd(best);
        }
        const int liveAfter = liveCount(at + 1);
        result.peak = std::max(result.peak, liveAfter);
        if (apply) inst.liveAfter = liveAfter;
    }
    if (!apply) return result;
    for (auto& [id, v] : virtuals) {
        if (v.physical < 0) continue;
        for (int32_t arg : v.args) {
            IrArgument& a = p.args[arg];
            a.reg = v.physical;
            a.component = v.map[std::clamp(a.component, 0, 3)];
        }
    }
    return result;
}

// The number of physical registers to pack `pool` into, at most `registers`,
// or 0 when the values do not fit. The code generators expand some
// instructions with a scratch temporary taken from the registers free there:
// when the packing would fill every temporary at some instruction but the
// values fit in one less, that one is kept free throughout. The placement is
// a heuristic, and a tighter count can also succeed where the full one
// fragments.
int RegistersToUse(IntermediateProgram& p, uint32_t pool, int registers) {
    if (registers <= 0) registers = 1;
    p.ComputeUses();
    if (pool != kPoolTemps || LiveVirtualRegisters(p, pool) < registers) return registers;
    const Placement full = PlaceRegisters(p, pool, registers, false);
    if (full.failedAt < 0 && (full.peak < registers || registers == 1)) return registers;
    if (registers > 1 && PlaceRegisters(p, pool, registers - 1, false).failedAt < 0) return registers - 1;
    if (full.failedAt < 0) return registers;
    if (registers > 2 && PlaceRegisters(p, pool, registers - 2, false).failedAt < 0) return registers - 2;
    return 0;
}

}  // namespace

HRESULT PackRegisters(IntermediateProgram& p, uint32_t pool, int registers) {
    const int count = RegistersToUse(p, pool, registers);
    const Placement placed = PlaceRegisters(p, pool, count > 0 ? count : std::max(registers, 1), true);
    if (placed.failedAt < 0) return S_OK;
    const SourceLocation location = p.instructions[size_t(placed.failedAt)].location;
    p.Report(&location, backend_diag::kExpressionTooComplex);
    return E_FAIL;
}

bool RegistersFit(IntermediateProgram& p, uint32_t pool, int registers) {
    return RegistersToUse(p, pool, registers) > 0;
}
