// The instruction graph and the depth-first order: values are produced close
// to their use so temporaries live short, and in pixel shaders texture
// samples get higher levels, so they are issued early.
#include <algorithm>
#include <map>
#include <utility>

#include "shader/backend/instruction_orders.h"

InstructionGraph::InstructionGraph(const IntermediateProgram& p) {
    const size_t n = p.instructions.size();
    std::vector<int32_t> writer(p.args.size(), -1);
    // A temporary read through a source modifier is a copy of the argument
    // that was written: it depends on the last writer of its register
    // component before the reader.
    std::map<std::pair<int32_t, int32_t>, std::vector<int32_t>> componentWriters;
    for (size_t i = 0; i < n; ++i)
        for (int32_t out : p.instructions[i].outputs) {
            if (out < 0) continue;
            if (writer[out] < 0) writer[out] = int32_t(i);
            const IrArgument& a = p.args[out];
            if (a.pool == kPoolTemps && a.reg >= 0) componentWriters[{a.reg, a.component}].push_back(int32_t(i));
        }
    auto writerOf = [&](size_t reader, int32_t arg) {
        const IrArgument& a = p.args[arg];
        if (writer[arg] >= 0 || a.pool != kPoolTemps || a.reg < 0 || !(a.flags & kValueSourceModifierMask))
            return writer[arg];
        const auto found = componentWriters.find({a.reg, a.component});
        if (found == componentWriters.end()) return -1;
        const std::vector<int32_t>& at = found->second;
        const auto after = std::lower_bound(at.begin(), at.end(), int32_t(reader));
        return after == at.begin() ? -1 : *(after - 1);
    };
    producers.resize(n);
    consumers.resize(n);
    auto depend = [&](size_t i, int32_t arg) {
        for (size_t depth = 0; arg >= 0 && depth <= p.args.size(); ++depth, arg = p.args[arg].relative) {
            // Every writer of the argument's register component counts (a
            // gathered register may be written by several moves).
            const int32_t w = writerOf(i, arg);
            if (w >= 0 && size_t(w) != i) producers[i].push_back(size_t(w));
        }
    };
    // A loop's begin and end are barriers: they follow everything before
    // them and precede everything after them, so every order keeps each
    // instruction on its side of them.
    int64_t barrier = -1;
    for (size_t i = 0; i < n; ++i) {
        for (int32_t in : p.instructions[i].inputs) depend(i, in);
        for (int32_t out : p.instructions[i].outputs)
            if (out >= 0) depend(i, p.args[out].relative);
        auto& list = producers[i];
        if (barrier >= 0) list.push_back(size_t(barrier));
        if (IsFlowOp(p.instructions[i].code())) {
            for (size_t k = size_t(barrier + 1); k < i; ++k) list.push_back(k);
            barrier = int64_t(i);
        }
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        for (size_t w : list) consumers[w].push_back(i);
    }
    level.assign(n, 0);
    if (!p.limits.pixelShader) return;
    // From the last instruction to the first: a sample raises its own level
    // by 1 and passes its previous level + 2 to its producers; any other
    // instruction passes its own level. A producer keeps the highest.
    for (size_t i = n; i-- > 0;) {
        int passed = level[i];
        if (IsSampleOp(p.instructions[i].code())) {
            passed = level[i] + 2;
            level[i] += 1;
        }
        for (size_t w : producers[i]) level[w] = std::max(level[w], passed);
    }
}

namespace {

class DepthFirst {
public:
    DepthFirst(const InstructionGraph& g, const std::vector<int>* priority, bool eager)
        : g_(g), priority_(priority), eager_(eager), emitted_(g.size(), false) {
        order_.reserve(g.size());
    }

    std::vector<size_t> Run() {
        for (size_t i = 0; i < g_.size(); ++i)
            if (g_.consumers[i].empty()) Visit(i);
        for (size_t i = 0; i < g_.size(); ++i) Visit(i);
        return std::move(order_);
    }

private:
    void Visit(size_t root) {
        // Explicit stack: (instruction, producers already pushed).
        std::vector<std::pair<size_t, bool>> stack{{root, false}};
        while (!stack.empty()) {
            auto [i, expanded] = stack.back();
            if (emitted_[i]) {
                stack.pop_back();
                continue;
            }
            if (!expanded) {
                stack.back().second = true;
                std::vector<size_t> pending;
                for (size_t w : g_.producers[i])
                    if (!emitted_[w]) pending.push_back(w);
                // Highest priority first, then creation order: pushed in reverse.
                std::sort(pending.begin(), pending.end(), [&](size_t a, size_t b) {
                    if (priority_ && (*priority_)[a] != (*priority_)[b]) return (*priority_)[a] > (*priority_)[b];
                    return a < b;
                });
                for (size_t k = pending.size(); k-- > 0;) stack.push_back({pending[k], false});
                continue;
            }
            stack.pop_back();
            Emit(i);
        }
    }

    bool Ready(size_t i) const {
        for (size_t w : g_.producers[i])
            if (!emitted_[w]) return false;
        return true;
    }

    void Emit(size_t i) {
        std::vector<size_t> queue{i};
        while (!queue.empty()) {
            const size_t k = queue.back();
            queue.pop_back();
            if (emitted_[k] || !Ready(k)) continue;
            emitted_[k] = true;
            order_.push_back(k);
            if (!eager_) break;
            for (size_t c = g_.consumers[k].size(); c-- > 0;) {
                const size_t consumer = g_.consumers[k][c];
                if (!emitted_[consumer] && Ready(consumer)) queue.push_back(consumer);
            }
        }
    }

    const InstructionGraph& g_;
    const std::vector<int>* priority_;
    bool eager_;  // consumers go out as soon as their producers are
    std::vector<bool> emitted_;
    std::vector<size_t> order_;
};

}  // namespace

std::vector<size_t> DepthFirstOrder(const InstructionGraph& graph, bool levels) {
    return DepthFirst(graph, levels ? &graph.level : nullptr, true).Run();
}

std::vector<size_t> DepthFirstOrder(const InstructionGraph& graph, const std::vector<int>& priority) {
    return DepthFirst(graph, &priority, false).Run();
}
