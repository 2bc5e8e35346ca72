#include "shader/asm/asm_encode.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "shader/asm/asm_fragment.h"
#include "shader/asm/asm_messages.h"
#include "shader/asm/asm_mnemonic.h"
#include "shader/asm/asm_operands.h"

using namespace gfx::isa;

namespace {

bool InColumns(Profile p, int first, int last) {
    const int c = ProfileColumn(p);
    return c >= first && c <= last;
}

// Scalar instructions of vs_1_1 whose unswizzled source reads .w.
bool ReadsWInVs11(DWORD opcode) {
    return opcode == OP_RCP || opcode == OP_RSQ || opcode == OP_EXP || opcode == OP_LOG || opcode == OP_EXPP ||
           opcode == OP_LOGP;
}

class StatementEncoder {
public:
    StatementEncoder(Profile p, const AsmStatement& s, const std::vector<AsmOperand>& operands,
                     FragmentNames* fragment, ErrorLog& log)
        : p_(p), s_(s), operands_(operands), fragment_(fragment), log_(log) {}

    bool Encode(std::vector<uint32_t>* out);

private:
    const AsmOperand& Operand(size_t i) const { return operands_[size_t(s_.operands[i])]; }
    bool SyntaxError(const char* what) {
        log_.Report(&s_.at, asmdiag::kSyntaxError, what);
        return false;
    }
    bool CheckName();
    bool CheckFragmentRules();
    bool CheckPrefixes();
    // The register of an operand: a fragment name, or from the register table.
    bool Resolve(const AsmOperand& o, ResolvedRegister* reg);
    bool CheckOperandCount();
    // A register operand (not a literal); reports a syntax error otherwise.
    bool RequireRegister(const AsmOperand& o);
    bool Destination(const AsmOperand& o);
    bool Predicate(const AsmOperand& o);
    bool Source(const AsmOperand& o, size_t sourceIndex);
    bool Literals();
    // Tokens the statement needs, counted from the parsed operands.
    size_t ExpectedTokens() const;

    Profile p_;
    const AsmStatement& s_;
    const std::vector<AsmOperand>& operands_;
    FragmentNames* fragment_;
    ErrorLog& log_;
    Mnemonic m_;
    std::vector<uint32_t> tokens_;
    DWORD destType_ = 0;
};

bool StatementEncoder::CheckName() {
    std::string bad;
    switch (ParseMnemonic(s_.name, p_, &m_, &bad)) {
        case MnemonicStatus::Ok: return true;
        case MnemonicStatus::Unknown: break;
        case MnemonicStatus::NotInVersion:
            SyntaxError((std::string("token '") + s_.name + "'").c_str());
            log_.Report(&s_.at, asmdiag::kNotInVersion, bad.c_str());
            return false;
        case MnemonicStatus::BadSuffix:
            SyntaxError((std::string("token '") + s_.name + "'").c_str());
            log_.Report(&s_.at, asmdiag::kInvalidModifiers, bad.c_str());
            return false;
    }
    return SyntaxError((std::string("token '") + s_.name + "'").c_str());
}

bool StatementEncoder::Resolve(const AsmOperand& o, ResolvedRegister* reg) {
    bool ok = false;
    if (fragment_ && fragment_->Resolve(o, p_, log_, reg, &ok)) return ok;
    return ResolveRegister(o, p_, log_, reg);
}

// Fragments are joined by a linker: no subroutines, and matrices only from
// constants, whose rows the linker can follow.
bool StatementEncoder::CheckFragmentRules() {
    if (!fragment_) return true;
    const DWORD opcode = m_.row->opcode();
    if (opcode == OP_CALL || opcode == OP_CALLNZ || opcode == OP_LABEL || opcode == OP_RET) {
        log_.Report(&s_.at, asmdiag::kFragmentCalls);
        return false;
    }
    const bool matrix = opcode >= OP_M4x4 && opcode <= OP_M3x2;
    if (matrix && s_.operands.size() == 3) {
        const AsmOperand& m = Operand(2);
        if (!m.literal && m.name && (!std::strncmp(m.name, "r_", 2) || m.name[0] == 'r')) {
            log_.Report(&s_.at, asmdiag::kFragmentTempMatrix);
            return false;
        }
    }
    return true;
}

bool StatementEncoder::CheckPrefixes() {
    bool ok = true;
    if (s_.coissue && !IsPs1x(p_)) {
        log_.Report(&s_.at, asmdiag::kCoissueUnsupported);
        ok = false;
    }
    if (s_.predicate >= 0 && !(InColumns(p_, 2, 5) || InColumns(p_, 11, 14))) {
        log_.Report(&s_.at, asmdiag::kPredicationUnsupported);
        ok = false;
    }
    return ok;
}

bool StatementEncoder::CheckOperandCount() {
    const int wanted = m_.form >= 0 ? m_.form : FormHasDestination(m_.form) ? 1 + FormLiteralTokens(m_.form)
                                                                            : FormParameterCount(m_.form);
    const int given = int(s_.operands.size());
    if (given < wanted) return SyntaxError("end of line");
    if (given > wanted) return SyntaxError("token ','");
    return true;
}

bool StatementEncoder::RequireRegister(const AsmOperand& o) {
    if (!o.literal) return true;
    char text[64];
    if (o.integer) std::snprintf(text, sizeof(text), "integer '%.0f'", std::fabs(o.number));
    else std::snprintf(text, sizeof(text), "float '%g'", std::fabs(o.number));
    log_.Report(&o.at, asmdiag::kSyntaxError, text);
    return false;
}

bool StatementEncoder::Destination(const AsmOperand& o) {
    if (!RequireRegister(o)) return false;
    ResolvedRegister reg;
    if (!Resolve(o, &reg)) return false;
    if (reg.hasSuffix || o.negates || o.nots || o.complement) {
        log_.Report(&o.at, asmdiag::kDestinationModifiers);
        return false;
    }
    if (reg.relative && !InColumns(p_, 4, 5)) {
        log_.Report(&o.at, asmdiag::kRelativeDestination);
        return false;
    }
    DWORD mask = kMaskAll;
    if (o.swizzle) {
        if (reg.row->scalar) {
            log_.Report(&o.at, asmdiag::kScalarMasked);
            return false;
        }
        if (!ParseWriteMask(o.swizzle, &mask)) {
            log_.Report(&o.at, asmdiag::kInvalidMask, o.swizzle);
            return false;
        }
    }
    const DWORD opcode = m_.row->opcode();
    if (p_ == Profile::VS_1_1 && mask == kMaskAll) {
        // vs_1_1 writes only the rows a matrix instruction produces.
        if (opcode == OP_M4x3 || opcode == OP_M3x3) mask = kMaskX | kMaskY | kMaskZ;
        if (opcode == OP_M3x2) mask = kMaskX | kMaskY;
    }
    destType_ = reg.type;
    tokens_.push_back(MakeDest(reg.type, reg.number, mask, m_.resultModifiers, m_.shift, reg.relative));
    if (reg.relative && HasLengthField(p_)) tokens_.push_back(AddressToken(reg));
    return true;
}

bool StatementEncoder::Predicate(const AsmOperand& o) {
    if (!RequireRegister(o)) return false;
    ResolvedRegister reg;
    if (!Resolve(o, &reg)) return false;
    if (reg.type != REG_PREDICATE) {
        log_.Report(&o.at, asmdiag::kPredicatesUnsupported);
        return false;
    }
    if (reg.relative) {
        log_.Report(&o.at, asmdiag::kRelativePredicate);
        return false;
    }
    if (reg.hasSuffix || o.negates || o.complement || o.nots > 1) {
        log_.Report(&o.at, asmdiag::kPredicateModifiers);
        return false;
    }
    DWORD swizzle = kSwizzleIdentity;
    if (o.swizzle && !ParseSwizzle(o.swizzle, &swizzle)) {
        log_.Report(&o.at, asmdiag::kInvalidSwizzle, o.swizzle);
        return false;
    }
    tokens_.push_back(MakeSource(reg.type, reg.number, swizzle, o.nots ? SRCMOD_NOT : SRCMOD_NONE));
    return true;
}

bool StatementEncoder::Source(const AsmOperand& o, size_t sourceIndex) {
    if (!RequireRegister(o)) return false;
    ResolvedRegister reg;
    if (!Resolve(o, &reg)) return false;
    DWORD modifier;
    if (!CombineSourceModifier(o, reg, p_, log_, &modifier)) return false;
    DWORD swizzle = kSwizzleIdentity;
    if (o.swizzle) {
        if (reg.row->scalar) {
            log_.Report(&o.at, asmdiag::kScalarSwizzled);
            return false;
        }
        if (!ParseSwizzle(o.swizzle, &swizzle)) {
            log_.Report(&o.at, asmdiag::kInvalidSwizzle, o.swizzle);
            return false;
        }
    }
    const DWORD opcode = m_.row->opcode();
    if (opcode == OP_SUB && sourceIndex == 1 && !IsPs1x(p_)) {
        // Outside ps_1_x, a - b is written as a + (-b).
        switch (modifier) {
            case SRCMOD_NONE: modifier = SRCMOD_NEG; break;
            case SRCMOD_NEG: modifier = SRCMOD_NONE; break;
            case SRCMOD_BIAS: modifier = SRCMOD_BIASNEG; break;
            case SRCMOD_BIASNEG: modifier = SRCMOD_BIAS; break;
            case SRCMOD_SIGN: modifier = SRCMOD_SIGNNEG; break;
            case SRCMOD_SIGNNEG: modifier = SRCMOD_SIGN; break;
            case SRCMOD_X2: modifier = SRCMOD_X2NEG; break;
            case SRCMOD_X2NEG: modifier = SRCMOD_X2; break;
            case SRCMOD_ABS: modifier = SRCMOD_ABSNEG; break;
            case SRCMOD_ABSNEG: modifier = SRCMOD_ABS; break;
            default:
                log_.Report(&o.at, asmdiag::kSubModifiers);
                return false;
        }
    }
    if (p_ == Profile::VS_1_1 && swizzle == kSwizzleIdentity && ReadsWInVs11(opcode)) swizzle = kSwizzleWWWW;
    tokens_.push_back(MakeSource(reg.type, reg.number, swizzle, modifier, reg.relative));
    if (reg.relative && HasLengthField(p_)) tokens_.push_back(AddressToken(reg));
    return true;
}

// def: four floats; defi: four integers; defb: "true" or "false".
bool StatementEncoder::Literals() {
    for (size_t i = 1; i < s_.operands.size(); ++i) {
        const AsmOperand& o = Operand(i);
        if (m_.form == kFormDefB) {
            const bool word = !o.literal && !o.bracketed && !o.swizzle && !o.negates && !o.nots && !o.complement;
            if (word && !std::strcmp(o.name, "true")) tokens_.push_back(1);
            else if (word && !std::strcmp(o.name, "false")) tokens_.push_back(0);
            else return SyntaxError(o.literal ? "number" : (std::string("token '") + o.name + "'").c_str());
            continue;
        }
        if (!o.literal || o.nots || o.complement) {
            return SyntaxError(o.literal ? "token '!'" : (std::string("token '") + o.name + "'").c_str());
        }
        const double value = o.negates % 2 ? -o.number : o.number;
        if (m_.form == kFormDefI) {
            if (!o.integer || value < -2147483648.0 || value > 4294967295.0) {
                return SyntaxError(o.integer ? "integer constant" : "float constant");
            }
            tokens_.push_back(uint32_t(int64_t(value)));
        } else {
            const float f = static_cast<float>(value);
            uint32_t bits;
            std::memcpy(&bits, &f, 4);
            tokens_.push_back(bits);
        }
    }
    return true;
}

size_t StatementEncoder::ExpectedTokens() const {
    const bool addressTokens = HasLengthField(p_);
    auto relative = [&](const AsmOperand& o) { return o.bracketed && o.address.registers > 0 && addressTokens; };
    size_t n = 1;
    if (m_.row->opcode() == OP_DCL) ++n;
    const bool hasDest = FormHasDestination(m_.form) || m_.form > 0;
    size_t first = 0;
    if (hasDest && !s_.operands.empty()) {
        n += 1 + (relative(Operand(0)) ? 1 : 0);
        first = 1;
    }
    if (s_.predicate >= 0) ++n;
    const int literals = FormLiteralTokens(m_.form);
    if (literals > 0) return n + size_t(literals);
    for (size_t i = first; i < s_.operands.size(); ++i) n += 1 + (relative(Operand(i)) ? 1 : 0);
    return n;
}

bool StatementEncoder::Encode(std::vector<uint32_t>* out) {
    if (!CheckName() || !CheckFragmentRules()) return false;
    bool ok = CheckPrefixes();
    if (!CheckOperandCount()) return false;

    DWORD token = m_.row->token;
    if (m_.comparison) token = WithComparison(token, m_.comparison);
    if (m_.row->opcode() == OP_SUB && !IsPs1x(p_)) token = (token & ~0xFFFFu) | OP_ADD;
    if (s_.coissue) token |= kCoissueBit;
    if (s_.predicate >= 0) token |= kPredicatedBit;
    tokens_.push_back(token);

    const bool dcl = m_.row->opcode() == OP_DCL;
    if (dcl) tokens_.push_back(0);  // the usage token, filled once the register is known
    const bool hasDest = m_.form > 0 || FormHasDestination(m_.form);
    size_t next = 0;
    if (hasDest) ok = Destination(Operand(next++)) && ok;
    if (s_.predicate >= 0) ok = Predicate(operands_[size_t(s_.predicate)]) && ok;
    if (FormLiteralTokens(m_.form) > 0) {
        ok = ok && Literals();
    } else {
        for (size_t source = 0; next < s_.operands.size(); ++next, ++source) ok = Source(Operand(next), source) && ok;
    }
    if (!ok) return false;

    if (dcl) {
        const bool sampler = destType_ == REG_SAMPLER;
        if (m_.textureType && !sampler) return SyntaxError((std::string("token '") + s_.name + "'").c_str());
        if (!sampler && !m_.hasUsage && InColumns(p_, 0, 5)) {
            log_.Report(&s_.at, asmdiag::kInvalidModifiers, s_.name);
            return false;
        }
        tokens_[1] = sampler ? MakeDclSampler(m_.textureType)
                   : m_.hasUsage ? MakeDclUsage(m_.usage, m_.usageIndex)
                                 : kParamBit;
    }
    if (tokens_.size() != ExpectedTokens()) {
        log_.Report(&s_.at, asmdiag::kSizeMismatch);
        return false;
    }
    if (HasLengthField(p_)) tokens_[0] |= DWORD(tokens_.size() - 1) << 24;
    out->insert(out->end(), tokens_.begin(), tokens_.end());
    return true;
}

}  // namespace

bool EncodeStatement(Profile profile, const AsmStatement& statement, const std::vector<AsmOperand>& operands,
                     FragmentNames* fragment, ErrorLog& log, std::vector<uint32_t>* tokens) {
    StatementEncoder encoder(profile, statement, operands, fragment, log);
    return encoder.Encode(tokens);
}
