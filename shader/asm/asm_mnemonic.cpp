#include "shader/asm/asm_mnemonic.h"

#include <cstring>
#include <vector>

using namespace gfx::isa;

namespace {

// Each part of a name is at most this long; a longer one is a syntax error.
constexpr size_t kMaxPart = 15;

bool InColumns(Profile p, int first, int last) {
    const int c = ProfileColumn(p);
    return c >= first && c <= last;
}

bool HasOperands(int8_t form) { return form >= 1 && form <= 5; }

const InstructionInfo* RowNamed(const char* name) {
    size_t count = 0;
    const InstructionInfo* rows = InstructionTable(&count);
    for (size_t i = 0; i < count; ++i)
        if (std::strcmp(rows[i].name, name) == 0) return &rows[i];
    return nullptr;
}

struct ShiftSuffix {
    const char* text;
    int shift;
};
constexpr ShiftSuffix kShifts[] = {{"x2", 1}, {"x4", 2}, {"x8", 3}, {"d2", -1}, {"d4", -2}, {"d8", -3}};
constexpr const char* kTextureTypes[] = {"2d", "cube", "volume"};
constexpr DWORD kTextureTypeValues[] = {TEXTURE_2D, TEXTURE_CUBE, TEXTURE_VOLUME};

// "texcoord3" -> usage 5, index 3. Indices run 0 to 15.
bool ParseUsage(const std::string& part, DWORD* usage, DWORD* index) {
    size_t digits = part.size();
    while (digits > 0 && part[digits - 1] >= '0' && part[digits - 1] <= '9') --digits;
    const std::string name = part.substr(0, digits);
    const std::string number = part.substr(digits);
    if (number.size() > 2) return false;
    DWORD n = 0;
    for (char c : number) n = n * 10 + DWORD(c - '0');
    if (n > 15) return false;
    for (DWORD u = 0; u < kDeclUsageCount; ++u) {
        if (name == DeclUsageName(u)) {
            *usage = u;
            *index = n;
            return true;
        }
    }
    return false;
}

// Applies one suffix; false when it is unknown, repeated or not allowed.
class SuffixReader {
public:
    SuffixReader(Profile p, const char* base, Mnemonic* m) : p_(p), base_(base), m_(m) {}

    bool Apply(const std::string& s) {
        const int8_t form = m_->form;
        const bool dcl = m_->row->opcode() == OP_DCL;
        if (s == "sat") return HasOperands(form) && InColumns(p_, 4, 14) && Once(seenSat_) && Add(kResultSaturate);
        if (s == "pp") return HasOperands(form) && InColumns(p_, 10, 14) && Once(seenPp_) && Add(kResultPartialPrecision);
        if (s == "centroid") {
            const bool allowed = dcl || !std::strcmp(base_, "texld") || !std::strcmp(base_, "dsx") ||
                                 !std::strcmp(base_, "dsy");
            return allowed && InColumns(p_, 13, 14) && Once(seenCentroid_) && Add(kResultCentroid);
        }
        for (const ShiftSuffix& shift : kShifts) {
            if (s == shift.text) {
                if (!HasOperands(form) || !IsPs1x(p_) || !Once(seenShift_)) return false;
                m_->shift = shift.shift;
                return true;
            }
        }
        for (size_t i = 0; i < 3; ++i) {
            if (s == kTextureTypes[i]) {
                if (!dcl || !(InColumns(p_, 4, 5) || InColumns(p_, 10, 14)) || !Once(seenType_) || m_->hasUsage)
                    return false;
                m_->textureType = kTextureTypeValues[i];
                return true;
            }
        }
        for (DWORD c = CMP_GT; c <= CMP_LE; ++c) {
            if (s == ComparisonName(c)) return Comparison(c);
        }
        DWORD usage, index;
        if (dcl && ParseUsage(s, &usage, &index)) {
            const bool columns = InColumns(p_, 0, 5) || InColumns(p_, 13, 14);
            // A pixel shader's position input is vPos; "position" there needs an index.
            const bool positionOk = usage != USAGE_POSITION || index != 0 || !InColumns(p_, 13, 14);
            if (!columns || !positionOk || m_->hasUsage || m_->textureType) return false;
            m_->hasUsage = true;
            m_->usage = usage;
            m_->usageIndex = index;
            return true;
        }
        return false;
    }

private:
    bool Once(bool& seen) {
        if (seen) return false;
        seen = true;
        return true;
    }
    bool Add(DWORD modifier) {
        m_->resultModifiers |= modifier;
        return true;
    }
    // "if" and "break" with a comparison become "if_c" and "break_c".
    bool Comparison(DWORD c) {
        if (m_->comparison) return false;
        const char* replacement = !std::strcmp(base_, "if") ? "if_c" : !std::strcmp(base_, "break") ? "break_c" : nullptr;
        if (replacement) {
            const InstructionInfo* row = RowNamed(replacement);
            if (!row || !row->AvailableIn(p_)) return false;
            m_->row = row;
            m_->form = row->Form(p_);
        } else if (m_->row->opcode() != OP_SETP) {
            return false;
        }
        m_->comparison = c;
        return true;
    }

    Profile p_;
    const char* base_;
    Mnemonic* m_;
    bool seenSat_ = false, seenPp_ = false, seenCentroid_ = false, seenShift_ = false, seenType_ = false;
};

}  // namespace

MnemonicStatus ParseMnemonic(const char* name, Profile profile, Mnemonic* out, std::string* bad) {
    *out = Mnemonic{};
    std::vector<std::string> parts;
    for (const char* p = name;;) {
        const char* end = std::strchr(p, '_');
        const size_t n = end ? size_t(end - p) : std::strlen(p);
        if (n > kMaxPart) return MnemonicStatus::Unknown;
        parts.emplace_back(p, n);
        if (!end) break;
        p = end + 1;
    }
    out->row = FindInstruction(parts[0].c_str());
    if (!out->row) return MnemonicStatus::Unknown;
    if (!out->row->AvailableIn(profile)) {
        *bad = parts[0];
        return MnemonicStatus::NotInVersion;
    }
    out->form = out->row->Form(profile);
    SuffixReader reader(profile, parts[0].c_str(), out);
    for (size_t i = 1; i < parts.size(); ++i) {
        if (!reader.Apply(parts[i])) {
            *bad = parts[i];
            return MnemonicStatus::BadSuffix;
        }
    }
    if (out->row->opcode() == OP_SETP && !out->comparison) {
        *bad = name;
        return MnemonicStatus::BadSuffix;
    }
    return MnemonicStatus::Ok;
}
