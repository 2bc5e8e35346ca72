// Translation of checked instructions into ExecOps: register parameters become
// lane slots or constant indices, matrix instructions become rows of dot
// products, co-issued pairs read before either writes, and flow-control
// instructions get their jump targets.
#include "gfx/shaders/shader_translate.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace gfx {

using namespace isa;
using namespace exec;

namespace {

class Translator {
public:
    Translator(Profile profile, TranslatedShader* out) : p_(profile), out_(out), prog_(out->program) {
        pixel_ = IsPixelProfile(profile);
        major_ = ProfileMajor(profile);
        prog_.profile = profile;
        prog_.kind = pixel_ ? ShaderKind::Pixel : ShaderKind::Vertex;
        prog_.floatConstCount = pixel_ ? ShaderConstants::kPixelFloatCount : ShaderConstants::kVertexFloatCount;
        prog_.literalIndex.assign(prog_.floatConstCount, -1);
        prog_.ps1 = IsPs1x(profile);
        prog_.ps1TexRegs = prog_.ps1 && profile != Profile::PS_1_4;
    }

    bool Run(const std::vector<DecodedInstruction>& list);

private:
    bool Operand(const DecodedParam& p, exec::Operand* o);
    bool Destination(const DecodedParam& p, Dest* d);
    void SetRelative(const DecodedParam& p, Rel* rel, uint8_t* comp) const;
    // Lane slot of a texture stage's coordinates (pixel shaders before 3.0).
    uint16_t TexcoordSlot(DWORD stage) {
        prog_.inputMask |= 1u << (kPixelSlotTexcoord0 + stage);
        return static_cast<uint16_t>(kInputBase + kPixelSlotTexcoord0 + stage);
    }
    void UseTemp(DWORD n) { prog_.tempCount = static_cast<uint16_t>(std::max<DWORD>(prog_.tempCount, n + 1)); }
    void NoteInput(uint8_t usage, uint8_t index, uint8_t slot, uint8_t mask);
    void NoteOutput(uint8_t usage, uint8_t index, uint8_t slot, uint8_t mask);
    void NoteSampler(DWORD sampler, DWORD type);
    void NoteWrite(const DecodedParam& d);
    void NoteRead(const DecodedParam& s);
    bool Instruction(const DecodedInstruction& ins, bool deferWrite);
    bool Dcl(const DecodedInstruction& ins);
    bool Def(const DecodedInstruction& ins);
    size_t Emit(const ExecOp& op) {
        prog_.ops.push_back(op);
        return prog_.ops.size() - 1;
    }

    Profile p_;
    TranslatedShader* out_;
    ExecProgram& prog_;
    bool pixel_ = false;
    int major_ = 1;
    std::vector<size_t> flowStack_;
    std::vector<size_t> loopStack_;
    std::map<DWORD, size_t> labels_;
    std::vector<std::pair<size_t, DWORD>> calls_;
};

bool Translator::Run(const std::vector<DecodedInstruction>& list) {
    for (size_t i = 0; i < list.size(); ++i) {
        const bool nextCoissued = i + 1 < list.size() && IsCoissued(list[i + 1].token);
        if (!Instruction(list[i], nextCoissued)) return false;
        if (nextCoissued) {
            // The first of a co-issued pair wrote into scratch; the second runs
            // on the old register values, then the first result lands.
            if (!Instruction(list[i + 1], false)) return false;
            ExecOp commit;
            commit.kind = Kind::Arith;
            commit.opcode = OP_MOV;
            commit.hasDst = true;
            if (!Destination(list[i].dst, &commit.dst)) return false;
            commit.dst.saturate = false;
            commit.dst.shift = 0;
            commit.dst.range = 0.0f;
            commit.srcCount = 1;
            commit.src[0].file = File::Lane;
            commit.src[0].index = kScratchBase + 1;
            Emit(commit);
            ++i;
        }
    }
    for (const auto& [opIndex, label] : calls_) {
        auto it = labels_.find(label);
        if (it == labels_.end()) return false;
        prog_.ops[opIndex].target = static_cast<int32_t>(it->second);
    }
    // ps_1_x writes its colour through r0.
    if (prog_.ps1) NoteOutput(USAGE_COLOR, 0, 0, kMaskAll);
    // By slot, and within a packed register by first component.
    auto order = [](const ShaderSemantic& a, const ShaderSemantic& b) {
        return a.slot != b.slot ? a.slot < b.slot : (a.mask & -a.mask) < (b.mask & -b.mask);
    };
    std::stable_sort(out_->inputs.begin(), out_->inputs.end(), order);
    std::stable_sort(out_->outputs.begin(), out_->outputs.end(), order);
    return true;
}

void Translator::NoteInput(uint8_t usage, uint8_t index, uint8_t slot, uint8_t mask) {
    for (ShaderSemantic& s : out_->inputs) {
        if (s.slot == slot && s.usage == usage && s.usageIndex == index) {
            s.mask |= mask;
            return;
        }
    }
    out_->inputs.push_back({usage, index, slot, mask});
}

void Translator::NoteOutput(uint8_t usage, uint8_t index, uint8_t slot, uint8_t mask) {
    for (ShaderSemantic& s : out_->outputs) {
        if (s.slot == slot && s.usage == usage && s.usageIndex == index) {
            s.mask |= mask;
            return;
        }
    }
    out_->outputs.push_back({usage, index, slot, mask});
}

void Translator::NoteSampler(DWORD sampler, DWORD type) {
    for (const ShaderSamplerUse& s : out_->samplers) {
        if (s.sampler == sampler) return;
    }
    out_->samplers.push_back({static_cast<uint8_t>(sampler), static_cast<uint8_t>(type)});
}

// Outputs of vertex shaders before 3.0 and of all pixel shaders are known by
// the registers written.
void Translator::NoteWrite(const DecodedParam& d) {
    const uint8_t mask = static_cast<uint8_t>(WriteMaskOf(d.token));
    if (!pixel_ && major_ < 3) {
        switch (d.type) {
            case REG_RASTOUT:
                if (d.number == kRastoutPosition) NoteOutput(USAGE_POSITION, 0, kSlotPosition, mask);
                if (d.number == kRastoutFog) NoteOutput(USAGE_FOG, 0, kSlotFog, kMaskX);
                if (d.number == kRastoutPointSize) NoteOutput(USAGE_PSIZE, 0, kSlotPointSize, kMaskX);
                break;
            case REG_ATTROUT: NoteOutput(USAGE_COLOR, d.number, kSlotColor0 + d.number, mask); break;
            case REG_TEXCRDOUT: NoteOutput(USAGE_TEXCOORD, d.number, kSlotTexcoord0 + d.number, mask); break;
            default: break;
        }
    }
    if (pixel_ && d.type == REG_COLOROUT) NoteOutput(USAGE_COLOR, d.number, d.number, mask);
    if (pixel_ && d.type == REG_DEPTHOUT) {
        NoteOutput(USAGE_DEPTH, 0, kMaxColorOutputs, kMaskX);
        out_->depthWritten = true;
    }
}

// Inputs of pixel shaders before 3.0 are known by the registers read.
void Translator::NoteRead(const DecodedParam& s) {
    if (!pixel_ || major_ >= 3) return;
    if (s.type == REG_INPUT) NoteInput(USAGE_COLOR, s.number, kPixelSlotColor0 + s.number, kMaskAll);
    if (s.type == REG_TEXTURE && (major_ >= 2 || p_ == Profile::PS_1_4)) {
        NoteInput(USAGE_TEXCOORD, s.number, kPixelSlotTexcoord0 + s.number, kMaskAll);
    }
}

void Translator::SetRelative(const DecodedParam& p, Rel* rel, uint8_t* comp) const {
    if (!p.relative) {
        *rel = Rel::None;
        return;
    }
    if (RegisterTypeOf(p.relToken) == REG_LOOP) {
        *rel = Rel::Loop;
        *comp = 0;
    } else {
        *rel = Rel::A0;
        *comp = static_cast<uint8_t>(SwizzleComponent(SwizzleOf(p.relToken), 0));
    }
}

bool Translator::Operand(const DecodedParam& p, exec::Operand* o) {
    *o = exec::Operand();
    const DWORD swz = SwizzleOf(p.token);
    for (int i = 0; i < 4; ++i) o->swz[i] = static_cast<uint8_t>(SwizzleComponent(swz, i));
    o->mod = static_cast<uint8_t>(SourceModifierOf(p.token));
    SetRelative(p, &o->rel, &o->relComp);
    NoteRead(p);
    switch (p.type) {
        case REG_TEMP:
            o->file = File::Lane;
            o->index = static_cast<uint16_t>(kTempBase + p.number);
            UseTemp(p.number);
            break;
        case REG_INPUT:
            o->file = File::Lane;
            o->index = static_cast<uint16_t>(kInputBase + p.number);
            o->relCount = pixel_ ? kMaxPixelInputs : kMaxVertexInputs;
            prog_.inputMask |= p.relative ? ~0u : 1u << p.number;
            break;
        case REG_CONST:
        case REG_CONST2:
        case REG_CONST3:
        case REG_CONST4:
            if (!p.relative && p.number >= static_cast<DWORD>(prog_.floatConstCount)) return false;
            o->file = File::Const;
            o->index = static_cast<uint16_t>(p.number);
            o->relCount = static_cast<uint16_t>(prog_.floatConstCount);
            o->clampUnit = prog_.ps1;
            break;
        case REG_TEXTURE:
            if (!pixel_) return false;
            o->file = File::Lane;
            o->index = prog_.ps1TexRegs ? static_cast<uint16_t>(kTexBase + p.number) : TexcoordSlot(p.number);
            break;
        case REG_MISCTYPE:
            o->file = File::Lane;
            o->index = p.number == kMiscPosition ? kPosSlot : kFaceSlot;
            break;
        case REG_PREDICATE: o->file = File::Lane; o->index = kPredSlot; break;
        default: o->file = File::Zero; break;
    }
    return true;
}

bool Translator::Destination(const DecodedParam& p, Dest* d) {
    *d = Dest();
    d->mask = static_cast<uint8_t>(WriteMaskOf(p.token));
    const DWORD mods = ResultModifiersOf(p.token);
    d->saturate = (mods & kResultSaturate) != 0;
    d->shift = static_cast<int8_t>(ShiftOf(p.token));
    if (prog_.ps1) d->range = p_ == Profile::PS_1_4 ? 8.0f : 1.0f;
    SetRelative(p, &d->rel, &d->relComp);
    switch (p.type) {
        case REG_TEMP:
            d->index = static_cast<uint16_t>(kTempBase + p.number);
            UseTemp(p.number);
            break;
        case REG_ADDR:
            d->index = pixel_ ? static_cast<uint16_t>(kTexBase + p.number) : static_cast<uint16_t>(kAddrSlot);
            if (!pixel_) d->range = 0.0f;
            break;
        case REG_RASTOUT: {
            static constexpr uint16_t kSlots[3] = {kSlotPosition, kSlotFog, kSlotPointSize};
            d->index = static_cast<uint16_t>(kOutBase + kSlots[std::min<DWORD>(p.number, 2)]);
            break;
        }
        case REG_ATTROUT: d->index = static_cast<uint16_t>(kOutBase + kSlotColor0 + p.number); break;
        case REG_TEXCRDOUT:  // also REG_OUTPUT
            d->index = static_cast<uint16_t>(kOutBase + (major_ >= 3 ? 0 : kSlotTexcoord0) + p.number);
            d->relCount = major_ >= 3 ? kMaxVertexOutputs : 0;
            break;
        case REG_COLOROUT: d->index = static_cast<uint16_t>(kOutBase + p.number); break;
        case REG_DEPTHOUT: d->index = kDepthSlot; break;
        case REG_PREDICATE: d->index = kPredSlot; break;
        default: return false;
    }
    NoteWrite(p);
    return true;
}

bool Translator::Dcl(const DecodedInstruction& ins) {
    const DecodedParam& d = ins.dst;
    const uint8_t usage = static_cast<uint8_t>(DclUsageOf(ins.dclToken));
    const uint8_t index = static_cast<uint8_t>(DclUsageIndexOf(ins.dclToken));
    const uint8_t mask = static_cast<uint8_t>(WriteMaskOf(d.token));
    switch (d.type) {
        case REG_INPUT:
            if (!pixel_ || major_ >= 3) NoteInput(usage, index, static_cast<uint8_t>(d.number), mask);
            else NoteInput(USAGE_COLOR, static_cast<uint8_t>(d.number), static_cast<uint8_t>(kPixelSlotColor0 + d.number), mask);
            break;
        case REG_TEXTURE:
            NoteInput(USAGE_TEXCOORD, static_cast<uint8_t>(d.number), static_cast<uint8_t>(kPixelSlotTexcoord0 + d.number), mask);
            break;
        case REG_OUTPUT:
            NoteOutput(usage, index, static_cast<uint8_t>(d.number), mask);
            if (usage == USAGE_POSITION && index == 0) out_->positionSlot = static_cast<int>(d.number);
            break;
        case REG_SAMPLER: NoteSampler(d.number, DclTextureTypeOf(ins.dclToken)); break;
        default: break;
    }
    return true;
}

bool Translator::Def(const DecodedInstruction& ins) {
    const DWORD n = ins.dst.number;
    switch (ins.opcode) {
        case OP_DEF: {
            if (n >= static_cast<DWORD>(prog_.floatConstCount)) return false;
            int16_t slot = prog_.literalIndex[n];
            if (slot < 0) {
                slot = static_cast<int16_t>(prog_.literals.size() / 4);
                prog_.literals.resize(prog_.literals.size() + 4);
                prog_.literalIndex[n] = slot;
            }
            std::memcpy(&prog_.literals[slot * 4], ins.literal, 16);
            return true;
        }
        case OP_DEFI:
            if (n >= 16) return false;
            for (int i = 0; i < 4; ++i) prog_.intDef[n][i] = static_cast<int32_t>(ins.literal[i]);
            prog_.intDefMask = static_cast<uint16_t>(prog_.intDefMask | 1u << n);
            return true;
        case OP_DEFB:
            if (n >= 16) return false;
            prog_.boolDef[n] = ins.literal[0] != 0;
            prog_.boolDefMask = static_cast<uint16_t>(prog_.boolDefMask | 1u << n);
            return true;
        default: return false;
    }
}

bool Translator::Instruction(const DecodedInstruction& ins, bool deferWrite) {
    const DWORD op = ins.opcode;
    if (op == OP_DCL) return Dcl(ins);
    if (op == OP_DEF || op == OP_DEFI || op == OP_DEFB) return Def(ins);
    if (op == OP_PHASE || op == OP_NOP) return true;

    ExecOp e;
    e.opcode = static_cast<uint16_t>(op);
    e.scalarComp = p_ == Profile::VS_1_1 ? 3 : 0;
    if (ins.predicated) {
        e.predicated = true;
        if (!Operand(ins.pred, &e.pred)) return false;
    }
    auto sources = [&]() {
        e.srcCount = static_cast<uint8_t>(ins.srcCount);
        for (int i = 0; i < ins.srcCount; ++i) {
            if (!Operand(ins.src[i], &e.src[i])) return false;
        }
        return true;
    };
    auto destination = [&]() {
        e.hasDst = true;
        if (!Destination(ins.dst, &e.dst)) return false;
        if (deferWrite) {
            e.dst.index = kScratchBase + 1;
            e.dst.rel = Rel::None;
        }
        return true;
    };
    auto boolSource = [&](const DecodedParam& s, exec::Operand* o) {
        if (s.type == REG_CONSTBOOL) {
            e.constIndex = s.number;
            e.constNot = SourceModifierOf(s.token) == SRCMOD_NOT;
            if (s.number >= 16) return false;
            o->file = File::Zero;
            return true;
        }
        return Operand(s, o);  // predicate register
    };

    switch (op) {
        // ---- flow control ----
        case OP_IF:
            e.kind = Kind::If;
            if (!boolSource(ins.src[0], &e.src[0])) return false;
            e.srcCount = ins.src[0].type == REG_PREDICATE ? 1 : 0;
            flowStack_.push_back(Emit(e));
            return true;
        case OP_IFC:
            e.kind = Kind::IfC;
            e.comparison = static_cast<uint8_t>(InstructionComparison(ins.token));
            if (!sources()) return false;
            flowStack_.push_back(Emit(e));
            return true;
        case OP_ELSE: {
            e.kind = Kind::Else;
            const size_t at = Emit(e);
            prog_.ops[flowStack_.back()].target = static_cast<int32_t>(at);
            flowStack_.back() = at;
            return true;
        }
        case OP_ENDIF: {
            e.kind = Kind::EndIf;
            const size_t at = Emit(e);
            prog_.ops[flowStack_.back()].target = static_cast<int32_t>(at);
            flowStack_.pop_back();
            return true;
        }
        case OP_LOOP:
        case OP_REP: {
            e.kind = op == OP_LOOP ? Kind::Loop : Kind::Rep;
            const DecodedParam& counter = ins.src[op == OP_LOOP ? 1 : 0];
            if (counter.number >= 16) return false;
            e.constIndex = counter.number;
            const size_t at = Emit(e);
            flowStack_.push_back(at);
            loopStack_.push_back(at);
            return true;
        }
        case OP_ENDLOOP:
        case OP_ENDREP: {
            e.kind = op == OP_ENDLOOP ? Kind::EndLoop : Kind::EndRep;
            e.target = static_cast<int32_t>(flowStack_.back());
            const size_t at = Emit(e);
            prog_.ops[flowStack_.back()].target = static_cast<int32_t>(at);
            flowStack_.pop_back();
            loopStack_.pop_back();
            return true;
        }
        case OP_BREAK:
        case OP_BREAKC:
        case OP_BREAKP:
            e.kind = op == OP_BREAK ? Kind::Break : op == OP_BREAKC ? Kind::BreakC : Kind::BreakP;
            e.comparison = static_cast<uint8_t>(InstructionComparison(ins.token));
            if (!sources()) return false;
            e.target = static_cast<int32_t>(loopStack_.back());
            Emit(e);
            return true;
        case OP_CALL:
        case OP_CALLNZ: {
            e.kind = op == OP_CALL ? Kind::Call : Kind::CallNz;
            if (op == OP_CALLNZ) {
                if (!boolSource(ins.src[1], &e.src[1])) return false;
                e.srcCount = ins.src[1].type == REG_PREDICATE ? 2 : 0;
            }
            calls_.push_back({Emit(e), ins.src[0].number});
            return true;
        }
        case OP_LABEL:
            e.kind = Kind::Label;
            labels_[ins.src[0].number] = Emit(e);
            return true;
        case OP_RET:
            e.kind = Kind::Ret;
            Emit(e);
            return true;
        default: break;
    }

    if (!destination()) return false;
    if (!sources()) return false;

    // ---- texture instructions ----
    if (op == OP_TEXKILL) {
        e.kind = Kind::Texkill;
        e.hasDst = false;
        e.srcCount = 1;
        DecodedParam asSource = ins.dst;
        asSource.token = (asSource.token & ~0x0FFF0000u) | (kSwizzleIdentity << 16);
        if (!Operand(asSource, &e.src[0])) return false;
        if (prog_.ps1TexRegs) {
            // ps_1_1-1_3: texkill tN tests the stage's texture coordinates.
            e.src[0].index = TexcoordSlot(ins.dst.number);
            NoteInput(USAGE_TEXCOORD, static_cast<uint8_t>(ins.dst.number),
                      static_cast<uint8_t>(kPixelSlotTexcoord0 + ins.dst.number), kMaskAll);
        }
        e.texComps = prog_.ps1 ? 3 : 4;
        out_->usesTexkill = true;
        Emit(e);
        return true;
    }
    if (op == OP_TEX || op == OP_TEXLDL || op == OP_TEXLDD) {
        e.kind = Kind::Sample;
        e.dst.range = 0.0f;
        if (prog_.ps1) {
            const DWORD stage = ins.dst.number;
            e.sampler = static_cast<uint8_t>(stage);
            if (p_ != Profile::PS_1_4) {
                e.srcCount = 1;
                e.src[0] = exec::Operand();
                e.src[0].file = File::Lane;
                e.src[0].index = TexcoordSlot(stage);
                NoteInput(USAGE_TEXCOORD, static_cast<uint8_t>(stage), static_cast<uint8_t>(kPixelSlotTexcoord0 + stage), kMaskAll);
            }
            NoteSampler(stage, TEXTURE_2D);
        } else {
            e.sampler = static_cast<uint8_t>(ins.src[1].number);
            // The sampler's swizzle selects result components where the model
            // allows one (ps_2_x, ps_3_0, vs_3_0); ps_2_0 ignores it.
            const DWORD rs = p_ == Profile::PS_2_0 ? kSwizzleIdentity : SwizzleOf(ins.src[1].token);
            for (int i = 0; i < 4; ++i) e.resultSwz[i] = static_cast<uint8_t>(SwizzleComponent(rs, i));
            e.sampleMode = op == OP_TEXLDL ? SampleMode::Lod
                         : op == OP_TEXLDD ? SampleMode::Grad
                         : InstructionControl(ins.token) == kTexControlProject ? SampleMode::Project
                         : InstructionControl(ins.token) == kTexControlBias ? SampleMode::Bias
                                                                             : SampleMode::Plain;
        }
        Emit(e);
        return true;
    }
    if (op == OP_TEXDEPTH) {
        e.kind = Kind::TexDepth;
        out_->depthWritten = true;
        Emit(e);
        return true;
    }
    if (op == OP_DSX || op == OP_DSY) {
        e.kind = Kind::Derivative;
        Emit(e);
        return true;
    }
    if (op == OP_TEXCOORD) {
        e.kind = Kind::Arith;
        if (p_ != Profile::PS_1_4) {
            // texcoord tN: the stage's coordinates clamped to [0, 1].
            const DWORD stage = ins.dst.number;
            e.srcCount = 1;
            e.src[0] = exec::Operand();
            e.src[0].file = File::Lane;
            e.src[0].index = TexcoordSlot(stage);
            e.dst.saturate = true;
            NoteInput(USAGE_TEXCOORD, static_cast<uint8_t>(stage), static_cast<uint8_t>(kPixelSlotTexcoord0 + stage), kMaskAll);
        }
        Emit(e);
        return true;
    }
    if (prog_.ps1 && ((op >= OP_TEXBEM && op <= OP_TEXM3x3VSPEC) || (op >= OP_TEXREG2RGB && op <= OP_TEXM3x3))) {
        // ps_1_1-1_3 texture addressing: src[0] the earlier texture register,
        // src[1] this stage's coordinates, src[2] the eye vector constant.
        e.kind = Kind::Ps1Tex;
        e.dst.range = 0.0f;
        const DWORD stage = ins.dst.number;
        e.sampler = static_cast<uint8_t>(stage);
        if (op == OP_TEXM3x3SPEC) e.src[2] = e.src[1];
        e.src[1] = exec::Operand();
        e.src[1].file = File::Lane;
        e.src[1].index = TexcoordSlot(stage);
        e.srcCount = op == OP_TEXM3x3SPEC ? 3 : 2;
        NoteInput(USAGE_TEXCOORD, static_cast<uint8_t>(stage), static_cast<uint8_t>(kPixelSlotTexcoord0 + stage), kMaskAll);
        const bool samples = op != OP_TEXM3x2PAD && op != OP_TEXM3x3PAD && op != OP_TEXDP3 && op != OP_TEXM3x3 &&
                             op != OP_TEXM3x2DEPTH;
        if (samples) {
            const bool cube = op == OP_TEXM3x3TEX || op == OP_TEXM3x3SPEC || op == OP_TEXM3x3VSPEC;
            NoteSampler(stage, cube ? TEXTURE_CUBE : TEXTURE_2D);
        }
        if (op == OP_TEXM3x2DEPTH) out_->depthWritten = true;
        Emit(e);
        return true;
    }

    // ---- arithmetic ----
    e.kind = Kind::Arith;
    if (op == OP_M4x4 || op == OP_M4x3 || op == OP_M3x4 || op == OP_M3x3 || op == OP_M3x2) {
        const int rows = op == OP_M4x4 || op == OP_M3x4 ? 4 : op == OP_M3x2 ? 2 : 3;
        const DWORD dotOp = op == OP_M4x4 || op == OP_M4x3 ? OP_DP4 : OP_DP3;
        const Dest finalDst = e.dst;
        for (int r = 0; r < rows; ++r) {
            ExecOp row = e;
            row.opcode = static_cast<uint16_t>(dotOp);
            row.predicated = false;
            row.dst = Dest();
            row.dst.index = kScratchBase;
            row.dst.mask = static_cast<uint8_t>(1u << r);
            row.src[1].index = static_cast<uint16_t>(row.src[1].index + r);
            Emit(row);
        }
        ExecOp mov = e;
        mov.opcode = OP_MOV;
        mov.srcCount = 1;
        mov.src[0] = exec::Operand();
        mov.src[0].file = File::Lane;
        mov.src[0].index = kScratchBase;
        mov.dst = finalDst;
        mov.dst.mask = static_cast<uint8_t>(finalDst.mask & ((1u << rows) - 1));
        Emit(mov);
        return true;
    }
    if (op == OP_SETP) e.comparison = static_cast<uint8_t>(InstructionComparison(ins.token));
    if (op == OP_BEM) e.sampler = static_cast<uint8_t>(ins.dst.number);
    Emit(e);
    return true;
}

}  // namespace

bool TranslateShader(const std::vector<DecodedInstruction>& instructions, Profile profile, TranslatedShader* out) {
    *out = TranslatedShader();
    Translator t(profile, out);
    if (!t.Run(instructions)) return false;
    // Pad positions of ps_1_x texm sequences: each pad writes the next
    // component of the pad register.
    uint8_t pad = 0;
    for (ExecOp& op : out->program.ops) {
        if (op.kind != Kind::Ps1Tex) continue;
        if (op.opcode == OP_TEXM3x2PAD || op.opcode == OP_TEXM3x3PAD) {
            op.padComp = pad++;
        } else {
            op.padComp = pad;
            pad = 0;
        }
    }
    exec::FindRegistersToClear(&out->program);
    return true;
}

}  // namespace gfx
