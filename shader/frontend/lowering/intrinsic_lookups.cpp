// Texture lookups and derivatives: which models have their instructions, and
// the sample operations the lookups become.
#include "shader/frontend/lowering/intrinsic_routines.h"
#include "shader/frontend/lowering/lowering_messages.h"
#include "shader/target.h"

namespace hlsl::lowering {
namespace {

// The dimension and kind of sample operation a lookup intrinsic makes.
void LookupForm(IntrinsicId id, uint32_t* dimension, uint32_t* kind) {
    if (id >= kTex1Dlod) {
        *dimension = id - kTex1Dlod;
        *kind = kSampleLevel;
    } else {
        *dimension = (id - kTex1D) / 4;
        *kind = (id - kTex1D) % 4;
    }
}

bool IsDerivative(IntrinsicId id) { return id == kDdx || id == kDdy || id == kFwidth; }

}  // namespace

bool Lowerer::TargetHasIntrinsic(const IntrinsicSignature* sig) {
    const uint32_t major = (p.version >> 8) & 0xFF;
    // dsx, dsy and texldd: the pixel profiles whose row has the derivatives
    // (ps_2_a, ps_2_x, ps_2_sw and the 3.0 models; not ps_2_b);
    // texldl: the 3.0 models, vertex and pixel. Vertex shaders before 3.0
    // have no lookups at all (the code generator says so), from 3.0 on only
    // texldl.
    const bool derivatives = pixelTarget && (p.target.features & kFeatureDerivatives);
    const char* needs = nullptr;
    uint32_t dimension = 0, kind = 0;
    if (IsLookup(sig->id)) LookupForm(sig->id, &dimension, &kind);
    if (IsDerivative(sig->id) || (IsLookup(sig->id) && kind == kSampleGradients)) {
        if (!derivatives) needs = "ps_2_x or ps_3_0";
    } else if (IsLookup(sig->id) && kind == kSampleLevel) {
        if (major < 3) needs = "vs_3_0 or ps_3_0";
    } else if (IsLookup(sig->id) && vertexTarget && major >= 3) {
        needs = "a pixel shader (vertex shaders read textures at a level, with the lod lookups)";
    }
    if (!needs) return true;
    Error(here, lowmsg::kIntrinsicNeedsModel, sig->name, p.target.name ? p.target.name : "the target", needs);
    return false;
}

Value Lowerer::LowerSample(const CallExpr* e, int32_t sampler, const std::vector<Value>& args) {
    uint32_t dimension = 0, kind = 0;
    LookupForm(e->intrinsic->id, &dimension, &kind);
    if (sampler < 0 || args.size() < 2 || args[1].empty()) return Literals(0, 4);
    // The coordinates, then for the gradient form the gradients along x and y.
    std::vector<Value> operands(args.begin() + 1, args.begin() + (kind == kSampleGradients ? 4 : 2));
    if (dimension == kSample1D && (kind == kSamplePlain || kind == kSampleGradients)) {
        // One-dimensional lookups sample with the coordinate repeated (and
        // its gradients with it).
        const IrArgument& u = p.args[operands[0][0]];
        const ArgumentPool& pool = p.pools[u.pool];
        const bool wideInput = (pool.flags & (kPoolBound | kPoolValueAtEntry)) == (kPoolBound | kPoolValueAtEntry) &&
                               !(pool.flags & (kPoolUniform | kPoolLiteral)) && u.declaration &&
                               TypeSize(static_cast<const VarDecl*>(u.declaration)->type) >= 2;
        if (ps1Target && !wideInput) Warning(e->loc, lowmsg::kTex1DDependent);
        for (Value& v : operands) v = {v[0], v[0]};
    }
    const size_t n = operands[0].size();
    for (const Value& v : operands)
        if (v.size() != n) return Literals(0, 4);
    if (p.instructions.size() >= instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
    const int inst = p.AddInstruction(MakeOp(SampleCode(dimension, kind), uint32_t(n)));
    if (inst < 0) throw std::bad_alloc();
    Value out(4);
    for (int32_t& o : out) o = NewTemp();
    IrInstruction& ins = p.instructions[inst];
    for (size_t i = 0; i < n; ++i) ins.inputs[i] = sampler;
    for (size_t k = 0; k < operands.size(); ++k)
        for (size_t i = 0; i < n; ++i) ins.inputs[(k + 1) * n + i] = operands[k][i];
    for (size_t i = 0; i < 4; ++i) ins.outputs[i] = out[i];
    ins.location = e->loc;
    return out;
}

}  // namespace hlsl::lowering
