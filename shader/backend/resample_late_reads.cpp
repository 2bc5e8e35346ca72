// Rematerialisation of texture samples for the reordering's last resort. A
// sample whose coordinates and sampler are never written by the program (its
// coordinates come straight from interpolated inputs, which stay readable all
// program long) gives the same result wherever it runs. When no instruction
// order fits the temporaries, such a result read both early and late is
// sampled again right before the late readers instead of being kept live
// across the whole stretch between them.
#include <algorithm>
#include <map>
#include <set>

#include "shader/backend/instruction_orders.h"

namespace {

// Readers closer than this (in the order given) to the previous reader of the
// same sample share its result; farther ones get a new sample.
constexpr size_t kNearReaders = 6;
// Texture instructions one pixel shader program may hold.
constexpr size_t kTextureInstructionLimit = 32;

struct Resample {
    size_t sample;
    std::vector<size_t> readers;
    size_t span;  // distance from the first reader of the sample to these
};

}  // namespace

bool ResampleLateReads(IntermediateProgram& p, const std::vector<size_t>& order) {
    if (!p.limits.pixelShader || ((p.version >> 8) & 0xFF) < 2) return false;
    const size_t n = p.instructions.size();
    std::vector<size_t> position(n);
    for (size_t k = 0; k < order.size(); ++k) position[order[k]] = k;
    std::set<int32_t> written;
    std::map<int32_t, size_t> producer;
    size_t samples = 0;
    for (size_t i = 0; i < n; ++i) {
        for (int32_t out : p.instructions[i].outputs) {
            if (out < 0) continue;
            written.insert(out);
            producer[out] = i;
        }
        samples += IsSampleOp(p.instructions[i].code());
    }
    auto pure = [&](const IrInstruction& inst) {
        if (!IsSampleOp(inst.code())) return false;
        for (int32_t in : inst.inputs)
            if (in < 0 || written.count(in) || p.args[in].pool == kPoolTemps) return false;
        for (int32_t out : inst.outputs)
            if (out >= 0 && p.args[out].pool != kPoolTemps && p.args[out].pool != kPoolDiscard) return false;
        return true;
    };
    // A result read through a source modifier is read as a copy of its
    // argument: the copy names the register component the sample wrote.
    std::map<std::pair<int32_t, int32_t>, int32_t> sampleResult;
    for (size_t i = 0; i < n; ++i)
        if (pure(p.instructions[i]))
            for (int32_t out : p.instructions[i].outputs)
                if (out >= 0 && p.args[out].pool == kPoolTemps) sampleResult[{p.args[out].reg, p.args[out].component}] = out;
    auto resultRead = [&](int32_t in) {
        if (in < 0 || producer.count(in) || p.args[in].pool != kPoolTemps || !(p.args[in].flags & kValueSourceModifierMask))
            return in;
        const auto it = sampleResult.find({p.args[in].reg, p.args[in].component});
        return it == sampleResult.end() ? in : it->second;
    };
    // Readers of each pure sample, in the given order, grouped by nearness.
    std::map<size_t, std::vector<size_t>> readers;
    for (size_t i = 0; i < n; ++i) {
        std::set<size_t> from;
        for (int32_t in : p.instructions[i].inputs) {
            auto it = producer.find(resultRead(in));
            if (it != producer.end() && pure(p.instructions[it->second])) from.insert(it->second);
        }
        for (size_t s : from) readers[s].push_back(i);
    }
    // Each sample is split once, at the widest gap between its readers:
    // those after it read a new sample taken right before the first of them.
    std::vector<Resample> wanted;
    for (auto& [s, list] : readers) {
        std::sort(list.begin(), list.end(), [&](size_t a, size_t b) { return position[a] < position[b]; });
        size_t split = 0, gap = 0;
        for (size_t k = 1; k < list.size(); ++k)
            if (position[list[k]] - position[list[k - 1]] > gap) {
                gap = position[list[k]] - position[list[k - 1]];
                split = k;
            }
        if (gap > kNearReaders) wanted.push_back({s, std::vector<size_t>(list.begin() + long(split), list.end()), gap});
    }
    if (samples >= kTextureInstructionLimit || wanted.empty()) return false;
    // The longest stretches save the most; the texture instruction limit caps
    // how many samples may be added.
    std::stable_sort(wanted.begin(), wanted.end(), [](const Resample& a, const Resample& b) { return a.span > b.span; });
    wanted.resize(std::min(wanted.size(), kTextureInstructionLimit - samples));

    int32_t nextRegister = 0;
    for (const IrArgument& a : p.args)
        if (a.pool == kPoolTemps) nextRegister = std::max(nextRegister, a.reg + 1);
    std::map<size_t, std::vector<IrInstruction>> before;  // copies to insert before each reader
    std::map<size_t, std::map<int32_t, int32_t>> renamed;  // per reader: old result -> copy's
    for (const Resample& r : wanted) {
        IrInstruction copy = p.instructions[r.sample];
        for (int32_t& out : copy.outputs) {
            if (out < 0 || p.args[out].pool != kPoolTemps) continue;
            const IrArgument original = p.args[out];
            const int32_t fresh = int32_t(p.args.size());
            p.args.push_back(original);
            p.args.back().reg = nextRegister;
            p.args.back().replacement = fresh;
            for (size_t reader : r.readers) renamed[reader][out] = fresh;
            out = fresh;
        }
        ++nextRegister;
        const size_t first = *std::min_element(r.readers.begin(), r.readers.end());
        before[first].push_back(std::move(copy));
    }
    std::vector<IrInstruction> result;
    result.reserve(n + wanted.size());
    for (size_t i = 0; i < n; ++i) {
        for (IrInstruction& copy : before[i]) result.push_back(std::move(copy));
        IrInstruction inst = std::move(p.instructions[i]);
        if (auto it = renamed.find(i); it != renamed.end())
            for (int32_t& in : inst.inputs) {
                const auto to = it->second.find(resultRead(in));
                if (to == it->second.end()) continue;
                if (resultRead(in) == in) {
                    in = to->second;
                    continue;
                }
                // A read through a modifier keeps its modifier on the new result.
                IrArgument copy = p.args[in];
                copy.reg = p.args[to->second].reg;
                copy.component = p.args[to->second].component;
                copy.replacement = int32_t(p.args.size());
                p.args.push_back(copy);
                in = int32_t(p.args.size() - 1);
            }
        result.push_back(std::move(inst));
    }
    p.instructions = std::move(result);
    return true;
}
