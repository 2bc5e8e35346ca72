// Reorders the instructions so values are produced close to their use and
// temporaries live short: from every instruction whose results nobody reads,
// its producers are emitted first (deepest first, creation order breaking
// ties), and a consumer whose producers are all out follows at once. In pixel
// shaders texture samples get higher levels, so they are issued early.
// Needs: components assigned. Keeps: argument numbering.
#include <algorithm>

#include "shader/backend/ir_passes.h"

namespace {

class Reorderer {
public:
    explicit Reorderer(IntermediateProgram& p) : p_(p), n_(p.instructions.size()) {
        std::vector<int32_t> writer(p_.args.size(), -1);
        for (size_t i = 0; i < n_; ++i)
            for (int32_t out : p_.instructions[i].outputs)
                if (out >= 0 && writer[out] < 0) writer[out] = int32_t(i);
        producers_.resize(n_);
        consumers_.resize(n_);
        auto depend = [&](size_t i, int32_t arg) {
            for (; arg >= 0; arg = p_.args[arg].relative) {
                // Every writer of the argument's register component counts (a
                // gathered register may be written by several moves).
                const int32_t w = writer[arg];
                if (w >= 0 && size_t(w) != i) producers_[i].push_back(size_t(w));
            }
        };
        for (size_t i = 0; i < n_; ++i) {
            for (int32_t in : p_.instructions[i].inputs) depend(i, in);
            for (int32_t out : p_.instructions[i].outputs)
                if (out >= 0) depend(i, p_.args[out].relative);
            auto& list = producers_[i];
            std::sort(list.begin(), list.end());
            list.erase(std::unique(list.begin(), list.end()), list.end());
            for (size_t w : list) consumers_[w].push_back(i);
        }
        level_.assign(n_, 0);
        if (p_.limits.pixelShader) {
            for (size_t i = n_; i-- > 0;) {
                int passed = level_[i];
                if (IsSampleOp(p_.instructions[i].code())) {
                    passed = level_[i] + 2;
                    level_[i] += 1;
                }
                for (size_t w : producers_[i]) level_[w] = std::max(level_[w], passed);
            }
        }
    }

    void Run() {
        emitted_.assign(n_, false);
        order_.reserve(n_);
        for (size_t i = 0; i < n_; ++i)
            if (consumers_[i].empty()) Visit(i);
        for (size_t i = 0; i < n_; ++i) Visit(i);
        std::vector<IrInstruction> out;
        out.reserve(n_);
        for (size_t i : order_) out.push_back(std::move(p_.instructions[i]));
        p_.instructions = std::move(out);
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
                for (size_t w : producers_[i])
                    if (!emitted_[w]) pending.push_back(w);
                // Highest level first, then creation order: pushed in reverse.
                std::sort(pending.begin(), pending.end(), [&](size_t a, size_t b) {
                    return level_[a] != level_[b] ? level_[a] > level_[b] : a < b;
                });
                for (size_t k = pending.size(); k-- > 0;) stack.push_back({pending[k], false});
                continue;
            }
            stack.pop_back();
            Emit(i);
        }
    }

    bool Ready(size_t i) const {
        for (size_t w : producers_[i])
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
            for (size_t c = consumers_[k].size(); c-- > 0;) {
                const size_t consumer = consumers_[k][c];
                if (!emitted_[consumer] && Ready(consumer)) queue.push_back(consumer);
            }
        }
    }

    IntermediateProgram& p_;
    size_t n_;
    std::vector<std::vector<size_t>> producers_, consumers_;
    std::vector<int> level_;
    std::vector<bool> emitted_;
    std::vector<size_t> order_;
};

}  // namespace

void ReorderInstructions(IntermediateProgram& p) { Reorderer(p).Run(); }
