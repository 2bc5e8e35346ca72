// List schedules of the instructions that keep few temporaries live. The
// budgeted one follows a preferred order while the next instruction's results
// fit the budget; past it the ready instruction that adds the fewest live
// components (or frees the most) goes first, its place in a fallback order
// breaking ties, so one value is finished before the next is started. The
// one from the end walks backwards, each time placing the instruction that
// frees the most, which finds the order for trees whose every first step
// adds a value. Live values are counted in components of the temporary
// pool's virtual registers, from their first write to their last read, as
// the packing sees them.
#include <algorithm>
#include <limits>

#include "shader/backend/instruction_orders.h"

PressureLimitedOrders::PressureLimitedOrders(const IntermediateProgram& p, const InstructionGraph& g) : graph_(g) {
    int32_t registers = 0;
    for (const IrArgument& a : p.args)
        if (a.pool == kPoolTemps) registers = std::max(registers, a.reg + 1);
    width_.assign(size_t(registers), 0);
    for (const IrArgument& a : p.args)
        if (a.pool == kPoolTemps && a.reg >= 0) width_[a.reg] = std::max(width_[a.reg], std::clamp(a.component, 0, 3) + 1);
    uses_.resize(g.size());
    readers_.assign(width_.size(), 0);
    writers_.assign(width_.size(), 0);
    for (size_t i = 0; i < g.size(); ++i) {
        const IrInstruction& inst = p.instructions[i];
        for (int32_t in : inst.inputs) ReadChain(p, i, in);
        for (int32_t out : inst.outputs) {
            if (out < 0) continue;
            Note(i, p.args[out].reg, p.args[out].pool, false);
            ReadChain(p, i, p.args[out].relative);
        }
        for (const RegisterUse& u : uses_[i]) {
            if (u.read) ++readers_[u.reg];
            if (u.written) ++writers_[u.reg];
        }
    }
}

void PressureLimitedOrders::ReadChain(const IntermediateProgram& p, size_t i, int32_t arg) {
    for (size_t depth = 0; arg >= 0 && depth <= p.args.size(); ++depth, arg = p.args[arg].relative)
        Note(i, p.args[arg].reg, p.args[arg].pool, true);
}

void PressureLimitedOrders::Note(size_t i, int32_t reg, uint32_t pool, bool read) {
    if (pool != kPoolTemps || reg < 0) return;
    for (RegisterUse& u : uses_[i])
        if (u.reg == reg) {
            (read ? u.read : u.written) = true;
            return;
        }
    uses_[i].push_back({reg, read, !read});
}

std::vector<size_t> PressureLimitedOrders::Order(const std::vector<size_t>& preferred, const std::vector<size_t>& fallback,
                                                 int budget) const {
    const size_t n = graph_.size();
    std::vector<size_t> rank(n), second(n);
    for (size_t k = 0; k < preferred.size(); ++k) rank[preferred[k]] = k;
    for (size_t k = 0; k < fallback.size(); ++k) second[fallback[k]] = k;
    std::vector<int32_t> readersLeft = readers_;
    std::vector<bool> written(width_.size(), false);
    std::vector<size_t> producersLeft(n);
    std::vector<size_t> ready;
    for (size_t i = 0; i < n; ++i) {
        producersLeft[i] = graph_.producers[i].size();
        if (producersLeft[i] == 0) ready.push_back(i);
    }
    auto isLive = [&](int32_t r) { return written[r] && readersLeft[r] > 0; };
    // Components made live at the instruction, and the change of the
    // live count once it is done.
    auto effect = [&](size_t i, int* added, int* net) {
        *added = *net = 0;
        for (const RegisterUse& u : uses_[i]) {
            const bool before = isLive(u.reg);
            const bool after = (written[u.reg] || u.written) && readersLeft[u.reg] - (u.read ? 1 : 0) > 0;
            if (u.written && !before) *added += width_[u.reg];
            *net += (int(after) - int(before)) * width_[u.reg];
        }
    };
    int live = 0;
    std::vector<size_t> order;
    order.reserve(n);
    std::vector<bool> placed(n, false);
    size_t firstUnplaced = 0;
    while (order.size() < n) {
        if (ready.empty()) {
            // Only a cycle of the graph (an argument read before its
            // first writer) gets here: its first instruction goes next.
            while (placed[firstUnplaced]) ++firstUnplaced;
            ready.push_back(firstUnplaced);
        }
        size_t pick = 0;
        for (size_t k = 1; k < ready.size(); ++k)
            if (rank[ready[k]] < rank[ready[pick]]) pick = k;
        int added = 0, net = 0;
        effect(ready[pick], &added, &net);
        bool freeing = false;
        for (size_t k = 0; k < ready.size() && budget == kFreeingFirst && !freeing; ++k) {
            int a = 0, d = 0;
            effect(ready[k], &a, &d);
            freeing = d <= 0;
        }
        if (budget == kFreeingFirst ? freeing : live + added > budget) {
            int bestNet = std::numeric_limits<int>::max();
            for (size_t k = 0; k < ready.size(); ++k) {
                int a = 0, d = 0;
                effect(ready[k], &a, &d);
                if (d < bestNet || (d == bestNet && second[ready[k]] < second[ready[pick]])) {
                    bestNet = d;
                    pick = k;
                }
            }
            net = bestNet;
        }
        const size_t i = ready[pick];
        ready[pick] = ready.back();
        ready.pop_back();
        live += net;
        for (const RegisterUse& u : uses_[i]) {
            if (u.read) --readersLeft[u.reg];
            if (u.written) written[u.reg] = true;
        }
        order.push_back(i);
        placed[i] = true;
        for (size_t c : graph_.consumers[i])
            if (--producersLeft[c] == 0 && !placed[c]) ready.push_back(c);
    }
    return order;
}

std::vector<size_t> PressureLimitedOrders::FromEnd(const std::vector<size_t>& reference) const {
    const size_t n = graph_.size();
    std::vector<size_t> rank(n);
    for (size_t k = 0; k < reference.size(); ++k) rank[reference[k]] = k;
    // Walking backwards a register turns live at its last reader and dies
    // once all its writers are placed.
    std::vector<int32_t> writersLeft = writers_;
    std::vector<bool> read(width_.size(), false);
    auto isLive = [&](int32_t r) { return read[r] && writersLeft[r] > 0; };
    auto net = [&](size_t i) {
        int d = 0;
        for (const RegisterUse& u : uses_[i]) {
            const bool before = isLive(u.reg);
            const bool after = (read[u.reg] || u.read) && writersLeft[u.reg] - (u.written ? 1 : 0) > 0;
            d += (int(after) - int(before)) * width_[u.reg];
        }
        return d;
    };
    std::vector<size_t> consumersLeft(n);
    std::vector<size_t> ready;
    for (size_t i = 0; i < n; ++i) {
        consumersLeft[i] = graph_.consumers[i].size();
        if (consumersLeft[i] == 0) ready.push_back(i);
    }
    std::vector<bool> placed(n, false);
    std::vector<size_t> order;
    order.reserve(n);
    size_t lastUnplaced = n;
    while (order.size() < n) {
        if (ready.empty()) {
            // Only a cycle of the graph gets here: its last instruction goes.
            while (placed[lastUnplaced - 1]) --lastUnplaced;
            ready.push_back(lastUnplaced - 1);
        }
        size_t pick = 0;
        int best = net(ready[0]);
        for (size_t k = 1; k < ready.size(); ++k) {
            const int d = net(ready[k]);
            if (d < best || (d == best && rank[ready[k]] > rank[ready[pick]])) {
                best = d;
                pick = k;
            }
        }
        const size_t i = ready[pick];
        ready[pick] = ready.back();
        ready.pop_back();
        for (const RegisterUse& u : uses_[i]) {
            if (u.written) --writersLeft[u.reg];
            if (u.read) read[u.reg] = true;
        }
        order.push_back(i);
        placed[i] = true;
        for (size_t w : graph_.producers[i])
            if (--consumersLeft[w] == 0 && !placed[w]) ready.push_back(w);
    }
    std::reverse(order.begin(), order.end());
    return order;
}

std::vector<int> PressureLimitedOrders::OperandNeeds() const {
    const size_t n = graph_.size();
    std::vector<int> need(n, 0), kept(n, 0);
    for (size_t i = 0; i < n; ++i) {
        for (const RegisterUse& u : uses_[i])
            if (u.written) kept[i] += width_[u.reg];
    }
    // Producers come before their readers in the graph's order, apart from
    // cycles, whose late members count as needing nothing yet.
    for (size_t i = 0; i < n; ++i) {
        std::vector<size_t> producers;
        for (size_t w : graph_.producers[i])
            if (w < i) producers.push_back(w);
        std::sort(producers.begin(), producers.end(),
                  [&](size_t a, size_t b) { return need[a] - kept[a] > need[b] - kept[b]; });
        int held = 0, most = 0;
        for (size_t w : producers) {
            most = std::max(most, held + need[w]);
            held += kept[w];
        }
        need[i] = std::max(most, held + kept[i]);
    }
    for (size_t i = 0; i < n; ++i) need[i] -= kept[i];
    return need;
}
