// The shader instruction set of shader models 1 to 3, described once as data.
//
// Everything that reads or writes shader bytecode (the device's checker and
// executor, the validator, the compiler's code generators, the assembler and
// the disassembler) takes its facts from here: opcode values, which profile has
// which instruction with how many operands, register types with their names and
// per-profile counts, declaration usages, modifiers, and the bit layout of every
// kind of token.
//
// Token layout (32-bit little-endian tokens):
//   version      bits 16-31 kind (0xFFFE vertex, 0xFFFF pixel), 8-15 major, 0-7 minor
//   instruction  bits 0-15 opcode, 16-23 control, 24-27 tokens that follow
//                (versions 2.0 and higher), bit 28 predicated, bit 30 co-issue
//   comment      bits 0-15 0xFFFE, bits 16-30 payload token count
//   end          0x0000FFFF
//   destination  bit 31 set, 0-10 number, 28-30 + 11-12 type, 13 relative,
//                16-19 write mask, 20-23 result modifiers, 24-27 shift (signed)
//   source       bit 31 set, 0-10 number, 28-30 + 11-12 type, 13 relative,
//                16-23 swizzle (2 bits per component), 24-27 source modifier
//   dcl usage    bit 31 set, 0-4 usage, 16-19 usage index, or 27-30 texture type
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

namespace gfx::isa {

// ---------------------------------------------------------------------------
// Profiles. The fifteen assembly profiles, in the column order that the
// instruction and register tables use.
enum class Profile : uint8_t {
    VS_1_1, VS_2_0, VS_2_X, VS_2_SW, VS_3_0, VS_3_SW,
    PS_1_1, PS_1_2, PS_1_3, PS_1_4, PS_2_0, PS_2_X, PS_2_SW, PS_3_0, PS_3_SW,
};
constexpr int kProfileCount = 15;

struct ProfileInfo {
    const char* name;      // "vs_2_0"
    DWORD versionToken;    // 0xFFFE0200
};
const ProfileInfo& GetProfileInfo(Profile profile);
// Maps a version token (kind 0xFFFE or 0xFFFF) to its profile; false for any
// version that is not one of the fifteen.
bool ProfileFromVersionToken(DWORD versionToken, Profile* out);
inline bool IsPixelProfile(Profile p) { return p >= Profile::PS_1_1; }
inline bool IsVertexProfile(Profile p) { return p <= Profile::VS_3_SW; }
inline int ProfileColumn(Profile p) { return static_cast<int>(p); }
// Major version of the profile (1, 2 or 3).
int ProfileMajor(Profile p);
// True for ps_1_1 to ps_1_4 (their own register ranges, modifiers and length rules).
inline bool IsPs1x(Profile p) { return p >= Profile::PS_1_1 && p <= Profile::PS_1_4; }
// Whether instruction tokens of this profile carry their length (2.0 and higher).
inline bool HasLengthField(Profile p) { return p != Profile::VS_1_1 && !IsPs1x(p); }

// ---------------------------------------------------------------------------
// Opcodes (bits 0-15 of an instruction token), published values.
enum Opcode : uint16_t {
    OP_NOP = 0, OP_MOV = 1, OP_ADD = 2, OP_SUB = 3, OP_MAD = 4, OP_MUL = 5,
    OP_RCP = 6, OP_RSQ = 7, OP_DP3 = 8, OP_DP4 = 9, OP_MIN = 10, OP_MAX = 11,
    OP_SLT = 12, OP_SGE = 13, OP_EXP = 14, OP_LOG = 15, OP_LIT = 16, OP_DST = 17,
    OP_LRP = 18, OP_FRC = 19, OP_M4x4 = 20, OP_M4x3 = 21, OP_M3x4 = 22,
    OP_M3x3 = 23, OP_M3x2 = 24, OP_CALL = 25, OP_CALLNZ = 26, OP_LOOP = 27,
    OP_RET = 28, OP_ENDLOOP = 29, OP_LABEL = 30, OP_DCL = 31, OP_POW = 32,
    OP_CRS = 33, OP_SGN = 34, OP_ABS = 35, OP_NRM = 36, OP_SINCOS = 37,
    OP_REP = 38, OP_ENDREP = 39, OP_IF = 40, OP_IFC = 41, OP_ELSE = 42,
    OP_ENDIF = 43, OP_BREAK = 44, OP_BREAKC = 45, OP_MOVA = 46, OP_DEFB = 47,
    OP_DEFI = 48,
    OP_TEXCOORD = 64,  // texcoord (ps_1_1-1_3), texcrd (ps_1_4)
    OP_TEXKILL = 65,
    OP_TEX = 66,  // tex (ps_1_1-1_3), texld (1_4 and up); control 1 = texldp, 2 = texldb
    OP_TEXBEM = 67, OP_TEXBEML = 68, OP_TEXREG2AR = 69, OP_TEXREG2GB = 70,
    OP_TEXM3x2PAD = 71, OP_TEXM3x2TEX = 72, OP_TEXM3x3PAD = 73, OP_TEXM3x3TEX = 74,
    OP_TEXM3x3SPEC = 76, OP_TEXM3x3VSPEC = 77, OP_EXPP = 78, OP_LOGP = 79,
    OP_CND = 80, OP_DEF = 81, OP_TEXREG2RGB = 82, OP_TEXDP3TEX = 83,
    OP_TEXM3x2DEPTH = 84, OP_TEXDP3 = 85, OP_TEXM3x3 = 86, OP_TEXDEPTH = 87,
    OP_CMP = 88, OP_BEM = 89, OP_DP2ADD = 90, OP_DSX = 91, OP_DSY = 92,
    OP_TEXLDD = 93, OP_SETP = 94, OP_TEXLDL = 95, OP_BREAKP = 96,
    OP_PHASE = 0xFFFD, OP_COMMENT = 0xFFFE, OP_END = 0xFFFF,
};

// Control values of OP_TEX (bits 16-23).
constexpr DWORD kTexControlProject = 1;  // texldp
constexpr DWORD kTexControlBias = 2;     // texldb

// Comparison codes of ifc, breakc and setp (instruction bits 16-18).
enum Comparison : uint8_t { CMP_GT = 1, CMP_EQ = 2, CMP_GE = 3, CMP_LT = 4, CMP_NE = 5, CMP_LE = 6 };
const char* ComparisonName(DWORD code);  // "gt" ... "le"; null for 0 and 7

// ---------------------------------------------------------------------------
// Instruction table. One row per assembly mnemonic (86 rows: "texcoord" and
// "texcrd" share an opcode, as do "tex", "texld", "texldp" and "texldb"). The
// operand form per profile column:
//   kNotAvailable  the profile lacks the instruction
//   0..5           that many operands, the destination first, then sources
//   kFormDef       a destination and four floats        ("def")
//   kFormDefI      a destination and four integers      ("defi")
//   kFormDefB      a destination and one boolean        ("defb")
//   kFormSrc1      one source and no destination        ("if", "call", "rep", ...)
//   kFormSrc2      two sources and no destination       ("loop", "callnz", "if_c", ...)
constexpr int8_t kNotAvailable = -128;
constexpr int8_t kFormDef = -3;
constexpr int8_t kFormDefI = -2;
constexpr int8_t kFormDefB = -4;
constexpr int8_t kFormSrc1 = -5;
constexpr int8_t kFormSrc2 = -6;

struct InstructionInfo {
    const char* name;         // assembly mnemonic, lower case
    DWORD token;              // opcode with any control bits ("texldp" = 0x10042)
    int8_t form[kProfileCount];
    Opcode opcode() const { return static_cast<Opcode>(token & 0xFFFF); }
    DWORD control() const { return (token >> 16) & 0xFF; }
    int8_t Form(Profile p) const { return form[ProfileColumn(p)]; }
    bool AvailableIn(Profile p) const { return Form(p) != kNotAvailable; }
};

// All rows, in table order; "if_c" and "break_c" are the last two.
const InstructionInfo* InstructionTable(size_t* count);
constexpr size_t kInstructionCount = 86;
// Rows looked up by name (the first 84: "if_c" and "break_c" are reached only
// through the comparison suffixes of "if" and "break"). Null when unknown.
const InstructionInfo* FindInstruction(const char* name);
// The row that an instruction token stands for in a profile: matches opcode and
// the control bits that select a row (texldp, texldb), and prefers the row
// available in the profile ("tex" in ps_1_1, "texld" in ps_1_4). Null for
// unknown opcodes.
const InstructionInfo* FindInstructionForToken(DWORD instructionToken, Profile p);

// Number of parameter tokens (destination and sources, not counting relative
// address, dcl usage or literal tokens) of an operand form; -1 for kNotAvailable.
int FormParameterCount(int8_t form);
// Whether the form starts with a destination parameter.
bool FormHasDestination(int8_t form);
// Literal data tokens after the destination: 4 for def/defi, 1 for defb, else 0.
int FormLiteralTokens(int8_t form);

// ---------------------------------------------------------------------------
// Register types (split across bits 28-30 and 11-12 of a parameter token).
enum RegisterType : uint8_t {
    REG_TEMP = 0,
    REG_INPUT = 1,
    REG_CONST = 2,
    REG_ADDR = 3,        // a0 in vertex shaders
    REG_TEXTURE = 3,     // tN in pixel shaders
    REG_RASTOUT = 4,     // oPos 0, oFog 1, oPts 2
    REG_ATTROUT = 5,     // oDN
    REG_TEXCRDOUT = 6,   // oTN
    REG_OUTPUT = 6,      // oN in vs_3_0
    REG_CONSTINT = 7,
    REG_COLOROUT = 8,
    REG_DEPTHOUT = 9,
    REG_SAMPLER = 10,
    REG_CONST2 = 11,     // c2048-c4095
    REG_CONST3 = 12,     // c4096-c6143
    REG_CONST4 = 13,     // c6144-c8191
    REG_CONSTBOOL = 14,
    REG_LOOP = 15,
    REG_TEMPFLOAT16 = 16,
    REG_MISCTYPE = 17,   // vPos 0, vFace 1
    REG_LABEL = 18,
    REG_PREDICATE = 19,
};
constexpr int kRegisterTypeCount = 20;

// Numbers within fixed-number register types.
constexpr DWORD kRastoutPosition = 0, kRastoutFog = 1, kRastoutPointSize = 2;
constexpr DWORD kMiscPosition = 0, kMiscFace = 1;

// Register table, 21 rows. Count per profile column:
//   kRegNotAvailable  no such register in the profile
//   0                 the name is used without a number (oPos, aL, vFace, ...)
//   N > 0             registers 0..N-1
//   -N                registers 0..N-1 that may also be addressed relatively
constexpr int16_t kRegNotAvailable = INT16_MIN;

struct RegisterInfo {
    const char* name;        // "v", "r", "c", "oPos", ...
    RegisterType type;
    int16_t fixedNumber;     // the number a count-0 name stands for (oFog = 1), else -1
    int16_t count[kProfileCount];
    bool scalar;             // takes neither a write mask nor a swizzle
    int16_t Count(Profile p) const { return count[ProfileColumn(p)]; }
    bool AvailableIn(Profile p) const { return Count(p) != kRegNotAvailable; }
    // Number of addressable registers (0 means one register without a number).
    int Limit(Profile p) const;
    bool AllowsRelative(Profile p) const { return Count(p) < 0 && Count(p) != kRegNotAvailable; }
};

const RegisterInfo* RegisterTable(size_t* count);
constexpr size_t kRegisterCount = 21;
// Row by assembly name (case-sensitive, as written: "oPos", "aL").
const RegisterInfo* FindRegister(const char* name);
// The row that a (type, number) from a parameter token names in a profile, or
// null when the profile has no such register. Constant types 11-13 map to "c"
// (the caller checks the full index against the "c" count with ConstantIndex).
const RegisterInfo* FindRegisterForToken(DWORD type, DWORD number, Profile p);

// Constant register index N (0..8191) as token type and number, and back.
inline DWORD ConstantRegisterType(DWORD index) {
    static constexpr DWORD kTypes[4] = {REG_CONST, REG_CONST2, REG_CONST3, REG_CONST4};
    return kTypes[(index >> 11) & 3];
}
inline bool IsConstantType(DWORD type) { return type == REG_CONST || (type >= REG_CONST2 && type <= REG_CONST4); }
inline DWORD ConstantIndex(DWORD type, DWORD number) {
    return (type == REG_CONST ? 0 : (type - REG_CONST2 + 1) * 2048) + number;
}

// ---------------------------------------------------------------------------
// Declaration usages (dcl usage token bits 0-4), published values.
enum DeclUsage : uint8_t {
    USAGE_POSITION = 0, USAGE_BLENDWEIGHT = 1, USAGE_BLENDINDICES = 2, USAGE_NORMAL = 3,
    USAGE_PSIZE = 4, USAGE_TEXCOORD = 5, USAGE_TANGENT = 6, USAGE_BINORMAL = 7,
    USAGE_TESSFACTOR = 8, USAGE_POSITIONT = 9, USAGE_COLOR = 10, USAGE_FOG = 11,
    USAGE_DEPTH = 12, USAGE_SAMPLE = 13,
};
constexpr int kDeclUsageCount = 14;
const char* DeclUsageName(DWORD usage);  // "position" ... "sample"; null beyond 13

// Sampler texture types (dcl usage token bits 27-30).
enum SamplerTextureType : uint8_t { TEXTURE_UNKNOWN = 0, TEXTURE_2D = 2, TEXTURE_CUBE = 3, TEXTURE_VOLUME = 4 };
const char* SamplerTextureTypeName(DWORD type);  // "2d", "cube", "volume"; null otherwise

// ---------------------------------------------------------------------------
// Modifiers.
enum SourceModifier : uint8_t {
    SRCMOD_NONE = 0, SRCMOD_NEG = 1, SRCMOD_BIAS = 2, SRCMOD_BIASNEG = 3,
    SRCMOD_SIGN = 4, SRCMOD_SIGNNEG = 5, SRCMOD_COMP = 6, SRCMOD_X2 = 7,
    SRCMOD_X2NEG = 8, SRCMOD_DZ = 9, SRCMOD_DW = 10, SRCMOD_ABS = 11,
    SRCMOD_ABSNEG = 12, SRCMOD_NOT = 13,
};
constexpr int kSourceModifierCount = 14;

// Result modifier bits (destination bits 20-23, here as the 4-bit field value).
constexpr DWORD kResultSaturate = 0x1;
constexpr DWORD kResultPartialPrecision = 0x2;
constexpr DWORD kResultCentroid = 0x4;

// Write mask bits (destination bits 16-19, here as the 4-bit field value).
constexpr DWORD kMaskX = 1, kMaskY = 2, kMaskZ = 4, kMaskW = 8, kMaskAll = 15;

// Swizzles (source bits 16-23): two bits per result component x, y, z, w.
constexpr DWORD MakeSwizzle(DWORD x, DWORD y, DWORD z, DWORD w) { return x | (y << 2) | (z << 4) | (w << 6); }
constexpr DWORD kSwizzleIdentity = 0xE4;
constexpr DWORD kSwizzleXXXX = 0x00, kSwizzleYYYY = 0x55, kSwizzleZZZZ = 0xAA, kSwizzleWWWW = 0xFF;
constexpr DWORD SwizzleComponent(DWORD swizzle, int i) { return (swizzle >> (2 * i)) & 3; }

// ---------------------------------------------------------------------------
// Token encoding and decoding.
constexpr DWORD kEndToken = 0x0000FFFF;
constexpr DWORD kParamBit = 0x80000000u;
constexpr DWORD kRelativeBit = 1u << 13;
constexpr DWORD kPredicatedBit = 1u << 28;
constexpr DWORD kCoissueBit = 1u << 30;
constexpr DWORD kMaxCommentTokens = 0x7FFF;
constexpr DWORD kVertexVersionKind = 0xFFFE;
constexpr DWORD kPixelVersionKind = 0xFFFF;

// Version token.
constexpr DWORD MakeVertexVersion(DWORD major, DWORD minor) { return 0xFFFE0000u | (major << 8) | minor; }
constexpr DWORD MakePixelVersion(DWORD major, DWORD minor) { return 0xFFFF0000u | (major << 8) | minor; }
constexpr DWORD VersionKind(DWORD t) { return t >> 16; }
constexpr DWORD VersionMajor(DWORD t) { return (t >> 8) & 0xFF; }
constexpr DWORD VersionMinor(DWORD t) { return t & 0xFF; }

// Instruction token.
constexpr DWORD MakeInstruction(DWORD opcodeWithControl, DWORD length = 0, bool predicated = false,
                                bool coissue = false) {
    return opcodeWithControl | ((length & 0xF) << 24) | (predicated ? kPredicatedBit : 0) |
           (coissue ? kCoissueBit : 0);
}
constexpr DWORD InstructionOpcode(DWORD t) { return t & 0xFFFF; }
constexpr DWORD InstructionControl(DWORD t) { return (t >> 16) & 0xFF; }
constexpr DWORD InstructionLength(DWORD t) { return (t >> 24) & 0xF; }
constexpr DWORD InstructionComparison(DWORD t) { return (t >> 16) & 7; }
constexpr bool IsPredicated(DWORD t) { return (t & kPredicatedBit) != 0; }
constexpr bool IsCoissued(DWORD t) { return (t & kCoissueBit) != 0; }
constexpr DWORD WithComparison(DWORD opcode, DWORD cmp) { return opcode | ((cmp & 7) << 16); }

// Comment token.
constexpr DWORD MakeComment(DWORD payloadTokens) { return 0xFFFE | ((payloadTokens & 0x7FFF) << 16); }
constexpr bool IsComment(DWORD t) { return (t & 0xFFFF) == OP_COMMENT && (t & 0x80000000u) == 0; }
constexpr DWORD CommentLength(DWORD t) { return (t >> 16) & 0x7FFF; }

// Parameter tokens (register type split across two fields).
constexpr DWORD EncodeRegister(DWORD type, DWORD number) {
    return kParamBit | ((type & 7) << 28) | (((type >> 3) & 3) << 11) | (number & 0x7FF);
}
constexpr DWORD RegisterTypeOf(DWORD t) { return ((t >> 28) & 7) | (((t >> 11) & 3) << 3); }
constexpr DWORD RegisterNumberOf(DWORD t) { return t & 0x7FF; }
constexpr bool IsRelative(DWORD t) { return (t & kRelativeBit) != 0; }

constexpr DWORD MakeDest(DWORD type, DWORD number, DWORD mask = kMaskAll, DWORD resultMods = 0,
                         int shift = 0, bool relative = false) {
    return EncodeRegister(type, number) | ((mask & 0xF) << 16) | ((resultMods & 0xF) << 20) |
           ((static_cast<DWORD>(shift) & 0xF) << 24) | (relative ? kRelativeBit : 0);
}
constexpr DWORD WriteMaskOf(DWORD t) { return (t >> 16) & 0xF; }
constexpr DWORD ResultModifiersOf(DWORD t) { return (t >> 20) & 0xF; }
// Shift scale as a signed count: 1 = x2, 2 = x4, 3 = x8, -1 = /2, -2 = /4, -3 = /8.
constexpr int ShiftOf(DWORD t) {
    int s = static_cast<int>((t >> 24) & 0xF);
    return s >= 8 ? s - 16 : s;
}

constexpr DWORD MakeSource(DWORD type, DWORD number, DWORD swizzle = kSwizzleIdentity,
                           DWORD modifier = SRCMOD_NONE, bool relative = false) {
    return EncodeRegister(type, number) | ((swizzle & 0xFF) << 16) | ((modifier & 0xF) << 24) |
           (relative ? kRelativeBit : 0);
}
constexpr DWORD SwizzleOf(DWORD t) { return (t >> 16) & 0xFF; }
constexpr DWORD SourceModifierOf(DWORD t) { return (t >> 24) & 0xF; }

// The relative address token that follows a relatively addressed parameter in
// versions 2.0 and higher: a source naming a0 or aL with a replicated swizzle.
constexpr DWORD MakeRelativeAddress(DWORD type, DWORD component) {
    return MakeSource(type, 0, component * 0x55);
}

// dcl usage token.
constexpr DWORD MakeDclUsage(DWORD usage, DWORD index) { return kParamBit | (usage & 0x1F) | ((index & 0xF) << 16); }
constexpr DWORD MakeDclSampler(DWORD textureType) { return kParamBit | ((textureType & 0xF) << 27); }
constexpr DWORD DclUsageOf(DWORD t) { return t & 0x1F; }
constexpr DWORD DclUsageIndexOf(DWORD t) { return (t >> 16) & 0xF; }
constexpr DWORD DclTextureTypeOf(DWORD t) { return (t >> 27) & 0xF; }

// Assembly-style name of a register for messages and disassembly ("r3",
// "c12", "oPos", "t2", "aL"); writes at most `size` bytes including the NUL.
void FormatRegisterName(DWORD type, DWORD number, Profile p, char* out, size_t size);

}  // namespace gfx::isa
