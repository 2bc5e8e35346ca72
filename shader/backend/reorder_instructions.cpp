// Reorders the instructions so values are produced close to their use and,
// in pixel shaders, texture samples are issued early (the depth-first order).
// That order can keep more values live than the target has registers (a blur
// that hoists sixteen samples). When the packing would not fit it, orders
// that keep fewer values live are tried: list schedules that hoist only as
// far as a shrinking budget allows, the depth-first order without hoisting,
// the creation order, the least pressure the list schedule finds, and
// depth-first orders that compute the operand needing most registers first
// while taking at once whatever frees as much as it adds. Each
// is first asked to leave a temporary register free, which the code
// generators take as scratch for instructions they expand; the first order
// that fits wins. Before those are tried, negations read only through
// source modifiers are folded into their readers, so they take no register.
// When none fits, samples of input coordinates read both early and late are
// taken again before the late readers and every order is tried once more;
// failing that the program goes back as it was, the depth-first order stays
// and the packing reports the program too complex.
// Needs: components assigned. Keeps: argument numbering.
#include <utility>

#include "shader/backend/instruction_orders.h"
#include "shader/backend/ir_passes.h"
#include "shader/backend/negation_reads.h"

namespace {

class OrderTrial {
public:
    explicit OrderTrial(IntermediateProgram& p) : p_(p) {}

    // Puts the instructions in `order` (indices into the original list).
    void Arrange(const std::vector<size_t>& order) {
        Restore();
        stock_ = std::move(p_.instructions);
        p_.instructions.clear();
        p_.instructions.reserve(order.size());
        for (size_t i : order) p_.instructions.push_back(std::move(stock_[i]));
        arranged_ = order;
    }

    // Puts the instructions back in their original order.
    void Restore() {
        if (arranged_.empty()) return;
        for (size_t k = 0; k < arranged_.size(); ++k) stock_[arranged_[k]] = std::move(p_.instructions[k]);
        p_.instructions = std::move(stock_);
        arranged_.clear();
    }

    // Arranges `order` and tells whether every limited pool fits its
    // physical registers, `reserve` of the temporaries kept free.
    bool Fits(const std::vector<size_t>& order, int reserve) {
        Arrange(order);
        for (uint32_t pool = 0; pool < p_.pools.size(); ++pool) {
            const uint32_t f = p_.pools[pool].flags;
            if (f & (kPoolBound | kPoolLiteral) || pool == kPoolDiscard) continue;
            int32_t registers = pool < p_.physicalRegisters.size() ? p_.physicalRegisters[pool] : -1;
            if (registers <= 0) continue;
            if (pool == kPoolTemps) registers -= reserve;
            if (registers <= 0 || !RegistersFit(p_, pool, registers)) return false;
        }
        return true;
    }

private:
    IntermediateProgram& p_;
    std::vector<IrInstruction> stock_;
    std::vector<size_t> arranged_;
};

// Tries the orders that keep fewer values live, first with a temporary
// register left free; arranges the first that fits.
bool FitSomeOrder(IntermediateProgram& p, OrderTrial& trial, const InstructionGraph& graph,
                  const std::vector<size_t>& hoisting, int registers) {
    const PressureLimitedOrders limited(p, graph);
    const std::vector<size_t> plain = p.limits.pixelShader ? DepthFirstOrder(graph, false) : hoisting;
    std::vector<size_t> creation(graph.size());
    for (size_t i = 0; i < creation.size(); ++i) creation[i] = i;
    // Budgets are in components of the temporaries, four to a register.
    std::vector<std::vector<size_t>> candidates{hoisting};
    for (int spare : {2, 3, 5, registers / 2})
        if (spare < registers) candidates.push_back(limited.Order(hoisting, plain, 4 * (registers - spare)));
    candidates.push_back(plain);
    candidates.push_back(limited.Order(plain, plain, 0));
    candidates.push_back(creation);
    candidates.push_back(limited.Order(creation, creation, 0));
    candidates.push_back(limited.FromEnd(plain));
    candidates.push_back(limited.FromEnd(creation));
    const std::vector<size_t> needs = DepthFirstOrder(graph, limited.OperandNeeds());
    candidates.push_back(limited.Order(needs, needs, PressureLimitedOrders::kFreeingFirst));
    candidates.push_back(limited.Order(creation, creation, PressureLimitedOrders::kFreeingFirst));
    for (int reserve : {1, 0})
        for (size_t k = reserve ? 1 : 0; k < candidates.size(); ++k)
            if (trial.Fits(candidates[k], reserve)) return true;
    return false;
}

// Builds the graph of the program as it stands and arranges the first order
// that fits; false, the instructions as they were, when none does.
bool ArrangeFittingOrder(IntermediateProgram& p, int registers) {
    const InstructionGraph graph(p);
    const std::vector<size_t> hoisting = DepthFirstOrder(graph);
    OrderTrial trial(p);
    if (trial.Fits(hoisting, 1)) return true;
    trial.Restore();
    if (FitSomeOrder(p, trial, graph, hoisting, registers)) return true;
    trial.Restore();
    return false;
}

}  // namespace

void ReorderInstructions(IntermediateProgram& p) {
    const InstructionGraph graph(p);
    const std::vector<size_t> hoisting = DepthFirstOrder(graph);
    const int registers = kPoolTemps < p.physicalRegisters.size() ? p.physicalRegisters[kPoolTemps] : -1;
    OrderTrial trial(p);
    if (trial.Fits(hoisting, 1) || registers <= 0) return;
    trial.Restore();

    // Negations read only through source modifiers take no register once
    // folded into their readers, as the code generators would fold them.
    const std::vector<IrInstruction> kept = p.instructions;
    const size_t keptArgs = p.args.size();
    FoldTemporaryNegations(p);
    if (ArrangeFittingOrder(p, registers)) return;

    // Last resort: sample again before late readers, then try every order
    // again; when that does not fit either, the program goes back as it was.
    std::vector<size_t> creation(p.instructions.size());
    for (size_t i = 0; i < creation.size(); ++i) creation[i] = i;
    if (ResampleLateReads(p, creation) && ArrangeFittingOrder(p, registers)) return;
    p.instructions = kept;
    p.args.resize(keptArgs);
    trial.Arrange(hoisting);
}
