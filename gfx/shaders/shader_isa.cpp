// The instruction and register tables of the shader models, and the small
// helpers that read them.
#include "gfx/shaders/shader_isa.h"

#include <cstdio>
#include <cstring>

namespace gfx::isa {
namespace {

constexpr int8_t NA = kNotAvailable;
constexpr int16_t RN = kRegNotAvailable;

const ProfileInfo kProfiles[kProfileCount] = {
    {"vs_1_1", 0xFFFE0101}, {"vs_2_0", 0xFFFE0200}, {"vs_2_x", 0xFFFE0201}, {"vs_2_sw", 0xFFFE02FF},
    {"vs_3_0", 0xFFFE0300}, {"vs_3_sw", 0xFFFE03FF}, {"ps_1_1", 0xFFFF0101}, {"ps_1_2", 0xFFFF0102},
    {"ps_1_3", 0xFFFF0103}, {"ps_1_4", 0xFFFF0104}, {"ps_2_0", 0xFFFF0200}, {"ps_2_x", 0xFFFF0201},
    {"ps_2_sw", 0xFFFF02FF}, {"ps_3_0", 0xFFFF0300}, {"ps_3_sw", 0xFFFF03FF},
};

const InstructionInfo kInstructions[kInstructionCount] = {
    // name, token, form per profile: vs_1_1 vs_2_0 vs_2_x vs_2_sw vs_3_0 vs_3_sw ps_1_1 ps_1_2 ps_1_3 ps_1_4 ps_2_0 ps_2_x ps_2_sw ps_3_0 ps_3_sw
    {"nop", 0, { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0}},
    {"mov", 1, { 2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2}},
    {"add", 2, { 3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3}},
    {"sub", 3, { 3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3}},
    {"mad", 4, { 4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4}},
    {"mul", 5, { 3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3}},
    {"rcp", 6, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"rsq", 7, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"dp3", 8, { 3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3}},
    {"dp4", 9, { 3,  3,  3,  3,  3,  3, NA,  3,  3,  3,  3,  3,  3,  3,  3}},
    {"min", 10, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"max", 11, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"slt", 12, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"sge", 13, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"exp", 14, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"log", 15, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"lit", 16, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"dst", 17, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"lrp", 18, {NA,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4}},
    {"frc", 19, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"m4x4", 20, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"m4x3", 21, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"m3x4", 22, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"m3x3", 23, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"m3x2", 24, { 3,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"call", 25, {NA, -5, -5, -5, -5, -5, NA, NA, NA, NA, NA, -5, -5, -5, -5}},
    {"callnz", 26, {NA, -6, -6, -6, -6, -6, NA, NA, NA, NA, NA, -6, -6, -6, -6}},
    {"loop", 27, {NA, -6, -6, -6, -6, -6, NA, NA, NA, NA, NA, NA, NA, -6, -6}},
    {"ret", 28, {NA,  0,  0,  0,  0,  0, NA, NA, NA, NA, NA,  0,  0,  0,  0}},
    {"endloop", 29, {NA,  0,  0,  0,  0,  0, NA, NA, NA, NA, NA, NA, NA,  0,  0}},
    {"label", 30, {NA, -5, -5, -5, -5, -5, NA, NA, NA, NA, NA, -5, -5, -5, -5}},
    {"dcl", 31, { 1,  1,  1,  1,  1,  1, NA, NA, NA, NA,  1,  1,  1,  1,  1}},
    {"pow", 32, {NA,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"crs", 33, {NA,  3,  3,  3,  3,  3, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"sgn", 34, {NA,  4,  4,  4,  4,  4, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"abs", 35, {NA,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"nrm", 36, {NA,  2,  2,  2,  2,  2, NA, NA, NA, NA,  2,  2,  2,  2,  2}},
    {"sincos", 37, {NA,  4,  4,  4,  2,  2, NA, NA, NA, NA,  4,  4,  4,  2,  2}},
    {"rep", 38, {NA, -5, -5, -5, -5, -5, NA, NA, NA, NA, NA, -5, -5, -5, -5}},
    {"endrep", 39, {NA,  0,  0,  0,  0,  0, NA, NA, NA, NA, NA,  0,  0,  0,  0}},
    {"if", 40, {NA, -5, -5, -5, -5, -5, NA, NA, NA, NA, -5, -5, -5, -5, -5}},
    {"else", 42, {NA,  0,  0,  0,  0,  0, NA, NA, NA, NA,  0,  0,  0,  0,  0}},
    {"endif", 43, {NA,  0,  0,  0,  0,  0, NA, NA, NA, NA,  0,  0,  0,  0,  0}},
    {"break", 44, {NA,  0,  0,  0,  0,  0, NA, NA, NA, NA, NA,  0,  0,  0,  0}},
    {"breakp", 96, {NA, NA, -5, -5, -5, -5, NA, NA, NA, NA, NA, -5, -5, -5, -5}},
    {"mova", 46, {NA,  2,  2,  2,  2,  2, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"texcoord", 64, {NA, NA, NA, NA, NA, NA,  1,  1,  1, NA, NA, NA, NA, NA, NA}},
    {"texcrd", 64, {NA, NA, NA, NA, NA, NA, NA, NA, NA,  2, NA, NA, NA, NA, NA}},
    {"texkill", 65, {NA, NA, NA, NA, NA, NA,  1,  1,  1,  1,  1,  1,  1,  1,  1}},
    {"tex", 66, {NA, NA, NA, NA, NA, NA,  1,  1,  1, NA, NA, NA, NA, NA, NA}},
    {"texld", 66, {NA, NA, NA, NA, NA, NA, NA, NA, NA,  2,  3,  3,  3,  3,  3}},
    {"texldp", 0x10042, {NA, NA, NA, NA, NA, NA, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"texldb", 0x20042, {NA, NA, NA, NA, NA, NA, NA, NA, NA, NA,  3,  3,  3,  3,  3}},
    {"texbem", 67, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texbeml", 68, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texreg2ar", 69, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texreg2gb", 70, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x2pad", 71, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x2tex", 72, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x3pad", 73, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x3tex", 74, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x3spec", 76, {NA, NA, NA, NA, NA, NA,  3,  3,  3, NA, NA, NA, NA, NA, NA}},
    {"texm3x3vspec", 77, {NA, NA, NA, NA, NA, NA,  2,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"expp", 78, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"logp", 79, { 2,  2,  2,  2,  2,  2, NA, NA, NA, NA, NA, NA, NA, NA, NA}},
    {"cnd", 80, {NA, NA, NA, NA, NA, NA,  4,  4,  4,  4, NA, NA, NA, NA, NA}},
    {"def", 81, {-3, -3, -3, -3, -3, -3, -3, -3, -3, -3, -3, -3, -3, -3, -3}},
    {"defi", 48, {NA, -2, -2, -2, -2, -2, NA, NA, NA, NA, NA, -2, -2, -2, -2}},
    {"defb", 47, {NA, -4, -4, -4, -4, -4, NA, NA, NA, NA, -4, -4, -4, -4, -4}},
    {"texreg2rgb", 82, {NA, NA, NA, NA, NA, NA, NA,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texdp3tex", 83, {NA, NA, NA, NA, NA, NA, NA,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x2depth", 84, {NA, NA, NA, NA, NA, NA, NA, NA,  2, NA, NA, NA, NA, NA, NA}},
    {"texdp3", 85, {NA, NA, NA, NA, NA, NA, NA,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texm3x3", 86, {NA, NA, NA, NA, NA, NA, NA,  2,  2, NA, NA, NA, NA, NA, NA}},
    {"texdepth", 87, {NA, NA, NA, NA, NA, NA, NA, NA, NA,  1, NA, NA, NA, NA, NA}},
    {"cmp", 88, {NA, NA, NA, NA, NA, NA, NA,  4,  4,  4,  4,  4,  4,  4,  4}},
    {"bem", 89, {NA, NA, NA, NA, NA, NA, NA, NA, NA,  3, NA, NA, NA, NA, NA}},
    {"dp2add", 90, {NA, NA, NA, NA, NA, NA, NA, NA, NA, NA,  4,  4,  4,  4,  4}},
    {"dsx", 91, {NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA,  2,  2,  2,  2}},
    {"dsy", 92, {NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA,  2,  2,  2,  2}},
    {"texldd", 93, {NA, NA, NA, NA, NA, NA, NA, NA, NA, NA, NA,  5,  5,  5,  5}},
    {"setp", 94, {NA, NA,  3,  3,  3,  3, NA, NA, NA, NA, NA,  3,  3,  3,  3}},
    {"texldl", 95, {NA, NA, NA, NA,  3,  3, NA, NA, NA, NA, NA, NA, NA,  3,  3}},
    {"phase", 0xFFFD, {NA, NA, NA, NA, NA, NA, NA, NA, NA,  0, NA, NA, NA, NA, NA}},
    {"if_c", 41, {NA, NA, -6, -6, -6, -6, NA, NA, NA, NA, NA, -6, -6, -6, -6}},
    {"break_c", 45, {NA, NA, -6, -6, -6, -6, NA, NA, NA, NA, NA, -6, -6, -6, -6}},
};

// Constant registers: the least every device of a model offers (vs_1_1 96,
// vs_2_0 to vs_3_0 256); the software profiles address all 8192.
const RegisterInfo kRegisters[kRegisterCount] = {
    // name, type, fixed number, count per profile (columns as above), scalar
    {"v", REG_INPUT, -1, {   16,    16,    16,    16,   -16,   -16,     2,     2,     2,     2,     2,     2,     2,   -10,   -14}, false},
    {"r", REG_TEMP, -1, {   12,    12,    32,    32,    32,    32,     2,     2,     2,     6,    12,    32,    32,    32,    32}, false},
    {"c", REG_CONST, -1, {  -96,  -256,  -256, -8192,  -256, -8192,     8,     8,     8,     8,    32,    32,  8192,   224,  8192}, false},
    {"a", REG_ADDR, -1, {    1,     1,     1,     1,     1,     1,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, false},
    {"t", REG_TEXTURE, -1, {   RN,    RN,    RN,    RN,    RN,    RN,     4,     4,     4,     6,     8,     8,     8,    RN,    RN}, false},
    {"oPos", REG_RASTOUT, 0, {    0,     0,     0,     0,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, false},
    {"oPts", REG_RASTOUT, 2, {    0,     0,     0,     0,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, true},
    {"oFog", REG_RASTOUT, 1, {    0,     0,     0,     0,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, true},
    {"oD", REG_ATTROUT, -1, {    2,     2,     2,     2,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, false},
    {"oT", REG_TEXCRDOUT, -1, {    8,     8,     8,     8,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, false},
    {"i", REG_CONSTINT, -1, {   RN,    16,    16,  2048,    16,  2048,    RN,    RN,    RN,    RN,    RN,    16,  2048,    16,  2048}, false},
    {"oC", REG_COLOROUT, -1, {   RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,     4,     4,     4,     4,     4}, false},
    {"oDepth", REG_DEPTHOUT, -1, {   RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,     0,     0,     0,     0,     0}, true},
    {"s", REG_SAMPLER, -1, {   RN,    RN,    RN,    RN,     4,     4,    RN,    RN,    RN,    RN,    16,    16,    16,    16,    16}, false},
    {"b", REG_CONSTBOOL, -1, {   RN,    16,    16,  2048,    16,  2048,    RN,    RN,    RN,    RN,    16,    16,  2048,    16,  2048}, true},
    {"aL", REG_LOOP, -1, {   RN,     0,     0,     0,     0,     0,    RN,    RN,    RN,    RN,    RN,    RN,    RN,     0,     0}, true},
    {"vPos", REG_MISCTYPE, 0, {   RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,     0,     0}, false},
    {"vFace", REG_MISCTYPE, 1, {   RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,     0,     0}, true},
    {"l", REG_LABEL, -1, {   RN,    16,    16,  2048,  2048,  2048,    RN,    RN,    RN,    RN,    RN,    16,  2048,  2048,  2048}, true},
    {"p", REG_PREDICATE, -1, {   RN,    RN,     1,     1,     1,     1,    RN,    RN,    RN,    RN,    RN,     1,     1,     1,     1}, false},
    {"o", REG_OUTPUT, -1, {   RN,    RN,    RN,    RN,   -12,   -16,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN,    RN}, false},
};

const char* const kUsageNames[kDeclUsageCount] = {
    "position", "blendweight", "blendindices", "normal", "psize", "texcoord", "tangent",
    "binormal", "tessfactor", "positiont", "color", "fog", "depth", "sample",
};

const char* const kComparisonNames[8] = {nullptr, "gt", "eq", "ge", "lt", "ne", "le", nullptr};

// Rows reachable by name: all but "if_c" and "break_c".
constexpr size_t kNamedInstructionCount = kInstructionCount - 2;

}  // namespace

const ProfileInfo& GetProfileInfo(Profile profile) { return kProfiles[ProfileColumn(profile)]; }

bool ProfileFromVersionToken(DWORD versionToken, Profile* out) {
    for (int i = 0; i < kProfileCount; ++i) {
        if (kProfiles[i].versionToken == versionToken) {
            *out = static_cast<Profile>(i);
            return true;
        }
    }
    return false;
}

int ProfileMajor(Profile p) { return static_cast<int>(VersionMajor(GetProfileInfo(p).versionToken)); }

const char* ComparisonName(DWORD code) { return kComparisonNames[code & 7]; }

const InstructionInfo* InstructionTable(size_t* count) {
    if (count) *count = kInstructionCount;
    return kInstructions;
}

const InstructionInfo* FindInstruction(const char* name) {
    if (!name) return nullptr;
    for (size_t i = 0; i < kNamedInstructionCount; ++i) {
        if (std::strcmp(kInstructions[i].name, name) == 0) return &kInstructions[i];
    }
    return nullptr;
}

const InstructionInfo* FindInstructionForToken(DWORD instructionToken, Profile p) {
    const DWORD opcode = InstructionOpcode(instructionToken);
    // Only OP_TEX uses control bits to select a row; elsewhere they carry a
    // comparison or nothing.
    const DWORD control = opcode == OP_TEX ? InstructionControl(instructionToken) : 0;
    const InstructionInfo* fallback = nullptr;
    for (const InstructionInfo& row : kInstructions) {
        if (row.opcode() != opcode || row.control() != control) continue;
        if (row.AvailableIn(p)) return &row;
        if (!fallback) fallback = &row;
    }
    return fallback;
}

int FormParameterCount(int8_t form) {
    switch (form) {
        case kNotAvailable: return -1;
        case kFormDef:
        case kFormDefI:
        case kFormDefB:
        case kFormSrc1: return 1;
        case kFormSrc2: return 2;
        default: return form;
    }
}

bool FormHasDestination(int8_t form) {
    return form == kFormDef || form == kFormDefI || form == kFormDefB || form >= 1;
}

int FormLiteralTokens(int8_t form) {
    if (form == kFormDef || form == kFormDefI) return 4;
    if (form == kFormDefB) return 1;
    return 0;
}

int RegisterInfo::Limit(Profile p) const {
    const int16_t c = Count(p);
    if (c == kRegNotAvailable) return 0;
    return c < 0 ? -c : c;
}

const RegisterInfo* RegisterTable(size_t* count) {
    if (count) *count = kRegisterCount;
    return kRegisters;
}

const RegisterInfo* FindRegister(const char* name) {
    if (!name) return nullptr;
    for (const RegisterInfo& row : kRegisters) {
        if (std::strcmp(row.name, name) == 0) return &row;
    }
    return nullptr;
}

const RegisterInfo* FindRegisterForToken(DWORD type, DWORD number, Profile p) {
    if (IsConstantType(type)) type = REG_CONST;
    for (const RegisterInfo& row : kRegisters) {
        if (row.type != type || !row.AvailableIn(p)) continue;
        // Fixed-number names (oPos, oFog, oPts, vPos, vFace) match their number only.
        if (row.fixedNumber >= 0 && static_cast<DWORD>(row.fixedNumber) != number) continue;
        return &row;
    }
    return nullptr;
}

const char* DeclUsageName(DWORD usage) { return usage < kDeclUsageCount ? kUsageNames[usage] : nullptr; }

const char* SamplerTextureTypeName(DWORD type) {
    switch (type) {
        case TEXTURE_2D: return "2d";
        case TEXTURE_CUBE: return "cube";
        case TEXTURE_VOLUME: return "volume";
        default: return nullptr;
    }
}

void FormatRegisterName(DWORD type, DWORD number, Profile p, char* out, size_t size) {
    if (!out || size == 0) return;
    const RegisterInfo* row = FindRegisterForToken(type, number, p);
    if (!row) {
        std::snprintf(out, size, "?%u:%u", static_cast<unsigned>(type), static_cast<unsigned>(number));
        return;
    }
    if (row->fixedNumber >= 0 || row->Count(p) == 0) {
        std::snprintf(out, size, "%s", row->name);
        return;
    }
    const DWORD index = IsConstantType(type) ? ConstantIndex(type, number) : number;
    std::snprintf(out, size, "%s%u", row->name, static_cast<unsigned>(index));
}

}  // namespace gfx::isa
