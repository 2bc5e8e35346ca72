#include "shader/asm/asm_operands.h"

#include <cstring>
#include <string>

#include "shader/asm/asm_messages.h"

using namespace gfx::isa;

namespace {

bool InColumns(Profile p, int first, int last) {
    const int c = ProfileColumn(p);
    return c >= first && c <= last;
}

// Source modifiers written as a suffix of the register name, with the columns
// that know them.
struct SuffixModifier {
    const char* text;
    DWORD modifier;
    bool ps1x;  // columns 6-9; otherwise "_abs" in columns 4-5 and 13-14
};
constexpr SuffixModifier kSuffixModifiers[] = {
    {"_bias", SRCMOD_BIAS, true}, {"_bx2", SRCMOD_SIGN, true}, {"_x2", SRCMOD_X2, true},
    {"_dz", SRCMOD_DZ, true},     {"_db", SRCMOD_DZ, true},    {"_dw", SRCMOD_DW, true},
    {"_da", SRCMOD_DW, true},     {"_abs", SRCMOD_ABS, false},
};

bool SuffixAllowed(const SuffixModifier& s, Profile p) {
    return s.ps1x ? IsPs1x(p) : (InColumns(p, 4, 5) || InColumns(p, 13, 14));
}

int ComponentIndex(char c) {
    switch (c) {
        case 'x': case 'r': return 0;
        case 'y': case 'g': return 1;
        case 'z': case 'b': return 2;
        case 'w': case 'a': return 3;
        default: return -1;
    }
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "r12_bx2" -> letters "r", number 12, suffix "_bx2". False for any other shape.
struct NameParts {
    std::string letters;
    bool hasNumber = false;
    uint32_t number = 0;
    const char* suffix = nullptr;
};
bool SplitName(const char* text, NameParts* parts) {
    const char* p = text;
    while (IsLetter(*p)) ++p;
    if (p == text) return false;
    parts->letters.assign(text, p);
    while (*p >= '0' && *p <= '9') {
        parts->hasNumber = true;
        if (parts->number > 100000) return false;  // far beyond every register count
        parts->number = parts->number * 10 + uint32_t(*p++ - '0');
    }
    if (*p == '_') parts->suffix = p;
    else if (*p) return false;
    return true;
}

// The register text without its modifier suffix, for messages.
std::string RegisterText(const AsmOperand& operand, const NameParts& parts) {
    std::string text = operand.name;
    if (parts.suffix) text.resize(size_t(parts.suffix - operand.name));
    return text;
}

bool ResolveAddress(const AsmOperand& operand, Profile profile, ErrorLog& log, ResolvedRegister* out) {
    const AsmAddress& a = operand.address;
    if (a.registers > 1) {
        log.Report(&operand.at, asmdiag::kOneAddressRegister);
        return false;
    }
    const bool vs11 = profile == Profile::VS_1_1;
    const RegisterInfo* row = FindRegister(a.reg);
    if (vs11) {
        // Version 1.1 has no address token: the address is always a0.x.
        if (!a.reg || std::strcmp(a.reg, "a0") != 0 || !a.component || std::strcmp(a.component, "x") != 0) {
            log.Report(&operand.at, asmdiag::kVs11AddressRegister);
            return false;
        }
        out->addressType = REG_ADDR;
        return true;
    }
    if (a.reg && std::strcmp(a.reg, "aL") == 0) {
        row = FindRegister("aL");
        if (!row->AvailableIn(profile) || a.component) {
            log.Report(&operand.at, asmdiag::kInvalidRegisterRelative, operand.name);
            return false;
        }
        out->addressType = REG_LOOP;
        return true;
    }
    row = FindRegister("a");
    DWORD swizzle = kSwizzleXXXX;
    const bool componentOk = !a.component || (ParseSwizzle(a.component, &swizzle) && std::strlen(a.component) == 1);
    if (!a.reg || std::strcmp(a.reg, "a0") != 0 || !row->AvailableIn(profile) || !componentOk) {
        log.Report(&operand.at, asmdiag::kInvalidRegisterRelative, operand.name);
        return false;
    }
    out->addressType = REG_ADDR;
    out->addressComponent = SwizzleComponent(swizzle, 0);
    return true;
}

}  // namespace

bool ParseWriteMask(const char* letters, DWORD* mask) {
    DWORD bits = 0;
    int previous = -1;
    size_t n = std::strlen(letters);
    if (n == 0 || n > 4) return false;
    for (size_t i = 0; i < n; ++i) {
        const int c = ComponentIndex(letters[i]);
        if (c <= previous) return false;
        bits |= 1u << c;
        previous = c;
    }
    *mask = bits;
    return true;
}

bool ParseSwizzle(const char* letters, DWORD* swizzle) {
    size_t n = std::strlen(letters);
    if (n == 0 || n > 4) return false;
    int components[4];
    for (size_t i = 0; i < 4; ++i) {
        components[i] = i < n ? ComponentIndex(letters[i]) : components[i - 1];
        if (components[i] < 0) return false;
    }
    *swizzle = MakeSwizzle(DWORD(components[0]), DWORD(components[1]), DWORD(components[2]), DWORD(components[3]));
    return true;
}

bool ResolveRegister(const AsmOperand& operand, Profile profile, ErrorLog& log, ResolvedRegister* out) {
    *out = ResolvedRegister{};
    NameParts parts;
    const bool shaped = SplitName(operand.name, &parts);
    const RegisterInfo* row = shaped ? FindRegister(parts.letters.c_str()) : nullptr;
    const std::string text = shaped ? RegisterText(operand, parts) : std::string(operand.name);
    auto invalid = [&]() {
        log.Report(&operand.at, asmdiag::kInvalidRegister, text.c_str());
        return false;
    };
    if (!row || !row->AvailableIn(profile)) return invalid();

    // The modifier suffix, after the name or after the brackets.
    const char* suffix = parts.suffix;
    if (operand.bracketSuffix) {
        if (suffix) return invalid();
        suffix = operand.bracketSuffix;
    }
    if (suffix) {
        const SuffixModifier* found = nullptr;
        for (const SuffixModifier& s : kSuffixModifiers)
            if (std::strcmp(s.text, suffix) == 0 && SuffixAllowed(s, profile)) found = &s;
        if (!found) {
            log.Report(&operand.at, asmdiag::kInvalidRegister, operand.name);
            return false;
        }
        out->suffixModifier = found->modifier;
        out->hasSuffix = true;
    }

    out->row = row;
    const int count = row->Count(profile);
    if (count == 0) {
        // A name that stands for one fixed register: no number, no brackets.
        if (parts.hasNumber || operand.bracketed) return invalid();
        out->type = row->type;
        out->number = DWORD(row->fixedNumber < 0 ? 0 : row->fixedNumber);
        return true;
    }
    const uint32_t limit = uint32_t(count < 0 ? -count : count);
    uint64_t index = parts.number;
    if (!operand.bracketed) {
        if (!parts.hasNumber || index >= limit) return invalid();
    } else {
        int64_t full = int64_t(index) + operand.address.offset;
        if (operand.address.registers == 0) {
            // "c[12]": a plain register number written in brackets.
            if (full < 0 || uint64_t(full) >= limit) {
                log.Report(&operand.at, asmdiag::kInvalidRegisterIndexed, parts.letters.c_str(),
                           unsigned(full < 0 ? 0 : uint32_t(full)));
                return false;
            }
            index = uint64_t(full);
        } else {
            // The count is not checked with a relative index, but the base
            // must still fit the token's number field.
            if (!row->AllowsRelative(profile) || full < 0 || full >= 8192 ||
                (row->type != REG_CONST && full >= 2048)) {
                log.Report(&operand.at, asmdiag::kInvalidRegisterRelative, text.c_str());
                return false;
            }
            if (!ResolveAddress(operand, profile, log, out)) return false;
            out->relative = true;
            index = uint64_t(full);
        }
    }
    out->type = row->type;
    out->number = DWORD(index);
    if (row->type == REG_CONST) {
        out->type = ConstantRegisterType(DWORD(index));
        out->number = DWORD(index) & 2047;
    }
    return true;
}

bool CombineSourceModifier(const AsmOperand& operand, const ResolvedRegister& reg, Profile profile, ErrorLog& log,
                           DWORD* modifier) {
    DWORD mod = reg.suffixModifier;
    if (operand.complement) {
        if (!IsPs1x(profile)) {
            log.Report(&operand.at, asmdiag::kComplementUnsupported);
            return false;
        }
        if (operand.complementLiteral != 1.0) {
            log.Report(&operand.at, asmdiag::kInvalidComplement);
            return false;
        }
        if (reg.hasSuffix || operand.negates || operand.nots) {
            log.Report(&operand.at, asmdiag::kComplementWithModifiers);
            return false;
        }
        *modifier = SRCMOD_COMP;
        return true;
    }
    if (operand.nots) {
        if (operand.nots > 1 || reg.hasSuffix || operand.negates) {
            log.Report(&operand.at, asmdiag::kNotWithModifiers);
            return false;
        }
        *modifier = SRCMOD_NOT;
        return true;
    }
    if (operand.negates % 2) {
        switch (mod) {
            case SRCMOD_NONE: mod = SRCMOD_NEG; break;
            case SRCMOD_BIAS: mod = SRCMOD_BIASNEG; break;
            case SRCMOD_SIGN: mod = SRCMOD_SIGNNEG; break;
            case SRCMOD_X2: mod = SRCMOD_X2NEG; break;
            case SRCMOD_ABS: mod = SRCMOD_ABSNEG; break;
            default:
                log.Report(&operand.at, asmdiag::kNegateAndDivide);
                return false;
        }
    }
    *modifier = mod;
    return true;
}

DWORD AddressToken(const ResolvedRegister& reg) {
    return MakeRelativeAddress(reg.addressType, reg.addressComponent);
}
