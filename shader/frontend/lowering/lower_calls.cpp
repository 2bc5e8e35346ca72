// Calls of user functions are expanded in place: the arguments go into the
// callee's parameter range, its body is lowered, its return range is the
// result and its "out" parameters are written back to the caller's
// arguments.
#include <algorithm>

#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering_messages.h"

namespace hlsl::lowering {

Value Lowerer::LowerCall(const CallExpr* e) {
    if (e->function) return LowerUserCall(e);
    if (e->intrinsic) return LowerIntrinsic(e);
    Error(e->loc, lowmsg::kUnrecognizedExpression);
    return {};
}

Value Lowerer::LowerUserCall(const CallExpr* e) {
    FuncDecl* f = e->function;
    const uint32_t resultSize = f->returnType ? TypeSize(f->returnType) : 0;
    if (!f->hasBody) {
        Error(e->loc, lowmsg::kMissingImplementation, f->name);
        return Literals(0, resultSize);
    }
    if (expanding.size() >= kMaxCallDepth) {
        Error(e->loc, lowmsg::kOutOfMemory);
        return Literals(0, resultSize);
    }
    if (expanding.count(f)) {
        Error(e->loc, lowmsg::kRecursive, f->name);
        return Literals(0, resultSize);
    }
    // Every argument is evaluated before any parameter is written.
    std::vector<Value> inputs(f->params.size());
    for (size_t i = 0; i < f->params.size() && i < e->inputs.size(); ++i)
        if (e->inputs[i]) inputs[i] = Lower(e->inputs[i]);
    if (Failed()) return Literals(0, resultSize);
    for (size_t i = 0; i < f->params.size(); ++i) {
        const VarDecl* param = f->params[i];
        const uint32_t size = TypeSize(param->type);
        if (inputs[i].empty()) {
            Placeholders(param, param->valueOffset, size);
            continue;
        }
        const Value v = Broadcast(inputs[i], size);
        for (uint32_t k = 0; k < size && param->valueOffset + k < map.size(); ++k) map[param->valueOffset + k] = v[k];
    }

    const bool outerReturned = returned;
    FuncDecl* outerFunction = currentFunction;
    const size_t outerReturns = partialReturns.size();
    const Value outerGoing = going, outerMask = mask;
    // The callee's jumps belong to its own loops.
    LoopExits* outerExits = loopExits;
    loopExits = nullptr;
    returned = false;
    currentFunction = f;
    expanding.insert(f);
    LowerStatements(f->body);
    expanding.erase(f);
    if (!Failed()) MergeReturns(outerReturns);
    going = outerGoing;
    mask = outerMask;
    loopExits = outerExits;
    const bool bodyReturned = returned;
    returned = outerReturned;
    currentFunction = outerFunction;
    here = e->loc;
    if (Failed()) return Literals(0, resultSize);
    if (f->returnType && !bodyReturned) {
        Error(f->loc, lowmsg::kMustReturn, f->name);
        return Literals(0, resultSize);
    }
    std::vector<uint32_t> slots;
    for (uint32_t i = 0; i < resultSize; ++i) slots.push_back(f->returnOffset + i);
    const Value result = ReadSlots(slots);

    std::vector<Value> outs;
    std::vector<const Type*> outTypes;
    for (const CallOutput& o : e->outputs) {
        const VarDecl* param = o.paramIndex < f->params.size() ? f->params[o.paramIndex] : nullptr;
        if (!param) {
            outs.emplace_back();
            outTypes.push_back(nullptr);
            continue;
        }
        slots.clear();
        for (uint32_t i = 0; i < TypeSize(param->type); ++i) slots.push_back(param->valueOffset + i);
        outs.push_back(ReadSlots(slots));
        outTypes.push_back(param->type);
    }
    WriteBackOutputs(e, outs, outTypes);
    return result;
}

void Lowerer::WriteBackOutputs(const CallExpr* e, const std::vector<Value>& outValues,
                               const std::vector<const Type*>& outTypes) {
    for (size_t i = 0; i < e->outputs.size() && i < outValues.size(); ++i) {
        const Expr* target = e->outputs[i].target;
        if (!target || outValues[i].empty()) continue;
        std::vector<uint32_t> slots;
        if (!LvalueSlots(target, &slots)) return;
        here = e->loc;
        const PrecisionScope scope(*this, std::max(PrecisionOf(target->type), PrecisionOfValue(outValues[i])));
        const Value v = outTypes[i] ? Convert(outValues[i], outTypes[i], target->type) : outValues[i];
        WriteSlots(slots, Broadcast(v, slots.size()));
    }
}

}  // namespace hlsl::lowering
