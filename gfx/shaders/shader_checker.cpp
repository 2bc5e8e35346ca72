// Token-stream checks for every shader version: structure (lengths, comments,
// end token), registers and their ranges, modifiers, declarations, flow
// control nesting, the ps_1_x texture-stage rules and the instruction slot
// budgets of each model.
#include "gfx/shaders/shader_checker.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "gfx/shaders/shader_check_messages.h"

namespace gfx {

using namespace isa;

namespace {

const char* const kMessageFormats[] = {
    "no error",
    "unsupported shader version token 0x%08X",
    "instruction at token %u runs past the end of the shader",
    "no end token within the shader's %u tokens",
    "comment of %u tokens runs past the end of the shader",
    "unknown opcode %u",
    "'%s' is not available in %s",
    "'%s' has length field %u but its parameters take %u tokens",
    "instruction token 0x%08X of '%s' sets reserved or unknown control bits",
    "co-issue is not allowed on '%s' here",
    "predication is not allowed on '%s' in %s",
    "token %u of '%s' is not a parameter token (0x%08X)",
    "'%s' cannot write register %s",
    "'%s' cannot read register %s as operand %u",
    "register %s is out of range for %s",
    "write mask 0x%X is not allowed on '%s' in %s",
    "result modifier 0x%X is not allowed on '%s' in %s",
    "shift scale %d is not allowed on '%s' in %s",
    "source modifier %u is not allowed on operand %u of '%s' in %s",
    "relative addressing of %s is not allowed in %s",
    "invalid relative address token 0x%08X on '%s'",
    "invalid declaration of %s: %s",
    "declarations must come before the first instruction ('%s')",
    "register %s is used by '%s' without a declaration",
    "register %s is declared twice",
    "'%s' without a matching '%s'",
    "flow control nested deeper than %u levels",
    "'%s' block is not closed at the end of the shader",
    "label l%u is %s",
    "'ret' inside an open '%s' block",
    "'%s' outside any subroutine after the main program's 'ret'",
    "'%s' must follow '%s' on the next texture stage with the same source",
    "texture instruction '%s' after arithmetic instructions of the same phase",
    "swizzle 0x%02X is not allowed on operand %u of '%s' in %s",
    "'phase' may appear only once",
    "texture register t%u is read by '%s' before stage t%u",
    "'%s' needs %s",
    "%u %sinstruction slots exceed the %u that %s allows%s",
};

constexpr unsigned kMaxNesting = 64;

bool IsTextureOp(DWORD op) { return op >= OP_TEXCOORD && op <= OP_TEXDEPTH && op != OP_EXPP && op != OP_LOGP && op != OP_CND && op != OP_DEF; }
bool IsDefOp(DWORD op) { return op == OP_DEF || op == OP_DEFI || op == OP_DEFB; }

// Value-carrying source registers that ordinary arithmetic may read.
bool IsValueSourceType(DWORD type, bool pixel) {
    switch (type) {
        case REG_TEMP:
        case REG_INPUT:
        case REG_CONST:
        case REG_CONST2:
        case REG_CONST3:
        case REG_CONST4: return true;
        case REG_TEXTURE: return pixel;
        case REG_MISCTYPE: return pixel;
        default: return false;
    }
}

const char* BlockName(DWORD op) {
    switch (op) {
        case OP_IF: return "if";
        case OP_LOOP: return "loop";
        case OP_REP: return "rep";
        default: return "?";
    }
}

}  // namespace

const char* CheckMessageFormat(int code) {
    if (code < 0 || code >= static_cast<int>(sizeof kMessageFormats / sizeof kMessageFormats[0])) return "unknown error";
    return kMessageFormats[code];
}

bool ShaderChecker::Fail(CheckError* error, size_t offset, int code, ...) {
    if (error) {
        char buffer[256];
        va_list args;
        va_start(args, code);
        std::vsnprintf(buffer, sizeof buffer, CheckMessageFormat(code), args);
        va_end(args);
        error->code = code;
        error->text = buffer;
        error->offset = offset;
    }
    return false;
}

bool ShaderChecker::Begin(DWORD versionToken, DWORD kindFilter, CheckError* error) {
    *this = ShaderChecker();
    isa::Profile p;
    if (!ProfileFromVersionToken(versionToken, &p) || (kindFilter != 0 && VersionKind(versionToken) != kindFilter)) {
        return Fail(error, 0, kCheckVersion, static_cast<unsigned>(versionToken));
    }
    profile_ = p;
    pixel_ = IsPixelProfile(p);
    major_ = ProfileMajor(p);
    begun_ = true;
    return true;
}

bool ShaderChecker::DecodeParam(const DWORD* tokens, size_t count, size_t* pos, bool allowRelToken,
                                DecodedParam* out) {
    if (*pos >= count) return false;
    const DWORD t = tokens[(*pos)++];
    out->token = t;
    out->type = RegisterTypeOf(t);
    out->number = RegisterNumberOf(t);
    if (IsConstantType(out->type)) out->number = ConstantIndex(out->type, out->number);
    out->relative = IsRelative(t);
    out->relToken = 0;
    if (out->relative) {
        if (allowRelToken) {
            if (*pos >= count) return false;
            out->relToken = tokens[(*pos)++];
        } else {
            out->relToken = MakeRelativeAddress(REG_ADDR, 0);  // vs_1_1: implicitly a0.x
        }
    }
    return true;
}

bool ShaderChecker::Next(const DWORD* tokens, size_t count, size_t offset, Element* kind, size_t* consumed,
                         DecodedInstruction* out, CheckError* error) {
    if (count == 0) return Fail(error, offset, kCheckTruncated, static_cast<unsigned>(offset));
    const DWORD t = tokens[0];
    if (t == kEndToken) {
        *kind = Element::End;
        *consumed = 1;
        ended_ = true;
        return true;
    }
    if (IsComment(t)) {
        const size_t length = CommentLength(t);
        if (length + 1 > count) return Fail(error, offset, kCheckComment, static_cast<unsigned>(length));
        *kind = Element::Comment;
        *consumed = length + 1;
        return true;
    }
    *kind = Element::Instruction;
    if (t & kParamBit) return Fail(error, offset, kCheckParamToken, 0u, "instruction", static_cast<unsigned>(t));
    const InstructionInfo* info = FindInstructionForToken(t, profile_);
    if (!info) return Fail(error, offset, kCheckUnknownOpcode, static_cast<unsigned>(InstructionOpcode(t)));
    if (!info->AvailableIn(profile_)) return Fail(error, offset, kCheckNotInVersion, info->name, GetProfileInfo(profile_).name);

    DecodedInstruction ins;
    ins.token = t;
    ins.opcode = InstructionOpcode(t);
    ins.info = info;
    ins.form = info->Form(profile_);
    ins.offset = offset;

    // Control bits: only the comparison instructions and the tex variants use them.
    const DWORD control = InstructionControl(t);
    const bool comparison = ins.opcode == OP_IFC || ins.opcode == OP_BREAKC || ins.opcode == OP_SETP;
    bool controlOk = ins.opcode == OP_TEX ? true : comparison ? (control >= CMP_GT && control <= CMP_LE) : control == 0;
    if (t & (1u << 29)) controlOk = false;
    if (!HasLengthField(profile_) && InstructionLength(t) != 0) controlOk = false;
    if (!controlOk) return Fail(error, offset, kCheckControlBits, static_cast<unsigned>(t), info->name);
    if (IsCoissued(t) && !IsPs1x(profile_)) return Fail(error, offset, kCheckCoissue, info->name);
    ins.predicated = IsPredicated(t);
    if (ins.predicated) {
        const RegisterInfo* p = FindRegister("p");
        const bool flowOp = ins.form < 0 || ins.form == 0;
        if (!p->AvailableIn(profile_) || flowOp || ins.opcode == OP_DCL || IsDefOp(ins.opcode)) {
            return Fail(error, offset, kCheckPredication, info->name, GetProfileInfo(profile_).name);
        }
    }

    // Parameters: [dcl usage] [dst [rel]] [predicate] sources [rel] literals.
    const bool lengths = HasLengthField(profile_);
    const size_t available = lengths ? std::min(count, static_cast<size_t>(InstructionLength(t)) + 1) : count;
    const bool relTokens = profile_ != Profile::VS_1_1;
    size_t pos = 1;
    auto truncated = [&]() {
        if (lengths && count > InstructionLength(t) + 1u) {
            return Fail(error, offset, kCheckLength, info->name, static_cast<unsigned>(InstructionLength(t)),
                        static_cast<unsigned>(pos));
        }
        return Fail(error, offset, kCheckTruncated, static_cast<unsigned>(offset));
    };
    auto checkParam = [&](const DecodedParam& p, size_t at) {
        if (!(p.token & kParamBit)) {
            return Fail(error, offset, kCheckParamToken, static_cast<unsigned>(at), info->name, static_cast<unsigned>(p.token));
        }
        if (p.relative && relTokens && !(p.relToken & kParamBit)) {
            return Fail(error, offset, kCheckRelativeToken, static_cast<unsigned>(p.relToken), info->name);
        }
        return true;
    };
    if (ins.opcode == OP_DCL) {
        if (pos >= available) return truncated();
        ins.dclToken = tokens[pos++];
        if (!(ins.dclToken & kParamBit)) {
            return Fail(error, offset, kCheckParamToken, 1u, info->name, static_cast<unsigned>(ins.dclToken));
        }
    }
    int params = FormParameterCount(ins.form);
    if (FormHasDestination(ins.form)) {
        ins.hasDst = true;
        const size_t at = pos;
        if (!DecodeParam(tokens, available, &pos, relTokens, &ins.dst)) return truncated();
        if (!checkParam(ins.dst, at)) return false;
        --params;
    }
    if (ins.predicated) {
        const size_t at = pos;
        if (!DecodeParam(tokens, available, &pos, relTokens, &ins.pred)) return truncated();
        if (!checkParam(ins.pred, at)) return false;
    }
    for (int i = 0; i < params; ++i) {
        const size_t at = pos;
        if (!DecodeParam(tokens, available, &pos, relTokens, &ins.src[i])) return truncated();
        if (!checkParam(ins.src[i], at)) return false;
        ins.srcCount = i + 1;
    }
    ins.literalCount = FormLiteralTokens(ins.form);
    for (int i = 0; i < ins.literalCount; ++i) {
        if (pos >= available) return truncated();
        ins.literal[i] = tokens[pos++];
    }
    if (lengths && InstructionLength(t) != pos - 1) {
        return Fail(error, offset, kCheckLength, info->name, static_cast<unsigned>(InstructionLength(t)),
                    static_cast<unsigned>(pos - 1));
    }
    ins.size = pos;
    if (!CheckInstruction(ins, error)) return false;
    *consumed = pos;
    if (out) *out = ins;
    return true;
}

bool ShaderChecker::CheckRegisterNumber(const DecodedInstruction& ins, const DecodedParam& p, bool dst,
                                        CheckError* error) {
    const RegisterInfo* row = FindRegisterForToken(p.type, p.number, profile_);
    char name[24];
    FormatRegisterName(p.type, IsConstantType(p.type) ? p.number & 0x7FF : p.number, profile_, name, sizeof name);
    if (IsConstantType(p.type)) {
        std::snprintf(name, sizeof name, "c%u", static_cast<unsigned>(p.number));
    }
    if (!row) {
        return dst ? Fail(error, ins.offset, kCheckDstRegister, ins.info->name, name)
                   : Fail(error, ins.offset, kCheckRegisterRange, name, GetProfileInfo(profile_).name);
    }
    const int limit = row->Limit(profile_);
    const bool ok = row->fixedNumber >= 0 ? true : limit == 0 ? p.number == 0 : p.number < static_cast<DWORD>(limit);
    if (!ok) return Fail(error, ins.offset, kCheckRegisterRange, name, GetProfileInfo(profile_).name);
    return true;
}

bool ShaderChecker::CheckRelative(const DecodedInstruction& ins, const DecodedParam& p, bool dst, CheckError* error) {
    if (!p.relative) return true;
    const RegisterInfo* row = FindRegisterForToken(p.type, p.number, profile_);
    const bool dstAllowed = !dst || profile_ == Profile::VS_3_0 || profile_ == Profile::VS_3_SW;
    if (!row || !row->AllowsRelative(profile_) || !dstAllowed) {
        return Fail(error, ins.offset, kCheckRelative, row ? row->name : "this register", GetProfileInfo(profile_).name);
    }
    const DWORD r = p.relToken;
    const DWORD rtype = RegisterTypeOf(r);
    const bool addrOk = !pixel_ && rtype == REG_ADDR && RegisterNumberOf(r) == 0 && FindRegister("a")->AvailableIn(profile_);
    const bool loopOk = rtype == REG_LOOP && RegisterNumberOf(r) == 0 && FindRegister("aL")->AvailableIn(profile_);
    if (!(r & kParamBit) || (!addrOk && !loopOk) || SourceModifierOf(r) != 0 || IsRelative(r)) {
        return Fail(error, ins.offset, kCheckRelativeToken, static_cast<unsigned>(r), ins.info->name);
    }
    return true;
}

bool ShaderChecker::Declared(DWORD type, DWORD number) const {
    const auto& bits = declared_[type];
    return number / 32 < bits.size() && (bits[number / 32] >> (number % 32) & 1);
}

bool ShaderChecker::CheckDestination(const DecodedInstruction& ins, CheckError* error) {
    const DecodedParam& d = ins.dst;
    const DWORD op = ins.opcode;
    const char* name = ins.info->name;
    char reg[24];
    FormatRegisterName(d.type, d.number & 0x7FF, profile_, reg, sizeof reg);
    if (IsDefOp(op)) {
        const bool ok = op == OP_DEF ? IsConstantType(d.type) : op == OP_DEFI ? d.type == REG_CONSTINT : d.type == REG_CONSTBOOL;
        if (!ok || d.relative) return Fail(error, ins.offset, kCheckDstRegister, name, reg);
        return CheckRegisterNumber(ins, d, true, error);
    }
    if (op == OP_DCL) return true;  // CheckDcl
    // Which register types each instruction family may write.
    bool typeOk = false;
    switch (d.type) {
        case REG_TEMP: typeOk = op != OP_TEXKILL || pixel_; break;
        case REG_ADDR:  // a0 in vertex shaders, tN in pixel shaders
            if (!pixel_) typeOk = (op == OP_MOVA) || (profile_ == Profile::VS_1_1 && op == OP_MOV);
            else typeOk = (IsPs1x(profile_) && profile_ != Profile::PS_1_4) || op == OP_TEXKILL;
            if (pixel_ && profile_ == Profile::PS_1_4) typeOk = op == OP_TEXKILL;
            break;
        case REG_RASTOUT:
        case REG_ATTROUT:
        case REG_TEXCRDOUT: typeOk = !pixel_; break;
        case REG_COLOROUT:
        case REG_DEPTHOUT: typeOk = pixel_ && major_ >= 2; break;
        case REG_PREDICATE: typeOk = op == OP_SETP; break;
        default: typeOk = false;
    }
    if (op == OP_SETP && d.type != REG_PREDICATE) typeOk = false;
    if (op == OP_MOVA && d.type != REG_ADDR) typeOk = false;
    if (IsPs1x(profile_) && IsTextureOp(op) && op != OP_TEXKILL && op != OP_TEXDEPTH && profile_ != Profile::PS_1_4 &&
        d.type != REG_TEXTURE) {
        typeOk = false;
    }
    if (!typeOk) return Fail(error, ins.offset, kCheckDstRegister, name, reg);
    if (!CheckRegisterNumber(ins, d, true, error)) return false;
    if (!CheckRelative(ins, d, true, error)) return false;
    if (!pixel_ && major_ >= 3 && d.type == REG_OUTPUT && !d.relative && !Declared(REG_OUTPUT, d.number)) {
        return Fail(error, ins.offset, kCheckUndeclared, reg, name);
    }
    // Write mask.
    const DWORD mask = WriteMaskOf(d.token);
    if (mask == 0) return Fail(error, ins.offset, kCheckWriteMask, 0u, name, GetProfileInfo(profile_).name);
    if (IsPs1x(profile_) && profile_ != Profile::PS_1_4 && !IsTextureOp(op) && mask != 7 && mask != 8 && mask != 15) {
        return Fail(error, ins.offset, kCheckWriteMask, static_cast<unsigned>(mask), name, GetProfileInfo(profile_).name);
    }
    // Instructions that produce only some components: sincos x and y, crs x,
    // y and z. (The matrix instructions write their rows and leave the rest,
    // whatever the mask says.)
    DWORD produced = kMaskAll;
    if (op == OP_SINCOS) produced = kMaskX | kMaskY;
    if (op == OP_CRS) produced = kMaskX | kMaskY | kMaskZ;
    if (mask & ~produced) {
        return Fail(error, ins.offset, kCheckWriteMask, static_cast<unsigned>(mask), name, GetProfileInfo(profile_).name);
    }
    // Result modifiers and shift.
    const DWORD mods = ResultModifiersOf(d.token);
    DWORD allowed = 0;
    if (pixel_) allowed |= kResultSaturate;
    if (!pixel_ && major_ >= 3) allowed |= kResultSaturate;
    if (pixel_ && major_ >= 2) allowed |= kResultPartialPrecision | kResultCentroid;
    if (op == OP_TEXKILL) allowed = 0;
    if (mods & ~allowed) return Fail(error, ins.offset, kCheckResultModifier, static_cast<unsigned>(mods), name, GetProfileInfo(profile_).name);
    const int shift = ShiftOf(d.token);
    if (shift != 0 && (!IsPs1x(profile_) || shift < -3 || shift > 3 || IsTextureOp(op))) {
        return Fail(error, ins.offset, kCheckShift, shift, name, GetProfileInfo(profile_).name);
    }
    return true;
}

bool ShaderChecker::CheckSource(const DecodedInstruction& ins, int index, CheckError* error) {
    const DecodedParam& s = ins.src[index];
    const DWORD op = ins.opcode;
    const char* name = ins.info->name;
    char reg[24];
    FormatRegisterName(s.type, s.number & 0x7FF, profile_, reg, sizeof reg);
    if (IsConstantType(s.type)) std::snprintf(reg, sizeof reg, "c%u", static_cast<unsigned>(s.number));
    const unsigned operand = static_cast<unsigned>(index + (ins.hasDst ? 1 : 0));

    // Which register types this operand may name.
    bool typeOk;
    bool flowSource = false;
    switch (op) {
        case OP_IF: typeOk = s.type == REG_CONSTBOOL || s.type == REG_PREDICATE; flowSource = true; break;
        case OP_CALL:
        case OP_LABEL: typeOk = s.type == REG_LABEL; flowSource = true; break;
        case OP_CALLNZ:
            typeOk = index == 0 ? s.type == REG_LABEL : (s.type == REG_CONSTBOOL || s.type == REG_PREDICATE);
            flowSource = true;
            break;
        case OP_LOOP: typeOk = index == 0 ? s.type == REG_LOOP : s.type == REG_CONSTINT; flowSource = true; break;
        case OP_REP: typeOk = s.type == REG_CONSTINT; flowSource = true; break;
        case OP_BREAKP: typeOk = s.type == REG_PREDICATE; flowSource = true; break;
        case OP_TEX:
        case OP_TEXLDL:
        case OP_TEXLDD:
            if (IsPs1x(profile_)) typeOk = s.type == REG_TEXTURE || (s.type == REG_TEMP && phaseSeen_);
            else typeOk = index == 1 ? s.type == REG_SAMPLER : IsValueSourceType(s.type, pixel_);
            break;
        case OP_SINCOS:
            typeOk = IsValueSourceType(s.type, pixel_);
            if (index > 0 && !IsConstantType(s.type)) typeOk = false;
            break;
        default:
            if (IsPs1x(profile_) && IsTextureOp(op)) {
                // ps_1_x texture addressing reads earlier texture registers
                // (texm3x3spec also a constant; texcrd in ps_1_4 a texture coordinate).
                typeOk = s.type == REG_TEXTURE || (op == OP_TEXM3x3SPEC && index == 1 && IsConstantType(s.type));
            } else {
                typeOk = IsValueSourceType(s.type, pixel_);
                // ps_1_4 reads texture coordinates only through texcrd/texld.
                if (profile_ == Profile::PS_1_4 && s.type == REG_TEXTURE) typeOk = false;
            }
    }
    if (!typeOk) return Fail(error, ins.offset, kCheckSrcRegister, name, reg, operand);
    if (!CheckRegisterNumber(ins, s, false, error)) return false;
    if (!CheckRelative(ins, s, false, error)) return false;

    // Declarations required before use.
    if (!s.relative) {
        bool needsDcl = false;
        if (s.type == REG_SAMPLER) needsDcl = true;
        if (s.type == REG_INPUT) needsDcl = !pixel_ || major_ >= 2;
        if (s.type == REG_TEXTURE && pixel_ && major_ >= 2) needsDcl = true;
        if (s.type == REG_MISCTYPE) needsDcl = true;
        if (needsDcl && !Declared(s.type, s.number)) return Fail(error, ins.offset, kCheckUndeclared, reg, name);
    }

    // Source modifiers.
    const DWORD mod = SourceModifierOf(s.token);
    bool modOk;
    if (mod == SRCMOD_NOT) {
        modOk = s.type == REG_CONSTBOOL || s.type == REG_PREDICATE;
    } else if (flowSource || s.type == REG_SAMPLER || s.type == REG_LABEL || s.type == REG_LOOP) {
        modOk = mod == SRCMOD_NONE;
    } else if (IsPs1x(profile_)) {
        modOk = mod <= SRCMOD_X2NEG || ((mod == SRCMOD_DZ || mod == SRCMOD_DW) && profile_ == Profile::PS_1_4 &&
                                         (op == OP_TEX || op == OP_TEXCOORD));
    } else if (major_ >= 3) {
        modOk = mod == SRCMOD_NONE || mod == SRCMOD_NEG || mod == SRCMOD_ABS || mod == SRCMOD_ABSNEG;
    } else {
        modOk = mod == SRCMOD_NONE || mod == SRCMOD_NEG;
    }
    if (!modOk) return Fail(error, ins.offset, kCheckSourceModifier, static_cast<unsigned>(mod), operand, name, GetProfileInfo(profile_).name);

    // Swizzles of the ps_1_x and ps_2_0 models.
    const DWORD swz = SwizzleOf(s.token);
    bool swzOk = true;
    if (IsPs1x(profile_) && !flowSource) {
        const bool texCoordRead = profile_ == Profile::PS_1_4 && (op == OP_TEX || op == OP_TEXCOORD);
        if (texCoordRead) {
            swzOk = swz == kSwizzleIdentity || swz == 0xA4 /* xyzz */ || swz == 0xF4 /* xyww */;
        } else if (profile_ == Profile::PS_1_4) {
            swzOk = swz == kSwizzleIdentity || swz == kSwizzleXXXX || swz == kSwizzleYYYY || swz == kSwizzleZZZZ || swz == kSwizzleWWWW;
        } else {
            swzOk = swz == kSwizzleIdentity || swz == kSwizzleWWWW || swz == kSwizzleZZZZ;
        }
    } else if (profile_ == Profile::PS_2_0 && !flowSource && s.type != REG_SAMPLER) {
        swzOk = swz == kSwizzleIdentity || swz == kSwizzleXXXX || swz == kSwizzleYYYY || swz == kSwizzleZZZZ ||
                swz == kSwizzleWWWW || swz == MakeSwizzle(1, 2, 0, 3) || swz == MakeSwizzle(2, 0, 1, 3) ||
                swz == MakeSwizzle(3, 2, 1, 0);
    }
    if (!swzOk) return Fail(error, ins.offset, kCheckSwizzle, static_cast<unsigned>(swz), operand, name, GetProfileInfo(profile_).name);
    return true;
}

bool ShaderChecker::CheckDcl(const DecodedInstruction& ins, CheckError* error) {
    const DecodedParam& d = ins.dst;
    char reg[24];
    FormatRegisterName(d.type, d.number, profile_, reg, sizeof reg);
    if (bodyStarted_) return Fail(error, ins.offset, kCheckDclAfterBody, ins.info->name);
    if (d.relative) return Fail(error, ins.offset, kCheckDcl, reg, "relative addressing");
    if (WriteMaskOf(d.token) == 0) return Fail(error, ins.offset, kCheckDcl, reg, "empty write mask");
    if (ShiftOf(d.token) != 0 || (ResultModifiersOf(d.token) & ~(kResultPartialPrecision | kResultCentroid)) ||
        (ResultModifiersOf(d.token) && !pixel_)) {
        return Fail(error, ins.offset, kCheckDcl, reg, "modifiers");
    }
    const DWORD usage = DclUsageOf(ins.dclToken);
    const DWORD usageIndex = DclUsageIndexOf(ins.dclToken);
    bool ok = false;
    const char* why = "register type";
    switch (d.type) {
        case REG_INPUT:
            ok = !pixel_ || major_ >= 2;
            if ((!pixel_ || major_ >= 3) && usage >= kDeclUsageCount) { ok = false; why = "usage"; }
            break;
        case REG_TEXTURE: ok = pixel_ && major_ == 2; break;
        case REG_OUTPUT: ok = !pixel_ && major_ >= 3;
            if (usage >= kDeclUsageCount) { ok = false; why = "usage"; }
            break;
        case REG_MISCTYPE: ok = pixel_ && major_ >= 3; break;
        case REG_SAMPLER: {
            ok = pixel_ ? major_ >= 2 : major_ >= 3;
            const DWORD tt = DclTextureTypeOf(ins.dclToken);
            if (tt != TEXTURE_2D && tt != TEXTURE_CUBE && tt != TEXTURE_VOLUME) { ok = false; why = "texture type"; }
            break;
        }
        default: break;
    }
    // Bits outside the usage/index/texture-type fields are reserved.
    const DWORD reserved = d.type == REG_SAMPLER ? (ins.dclToken & 0x07FFFFFFu) : (ins.dclToken & 0x7FF0FFE0u);
    if (ok && reserved != 0) { ok = false; why = "reserved bits in the usage token"; }
    if (!ok) return Fail(error, ins.offset, kCheckDcl, reg, why);
    if (!CheckRegisterNumber(ins, d, true, error)) return false;
    // Version 3 inputs and outputs may pack several semantics into one
    // register, each declaring its own components.
    const bool packable = major_ >= 3 && (d.type == REG_INPUT || d.type == REG_OUTPUT);
    const DWORD mask = WriteMaskOf(d.token);
    if (packable) {
        DWORD& taken = declaredMask_[d.type == REG_INPUT ? 0 : 1][d.number & 15];
        if (taken & mask) return Fail(error, ins.offset, kCheckRedeclared, reg);
        taken |= mask;
    } else if (Declared(d.type, d.number)) {
        return Fail(error, ins.offset, kCheckRedeclared, reg);
    }
    if ((d.type == REG_INPUT || d.type == REG_OUTPUT) && (major_ >= 3 || !pixel_)) {
        const DWORD key = usage << 8 | usageIndex;
        for (const auto& [type, k] : declaredSemantics_) {
            if (type == d.type && k == key) return Fail(error, ins.offset, kCheckDcl, reg, "semantic already declared");
        }
        declaredSemantics_.push_back({d.type, key});
    }
    auto& bits = declared_[d.type];
    if (bits.size() <= d.number / 32) bits.resize(d.number / 32 + 1, 0);
    bits[d.number / 32] |= 1u << (d.number % 32);
    return true;
}

bool ShaderChecker::CheckFlow(const DecodedInstruction& ins, CheckError* error) {
    const DWORD op = ins.opcode;
    auto top = [&]() -> Block* { return blocks_.empty() ? nullptr : &blocks_.back(); };
    auto inLoop = [&]() {
        for (const Block& b : blocks_) if (b.opcode == OP_LOOP || b.opcode == OP_REP) return true;
        return false;
    };
    switch (op) {
        case OP_IF:
        case OP_IFC:
        case OP_LOOP:
        case OP_REP:
            if (blocks_.size() >= kMaxNesting) return Fail(error, ins.offset, kCheckNesting, kMaxNesting);
            blocks_.push_back({op == OP_IFC ? static_cast<DWORD>(OP_IF) : op, false});
            return true;
        case OP_ELSE:
            if (!top() || top()->opcode != OP_IF || top()->sawElse) return Fail(error, ins.offset, kCheckUnmatched, "else", "if");
            top()->sawElse = true;
            return true;
        case OP_ENDIF:
            if (!top() || top()->opcode != OP_IF) return Fail(error, ins.offset, kCheckUnmatched, "endif", "if");
            blocks_.pop_back();
            return true;
        case OP_ENDLOOP:
            if (!top() || top()->opcode != OP_LOOP) return Fail(error, ins.offset, kCheckUnmatched, "endloop", "loop");
            blocks_.pop_back();
            return true;
        case OP_ENDREP:
            if (!top() || top()->opcode != OP_REP) return Fail(error, ins.offset, kCheckUnmatched, "endrep", "rep");
            blocks_.pop_back();
            return true;
        case OP_BREAK:
        case OP_BREAKC:
        case OP_BREAKP:
            if (!inLoop()) return Fail(error, ins.offset, kCheckUnmatched, ins.info->name, "loop");
            return true;
        case OP_LABEL: {
            if (!blocks_.empty()) return Fail(error, ins.offset, kCheckOpenBlock, BlockName(top()->opcode));
            if (!mainEnded_ || inSubroutine_) return Fail(error, ins.offset, kCheckUnmatched, "label", "ret");
            const DWORD l = ins.src[0].number;
            if (std::find(labelsDefined_.begin(), labelsDefined_.end(), l) != labelsDefined_.end()) {
                return Fail(error, ins.offset, kCheckLabel, static_cast<unsigned>(l), "defined twice");
            }
            labelsDefined_.push_back(l);
            inSubroutine_ = true;
            return true;
        }
        case OP_RET:
            if (!blocks_.empty()) return Fail(error, ins.offset, kCheckRetInBlock, BlockName(top()->opcode));
            if (inSubroutine_) inSubroutine_ = false;
            else mainEnded_ = true;
            return true;
        case OP_CALL:
        case OP_CALLNZ:
            labelsCalled_.push_back(ins.src[0].number);
            return true;
        default: return true;
    }
}

bool ShaderChecker::CheckPs1Texture(const DecodedInstruction& ins, CheckError* error) {
    const DWORD op = ins.opcode;
    if (op == OP_PHASE) {
        if (phaseSeen_) return Fail(error, ins.offset, kCheckPhase);
        phaseSeen_ = true;
        texStageDone_ = false;
        return true;
    }
    if (IsDefOp(op)) return true;
    const bool tex = IsTextureOp(op);
    if (!tex) {
        if (padCount_ > 0) return Fail(error, ins.offset, kCheckTexSequence, ins.info->name, padKind_ == OP_TEXM3x2PAD ? "texm3x2pad" : "texm3x3pad");
        if (op != OP_NOP) texStageDone_ = true;
        return true;
    }
    if (texStageDone_) return Fail(error, ins.offset, kCheckTexOrder, ins.info->name);
    if (profile_ == Profile::PS_1_4) {
        if (op == OP_TEXDEPTH) {
            if (!phaseSeen_ || ins.dst.type != REG_TEMP || ins.dst.number != 5) return Fail(error, ins.offset, kCheckOperand, "texdepth", "r5 in the second phase");
        } else if (op != OP_TEXKILL && ins.dst.type != REG_TEMP) {
            return Fail(error, ins.offset, kCheckOperand, ins.info->name, "a temporary register destination");
        }
        return true;
    }
    // ps_1_1 to ps_1_3: destination tN is stage N; sources are earlier stages.
    const DWORD stage = ins.dst.number;
    for (int i = 0; i < ins.srcCount; ++i) {
        if (ins.src[i].type == REG_TEXTURE && ins.src[i].number >= stage) {
            return Fail(error, ins.offset, kCheckTexStage, static_cast<unsigned>(ins.src[i].number), ins.info->name, static_cast<unsigned>(stage));
        }
    }
    const bool pad2 = op == OP_TEXM3x2PAD, pad3 = op == OP_TEXM3x3PAD;
    const bool end2 = op == OP_TEXM3x2TEX || op == OP_TEXM3x2DEPTH;
    const bool end3 = op == OP_TEXM3x3TEX || op == OP_TEXM3x3SPEC || op == OP_TEXM3x3VSPEC || op == OP_TEXM3x3;
    const char* padName = padKind_ == OP_TEXM3x2PAD ? "texm3x2pad" : "texm3x3pad";
    if (padCount_ > 0) {
        const bool continues = (padKind_ == OP_TEXM3x2PAD && end2) ||
                               (padKind_ == OP_TEXM3x3PAD && (padCount_ == 1 ? pad3 : end3));
        if (!continues || stage != padNextStage_ || ins.src[0].number != padSource_) {
            return Fail(error, ins.offset, kCheckTexSequence, ins.info->name, padName);
        }
        if (pad3) {
            ++padCount_;
            ++padNextStage_;
        } else {
            padCount_ = 0;
        }
        return true;
    }
    if (pad2 || pad3) {
        padKind_ = op;
        padCount_ = 1;
        padNextStage_ = stage + 1;
        padSource_ = ins.src[0].number;
        return true;
    }
    if (end2 || end3) return Fail(error, ins.offset, kCheckTexSequence, ins.info->name, end2 ? "texm3x2pad" : "texm3x3pad");
    return true;
}

bool ShaderChecker::CheckInstruction(const DecodedInstruction& ins, CheckError* error) {
    const DWORD op = ins.opcode;
    if (mainEnded_ && !inSubroutine_ && op != OP_LABEL) return Fail(error, ins.offset, kCheckAfterMain, ins.info->name);
    if (IsCoissued(ins.token)) {
        if (IsTextureOp(op) || IsDefOp(op) || op == OP_PHASE || op == OP_NOP || !lastWasCoissuable_) {
            return Fail(error, ins.offset, kCheckCoissue, ins.info->name);
        }
        lastWasCoissuable_ = false;
    } else {
        lastWasCoissuable_ = IsPs1x(profile_) && !IsTextureOp(op) && !IsDefOp(op) && op != OP_PHASE && op != OP_NOP;
    }
    if (op != OP_DCL && !IsDefOp(op)) bodyStarted_ = true;
    if (ins.hasDst && op == OP_DCL) {
        if (!CheckDcl(ins, error)) return false;
    } else if (ins.hasDst && !CheckDestination(ins, error)) {
        return false;
    }
    if (ins.predicated) {
        const DecodedParam& p = ins.pred;
        const DWORD mod = SourceModifierOf(p.token);
        if (p.type != REG_PREDICATE || p.number != 0 || p.relative || (mod != SRCMOD_NONE && mod != SRCMOD_NOT)) {
            return Fail(error, ins.offset, kCheckOperand, ins.info->name, "the predicate register p0 as its predicate");
        }
    }
    for (int i = 0; i < ins.srcCount; ++i) {
        if (!CheckSource(ins, i, error)) return false;
    }
    if (IsPs1x(profile_) && !CheckPs1Texture(ins, error)) return false;
    if (!CheckFlow(ins, error)) return false;
    // A co-issued ps_1_x instruction shares the slot of the one before it.
    if (op == OP_PHASE) {
        if (!CheckSlots(ins.offset, " in the first phase", error)) return false;
        phaseSlots_ = SlotCost();
    } else if (!IsCoissued(ins.token)) {
        const SlotCost cost = InstructionSlots(*ins.info, profile_);
        phaseSlots_.arithmetic = static_cast<uint8_t>(std::min(phaseSlots_.arithmetic + cost.arithmetic, 255));
        phaseSlots_.texture = static_cast<uint8_t>(std::min(phaseSlots_.texture + cost.texture, 255));
        arithmeticSlots_ += cost.arithmetic;
        textureSlots_ += cost.texture;
    }
    return true;
}

bool ShaderChecker::CheckSlots(size_t offset, const char* where, CheckError* error) {
    const SlotLimits& limits = GetSlotLimits(profile_);
    const char* name = GetProfileInfo(profile_).name;
    // ps_1_4 counts each phase apart; the others count the whole program.
    const unsigned arithmetic = limits.perPhase ? phaseSlots_.arithmetic : arithmeticSlots_;
    const unsigned texture = limits.perPhase ? phaseSlots_.texture : textureSlots_;
    if (!limits.perPhase) where = "";
    if (arithmetic + texture > static_cast<unsigned>(limits.total))
        return Fail(error, offset, kCheckSlots, arithmetic + texture, "", static_cast<unsigned>(limits.total), name, where);
    if (arithmetic > static_cast<unsigned>(limits.arithmetic))
        return Fail(error, offset, kCheckSlots, arithmetic, "arithmetic ", static_cast<unsigned>(limits.arithmetic), name, where);
    if (texture > static_cast<unsigned>(limits.texture))
        return Fail(error, offset, kCheckSlots, texture, "texture ", static_cast<unsigned>(limits.texture), name, where);
    return true;
}

bool ShaderChecker::Finish(CheckError* error) {
    if (!blocks_.empty()) return Fail(error, 0, kCheckOpenBlock, BlockName(blocks_.back().opcode));
    if (padCount_ > 0) return Fail(error, 0, kCheckTexSequence, "end", padKind_ == OP_TEXM3x2PAD ? "texm3x2pad" : "texm3x3pad");
    for (DWORD l : labelsCalled_) {
        if (std::find(labelsDefined_.begin(), labelsDefined_.end(), l) == labelsDefined_.end()) {
            return Fail(error, 0, kCheckLabel, static_cast<unsigned>(l), "called but not defined");
        }
    }
    if (inSubroutine_) return Fail(error, 0, kCheckUnmatched, "label", "ret");
    return CheckSlots(0, phaseSeen_ ? " in the second phase" : "", error);
}

bool CountInstructionSlots(const DWORD* tokens, size_t count, SlotCount* out) {
    ShaderChecker checker;
    CheckError error;
    if (!tokens || count == 0 || !checker.Begin(tokens[0], 0, &error)) return false;
    for (size_t pos = 1; pos < count && !checker.Ended();) {
        ShaderChecker::Element kind;
        size_t consumed = 0;
        // A ps_1_4 phase over its budget stops the walk like any other fault.
        if (!checker.Next(tokens + pos, count - pos, pos, &kind, &consumed, nullptr, &error)) return false;
        pos += consumed;
    }
    if (!checker.Ended()) return false;
    out->profile = checker.Profile();
    out->arithmetic = checker.ArithmeticSlots();
    out->texture = checker.TextureSlots();
    return true;
}

}  // namespace gfx
