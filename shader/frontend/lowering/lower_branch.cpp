// An "if" on a boolean uniform, on the models with branches, becomes a real
// branch ("if b#", "else", "endif") instead of running both arms and merging
// them: a static branch, the same for every vertex or pixel of a draw. A
// boolean register cannot be read as a value, and a variable keeps one
// register set in the constant table, so this holds for the uniforms read
// nowhere but as the whole condition of an "if" (branch_conditions.cpp), and
// then for every "if" on them; the others merge as before.
//
// The arms are lowered in place; a branch begin goes before the first, an
// else between them and an end after the second. A variable either arm
// changes gets a merged argument that the else sets from the first arm and
// the end from the second. Arms that return on one side only merge as before,
// from a snapshot.
#include <algorithm>
#include <set>

#include "shader/frontend/lowering/expression_shapes.h"
#include "shader/frontend/lowering/lowering_messages.h"
#include "shader/frontend/lowering/lowering_snapshot.h"

namespace hlsl::lowering {

namespace {

// Scalar instructions (as lowered) below which the arms of a comparison run
// both and merge: a branch costs its if, else and endif and the copies into
// the merged values.
constexpr size_t kBranchWorth = 16;

bool WorthBranching(const IntermediateProgram& p, size_t first) {
    if (p.instructions.size() - first >= kBranchWorth) return true;
    for (size_t i = first; i < p.instructions.size(); ++i)
        if (IsSampleOp(p.instructions[i].code())) return true;
    return false;
}

bool AlwaysWorth(const IntermediateProgram&, size_t) { return true; }

// How many values ComputedFromUniforms follows back from a condition.
constexpr size_t kUniformSearch = 256;

// What in instructions [first, end) needs the gradients of its neighbours:
// derivatives and lookups that choose their level by them. Null for none.
const IrInstruction* GradientOperation(const IntermediateProgram& p, size_t first, size_t end) {
    for (size_t i = first; i < end && i < p.instructions.size(); ++i) {
        const uint32_t code = p.instructions[i].code();
        if (code == kOpDerivativeX || code == kOpDerivativeY) return &p.instructions[i];
        if (IsSampleOp(code) && SampleKindOf(code) != kSampleLevel && SampleKindOf(code) != kSampleGradients)
            return &p.instructions[i];
    }
    return nullptr;
}

const VarDecl* BooleanVariable(const Expr* e) {
    const VarDecl* v = VariableOf(e);
    return v && v->type && v->type->IsScalar() && v->type->base == kBool ? v : nullptr;
}

}  // namespace

bool Lowerer::LowerBranch(const IfStmt* s) {
    const VarDecl* v = BooleanVariable(s->condition);
    if (!v || v->valueOffset >= map.size() || IsPlaceholder(map[v->valueOffset])) return false;
    if (!branchConditionsFound) {
        FindBranchConditions();
        branchConditionsFound = true;
    }
    if (!branchConditions.count(v)) return false;
    const int32_t use = map[v->valueOffset];
    const uint32_t flags = p.pools[p.args[use].pool].flags;
    if (!(flags & kPoolUniform) || (flags & kPoolLiteral) || p.args[use].relative >= 0) return false;

    const int32_t condition = UniformRegister(v, use, 'b');
    IrInstruction begin;
    begin.op = MakeOp(kOpIfBegin, 0);
    begin.inputs = {condition};
    return LowerArmsAsBranch(s, std::move(begin), [](const IntermediateProgram&, size_t) { return true; });
}

bool Lowerer::LowerArmsAsBranch(const IfStmt* s, IrInstruction begin,
                                bool (*worth)(const IntermediateProgram&, size_t)) {
    const LoweringSnapshot snapshot(*this);
    const std::vector<int32_t> before = map;
    const size_t returnsBefore = partialReturns.size();
    const Value goingBefore = going;
    // A jump out of the round inside an arm needs the arm's condition as a
    // value: such arms merge.
    LoopExits* exits = loopExits;
    const PartialReturn breaksBefore = exits ? exits->breaks : PartialReturn{},
                        continuesBefore = exits ? exits->continues : PartialReturn{};
    const Value inRoundBefore = exits ? exits->inRound : Value{}, notBrokenBefore = exits ? exits->notBroken : Value{};
    const Value maskBefore = mask;

    // Inside an arm its condition holds: the mask stays as it is.
    const size_t thenStart = p.instructions.size();
    returned = left = false;
    LowerStatement(s->then);
    const bool thenReturned = returned;
    bool jumped = left;
    std::vector<int32_t> thenMap = std::move(map);
    const size_t elseStart = p.instructions.size();
    map = before;
    returned = left = false;
    LowerStatement(s->otherwise);
    const bool elseReturned = returned;
    jumped = jumped || left || (exits && exits->inRound != inRoundBefore);
    left = false;
    if (Failed()) return true;
    here = s->loc;

    if (!worth(p, thenStart) || thenReturned != elseReturned || partialReturns.size() != returnsBefore ||
        going != goingBefore || jumped) {
        snapshot.Restore();
        partialReturns.resize(returnsBefore);
        going = goingBefore;
        mask = maskBefore;
        if (exits) {
            exits->breaks = breaksBefore;
            exits->continues = continuesBefore;
            exits->inRound = inRoundBefore;
            exits->notBroken = notBrokenBefore;
        }
        returned = false;
        armsLoweredInVain = true;
        return false;
    }

    std::vector<uint32_t> merged;
    for (size_t i = 0; i < map.size(); ++i) {
        if (thenMap[i] == map[i] || IsPlaceholder(thenMap[i])) continue;
        if (IsPlaceholder(map[i])) map[i] = thenMap[i];
        else merged.push_back(uint32_t(i));
    }
    const int count = int(merged.size());
    IrInstruction otherwise, end;
    otherwise.op = MakeOp(kOpElse, 0);
    end.op = MakeOp(kOpIfEnd, 0);
    for (int k = 0; k < count; ++k) {
        const uint32_t slot = merged[size_t(k)];
        Value pair;
        for (int32_t arg : {map[slot], thenMap[slot]})
            if (!IsLiteral(arg)) pair.push_back(arg);
        const int32_t value = NewTemp(PrecisionOfValue(pair));
        const int32_t owner = slot < slotOwner.size() ? slotOwner[slot] : -1;
        if (owner >= 0) {
            p.args[value].declaration = p.args[owner].declaration;
            p.args[value].name = p.args[owner].name;
            p.args[value].offset = p.args[owner].offset;
        }
        otherwise.inputs.push_back(thenMap[slot]);
        otherwise.outputs.push_back(value);
        end.inputs.push_back(map[slot]);
        end.outputs.push_back(value);
        map[slot] = value;
    }
    for (IrInstruction* inst : {&begin, &otherwise, &end}) {
        inst->location = s->loc;
        inst->node = s;
    }
    if (p.instructions.size() + 3 > instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
    p.instructions.insert(p.instructions.begin() + std::ptrdiff_t(elseStart), std::move(otherwise));
    p.instructions.insert(p.instructions.begin() + std::ptrdiff_t(thenStart), std::move(begin));
    p.instructions.push_back(std::move(end));
    returned = thenReturned && elseReturned;
    return true;
}

bool Lowerer::UniformArgument(int32_t arg) const {
    const uint32_t flags = p.pools[p.args[arg].pool].flags;
    return (flags & (kPoolUniform | kPoolLiteral)) && !(flags & kPoolSampler) && p.args[arg].relative < 0;
}

bool Lowerer::ComputedFromUniforms(int32_t arg, size_t budget) const {
    std::vector<int32_t> work{arg};
    std::set<int32_t> seen{arg};
    while (!work.empty()) {
        const int32_t a = work.back();
        work.pop_back();
        if (UniformArgument(a)) continue;
        if (p.args[a].pool != kPoolTemps || seen.size() > budget) return false;
        // The last instruction that wrote it: arithmetic alone, no lookup,
        // derivative or value a loop carries or a branch merges.
        const IrInstruction* writer = nullptr;
        for (size_t i = p.instructions.size(); i-- > 0 && !writer;) {
            const std::vector<int32_t>& outputs = p.instructions[i].outputs;
            if (std::find(outputs.begin(), outputs.end(), a) != outputs.end()) writer = &p.instructions[i];
        }
        if (!writer) return false;
        const uint32_t code = writer->code();
        if (IsFlowOp(code) || IsSampleOp(code) || code == kOpDerivativeX || code == kOpDerivativeY ||
            code == kOpProduce || code == kOpNoise)
            return false;
        for (int32_t in : writer->inputs) {
            if (in < 0) return false;
            if (seen.insert(in).second) work.push_back(in);
        }
    }
    return true;
}

bool Lowerer::LowerAskedBranch(const IfStmt* s, int32_t condition) {
    const Expr* e = WithoutConversion(s->condition);
    IrInstruction begin;
    const OperatorExpr* o = e && e->kind == NodeKind::Operator ? static_cast<const OperatorExpr*>(e) : nullptr;
    if (o && ComparisonCode(o->op) && o->operands[0] && o->operands[1] && o->operands[0]->type &&
        o->operands[1]->type && TypeSize(o->operands[0]->type) == 1 && TypeSize(o->operands[1]->type) == 1) {
        const Value a = Lower(o->operands[0]), b = Lower(o->operands[1]);
        if (Failed() || a.size() != 1 || b.size() != 1) return true;
        begin.op = MakeOp(kOpIfBegin, ComparisonCode(o->op));
        begin.inputs = {a[0], b[0]};
    } else {
        // Any other condition: taken where it is not 0.
        begin.op = MakeOp(kOpIfBegin, ComparisonCode(Op::NotEqual));
        begin.inputs = {condition, Literal(0)};
    }
    const bool varying = !ComputedFromUniforms(begin.inputs[0], kUniformSearch) ||
                         !ComputedFromUniforms(begin.inputs[1], kUniformSearch);
    const size_t first = p.instructions.size();
    if (!LowerArmsAsBranch(s, std::move(begin), AlwaysWorth)) return false;
    if (pixelTarget && varying && !Failed()) {
        // Neighbouring pixels that take different sides leave such an
        // operation without the values its gradients come from.
        if (const IrInstruction* g = GradientOperation(p, first, p.instructions.size())) {
            const uint32_t code = g->code();
            Error(g->location, lowmsg::kGradientInBranch,
                  code == kOpDerivativeX ? "ddx" : code == kOpDerivativeY ? "ddy" : "texture lookup");
        }
    }
    return true;
}

void Lowerer::ReportBranchMerged(const IfStmt* s) {
    if (hintsWarned.insert(s).second)
        Warning(s->loc, lowmsg::kBranchMerged, p.target.name ? p.target.name : "the target");
}

uint32_t Lowerer::ComparisonCode(Op op) {
    switch (op) {
        case Op::Greater: return 1;
        case Op::Equal: return 2;
        case Op::GreaterEqual: return 3;
        case Op::Less: return 4;
        case Op::NotEqual: return 5;
        case Op::LessEqual: return 6;
        default: return 0;
    }
}

bool Lowerer::LowerCompareBranch(const IfStmt* s) {
    const Expr* e = WithoutConversion(s->condition);
    if (!e || e->kind != NodeKind::Operator) return false;
    const OperatorExpr* o = static_cast<const OperatorExpr*>(e);
    const uint32_t comparison = ComparisonCode(o->op);
    if (!comparison) return false;
    if (!o->operands[0] || !o->operands[1] || !o->operands[0]->type || TypeSize(o->operands[0]->type) != 1 ||
        !o->operands[1]->type || TypeSize(o->operands[1]->type) != 1)
        return false;
    const Value a = Lower(o->operands[0]), b = Lower(o->operands[1]);
    if (Failed() || a.size() != 1 || b.size() != 1) return true;
    if (pixelTarget && (!UniformArgument(a[0]) || !UniformArgument(b[0]))) return false;
    IrInstruction begin;
    begin.op = MakeOp(kOpIfBegin, comparison);
    begin.inputs = {a[0], b[0]};
    return LowerArmsAsBranch(s, std::move(begin), WorthBranching);
}

}  // namespace hlsl::lowering
