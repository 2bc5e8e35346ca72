#include "shader/bytecode/disassembler.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table_text.h"
#include "shader/bytecode/debug_info_reader.h"
#include "shader/bytecode/instruction_walker.h"

using namespace gfx::isa;

namespace {

struct Failure {
    std::string message;
    size_t token;
};

// Reads the parameter tokens of one instruction in stream order.
class ParamCursor {
public:
    ParamCursor(const WalkedInstruction& w) : w_(w) {}
    bool Next(uint32_t* token) {
        if (pos_ >= w_.paramCount) return false;
        *token = w_.params[pos_++];
        return true;
    }
    size_t Index() const { return w_.index + 1 + pos_; }
    size_t Remaining() const { return w_.paramCount - pos_; }

private:
    const WalkedInstruction& w_;
    size_t pos_ = 0;
};

class Disassembler {
public:
    Disassembler(const uint32_t* tokens, size_t count, const DisassemblyOptions& options)
        : tokens_(tokens), count_(count), options_(options) {}

    bool Run(std::string* text, Failure* failure);

private:
    bool Fail(const std::string& message, size_t token) {
        failure_ = {message, token};
        return false;
    }
    bool Instruction(const WalkedInstruction& w);
    bool Comment(const WalkedInstruction& w);
    std::string DebugInfoText(const uint8_t* data, uint32_t size);
    bool RegisterName(uint32_t param, size_t at, std::string* out, bool* scalar = nullptr);
    bool RelativeSuffix(uint32_t param, ParamCursor& cursor, std::string* out);
    bool Destination(ParamCursor& cursor, std::string* out);
    bool Source(ParamCursor& cursor, std::string* out);
    bool Declaration(const WalkedInstruction& w, const InstructionInfo& info, std::string* line);
    std::string ResultSuffix(uint32_t dest) const;

    const uint32_t* tokens_;
    size_t count_;
    DisassemblyOptions options_;
    Profile profile_{};
    bool lengths_ = false;
    std::string header_;
    std::string body_;
    Failure failure_;
};

const char kComponents[] = "xyzw";

std::string MaskText(uint32_t mask) {
    if (mask == kMaskAll) return "";
    std::string s = ".";
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i)) s += kComponents[i];
    return s;
}

std::string SwizzleText(uint32_t swizzle) {
    if (swizzle == kSwizzleIdentity) return "";
    const uint32_t x = SwizzleComponent(swizzle, 0);
    if (swizzle == x * 0x55) return std::string(".") + kComponents[x];
    std::string s = ".";
    for (int i = 0; i < 4; ++i) s += kComponents[SwizzleComponent(swizzle, i)];
    return s;
}

// The shortest text that reads back to the same float, in the number forms
// the assembler's tokenizer reads: an exponent needs a point before it and
// takes no plus sign ("1.0e-04", "1.0e10"), and a whole number that would not
// fit a 32-bit integer literal keeps a point ("4294967300.0").
std::string FloatText(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::string text(buffer, result.ptr);
    if (!std::isfinite(value)) return text;
    const size_t e = text.find('e');
    if (e != std::string::npos) {
        if (e + 1 < text.size() && text[e + 1] == '+') text.erase(e + 1, 1);
        if (text.find('.') == std::string::npos) text.insert(e, ".0");
    } else if (text.find('.') == std::string::npos && std::fabs(value) >= 1e9f) {
        text += ".0";
    }
    return text;
}

bool Disassembler::RegisterName(uint32_t param, size_t at, std::string* out, bool* scalar) {
    const uint32_t type = RegisterTypeOf(param), number = RegisterNumberOf(param);
    const RegisterInfo* row = FindRegisterForToken(type, number, profile_);
    if (!row)
        return Fail("register type " + std::to_string(type) + " is not available in " + GetProfileInfo(profile_).name,
                    at);
    // Scalar registers are written without a mask or swizzle.
    if (scalar) *scalar = row->scalar;
    char name[32];
    FormatRegisterName(type, number, profile_, name, sizeof(name));
    *out += name;
    return true;
}

// "[a0.x]" for a relatively addressed register: the address register comes
// from the following token in 2.0 and higher, and is a0.x in vs_1_1.
bool Disassembler::RelativeSuffix(uint32_t param, ParamCursor& cursor, std::string* out) {
    if (!IsRelative(param)) return true;
    if (!lengths_) {
        *out += "[a0.x]";
        return true;
    }
    const size_t at = cursor.Index();
    uint32_t address;
    if (!cursor.Next(&address)) return Fail("relative address token missing", at);
    if (!(address & kParamBit)) return Fail("relative address token expected", at);
    std::string name;
    if (!RegisterName(address, at, &name)) return false;
    *out += "[" + name;
    if (RegisterTypeOf(address) != REG_LOOP) *out += std::string(".") + kComponents[SwizzleComponent(SwizzleOf(address), 0)];
    *out += "]";
    return true;
}

std::string Disassembler::ResultSuffix(uint32_t dest) const {
    static const char* const kShifts[16] = {"", "_x2", "_x4", "_x8", "_x16", "_x32", "_x64", "_x128",
                                            "_d256", "_d128", "_d64", "_d32", "_d16", "_d8", "_d4", "_d2"};
    std::string s = kShifts[(dest >> 24) & 0xF];
    const uint32_t mods = ResultModifiersOf(dest);
    if (mods & kResultSaturate) s += "_sat";
    if (mods & kResultPartialPrecision) s += "_pp";
    if (mods & kResultCentroid) s += "_centroid";
    return s;
}

bool Disassembler::Destination(ParamCursor& cursor, std::string* out) {
    const size_t at = cursor.Index();
    uint32_t dest;
    if (!cursor.Next(&dest)) return Fail("destination parameter missing", at);
    if (!(dest & kParamBit)) return Fail("destination parameter expected", at);
    bool scalar = false;
    if (!RegisterName(dest, at, out, &scalar)) return false;
    if (!RelativeSuffix(dest, cursor, out)) return false;
    if (!scalar) *out += MaskText(WriteMaskOf(dest));
    return true;
}

bool Disassembler::Source(ParamCursor& cursor, std::string* out) {
    const size_t at = cursor.Index();
    uint32_t src;
    if (!cursor.Next(&src)) return Fail("source parameter missing", at);
    if (!(src & kParamBit)) return Fail("source parameter expected", at);
    std::string reg;
    bool scalar = false;
    if (!RegisterName(src, at, &reg, &scalar)) return false;
    if (!RelativeSuffix(src, cursor, &reg)) return false;
    const std::string swizzle = scalar ? "" : SwizzleText(SwizzleOf(src));
    switch (SourceModifierOf(src)) {
    case SRCMOD_NONE: *out += reg + swizzle; break;
    case SRCMOD_NEG: *out += "-" + reg + swizzle; break;
    case SRCMOD_BIAS: *out += reg + "_bias" + swizzle; break;
    case SRCMOD_BIASNEG: *out += "-" + reg + "_bias" + swizzle; break;
    case SRCMOD_SIGN: *out += reg + "_bx2" + swizzle; break;
    case SRCMOD_SIGNNEG: *out += "-" + reg + "_bx2" + swizzle; break;
    case SRCMOD_COMP: *out += "1 - " + reg + swizzle; break;
    case SRCMOD_X2: *out += reg + "_x2" + swizzle; break;
    case SRCMOD_X2NEG: *out += "-" + reg + "_x2" + swizzle; break;
    case SRCMOD_DZ: *out += reg + "_dz" + swizzle; break;
    case SRCMOD_DW: *out += reg + "_dw" + swizzle; break;
    case SRCMOD_ABS: *out += reg + "_abs" + swizzle; break;
    case SRCMOD_ABSNEG: *out += "-" + reg + "_abs" + swizzle; break;
    case SRCMOD_NOT: *out += "!" + reg + swizzle; break;
    default: return Fail("unknown source modifier " + std::to_string(SourceModifierOf(src)), at);
    }
    return true;
}

// dcl_usageN vN, dcl_2d sN, or a plain dcl for ps_2_x inputs.
bool Disassembler::Declaration(const WalkedInstruction& w, const InstructionInfo& info, std::string* line) {
    ParamCursor cursor(w);
    const size_t at = cursor.Index();
    uint32_t usage, dest;
    if (!cursor.Next(&usage) || !(usage & kParamBit)) return Fail("declaration usage token expected", at);
    if (cursor.Remaining() == 0) return Fail("declared register missing", cursor.Index());
    dest = w.params[1];
    std::string name = info.name;
    if (RegisterTypeOf(dest) == REG_SAMPLER) {
        const char* type = SamplerTextureTypeName(DclTextureTypeOf(usage));
        if (!type) return Fail("unknown sampler texture type " + std::to_string(DclTextureTypeOf(usage)), at);
        name += std::string("_") + type;
    } else if ((IsVertexProfile(profile_) || ProfileMajor(profile_) >= 3) && RegisterTypeOf(dest) != REG_MISCTYPE) {
        const char* usageName = DeclUsageName(DclUsageOf(usage));
        if (!usageName) return Fail("unknown declaration usage " + std::to_string(DclUsageOf(usage)), at);
        name += std::string("_") + usageName;
        if (DclUsageIndexOf(usage)) name += std::to_string(DclUsageIndexOf(usage));
    }
    std::string operand;
    if (!Destination(cursor, &operand)) return false;
    if (cursor.Remaining()) return Fail("unexpected tokens after the declaration", cursor.Index());
    *line += name + ResultSuffix(dest) + " " + operand;
    return true;
}

bool Disassembler::Instruction(const WalkedInstruction& w) {
    const InstructionInfo* info = FindInstructionForToken(w.token, profile_);
    const uint32_t opcode = InstructionOpcode(w.token);
    if (!info) return Fail("unknown opcode " + std::to_string(opcode), w.index);
    const int8_t form = info->Form(profile_);
    if (form == kNotAvailable)
        return Fail(std::string("'") + info->name + "' is not an instruction of " + GetProfileInfo(profile_).name,
                    w.index);

    std::string line = "    ";
    if (IsCoissued(w.token)) line += "+";
    ParamCursor cursor(w);
    if (opcode == OP_DCL) {
        if (!Declaration(w, *info, &line)) return false;
        body_ += line + "\n";
        return true;
    }

    // Mnemonic with comparison and result suffixes (taken from the destination).
    std::string mnemonic = info->name;
    if (opcode == OP_IFC || opcode == OP_BREAKC || opcode == OP_SETP) {
        const char* cmp = ComparisonName(InstructionComparison(w.token));
        if (!cmp) return Fail("unknown comparison " + std::to_string(InstructionComparison(w.token)), w.index);
        mnemonic = std::string(opcode == OP_IFC ? "if" : opcode == OP_BREAKC ? "break" : "setp") + "_" + cmp;
    }
    const bool hasDest = FormHasDestination(form);
    if (hasDest && w.paramCount > 0) mnemonic += ResultSuffix(w.params[0]);

    std::vector<std::string> operands;
    std::string predicate;
    if (hasDest) {
        std::string dest;
        if (!Destination(cursor, &dest)) return false;
        operands.push_back(dest);
    }
    if (IsPredicated(w.token)) {
        std::string p;
        if (!Source(cursor, &p)) return false;
        predicate = "(" + p + ") ";
    }
    const int literals = FormLiteralTokens(form);
    if (literals > 0) {
        for (int i = 0; i < literals; ++i) {
            const size_t at = cursor.Index();
            uint32_t value;
            if (!cursor.Next(&value)) return Fail("literal value missing", at);
            if (form == kFormDef) operands.push_back(FloatText(value));
            else if (form == kFormDefI) operands.push_back(std::to_string(int32_t(value)));
            else operands.push_back(value ? "true" : "false");
        }
    } else {
        const int sources = FormParameterCount(form) - (hasDest ? 1 : 0);
        for (int i = 0; i < sources; ++i) {
            std::string src;
            if (!Source(cursor, &src)) return false;
            operands.push_back(src);
        }
    }
    if (cursor.Remaining()) return Fail("unexpected parameter tokens after '" + mnemonic + "'", cursor.Index());

    line += predicate + mnemonic;
    for (size_t i = 0; i < operands.size(); ++i) line += (i ? ", " : " ") + operands[i];
    body_ += line + "\n";
    return true;
}

bool Disassembler::Comment(const WalkedInstruction& w) {
    if (w.paramCount < 1) return true;
    const uint32_t tag = w.params[0];
    const uint8_t* data = reinterpret_cast<const uint8_t*>(w.params + 1);
    const uint32_t size = uint32_t((w.paramCount - 1) * 4);
    if ((tag == kTagConstantTable || tag == kTagFragmentInfo) && options_.constantTable) {
        std::string text, error;
        if (!FormatConstantTable(data, size, &text, &error, tag == kTagFragmentInfo)) return Fail(error, w.index);
        header_ += text;
    } else if (tag == kTagDebugInfo) {
        header_ += DebugInfoText(data, size);
    }
    return true;
}

// A summary of the debug information: where the program came from and which
// variables it writes. A malformed block is named, not fatal: the program
// itself may still be read.
std::string Disassembler::DebugInfoText(const uint8_t* data, uint32_t size) {
    DebugInfoView info;
    std::string error;
    if (FAILED(ReadDebugInfo(data, size, &info, &error)))
        return "// (debug information: " + std::to_string(size) + " bytes, unreadable: " + error + ")\n";
    std::string text = "// Debug information";
    if (!info.entryName.empty()) text += " for " + info.entryName;
    text += ": " + std::to_string(info.instructions.size()) + " instruction records\n";
    for (const std::string& file : info.files) text += "//   file " + file + "\n";
    for (const DebugVariableView& v : info.variables) {
        text += "//   " + (v.declaration.empty() ? v.name : v.declaration) + ": ";
        text += v.writes.empty() ? std::string("not written") : "written by " + std::to_string(v.writes.size()) +
                                                                     (v.writes.size() == 1 ? " instruction" : " instructions");
        text += "\n";
    }
    return text + "//\n";
}

bool Disassembler::Run(std::string* text, Failure* failure) {
    if (count_ == 0) {
        *failure = {"no version token", 0};
        return false;
    }
    uint32_t version = tokens_[0];
    const bool fragment = VersionKind(version) == kVersionKindVertexFragment ||
                          VersionKind(version) == kVersionKindPixelFragment;
    if (fragment) version |= 0x80000000u;
    // vs_1_0 and ps_1_0 read as 1_1, as the compiler and the assembler treat them.
    if ((version & 0xFFFF) == 0x0100) version |= 1;
    if (!ProfileFromVersionToken(version, &profile_)) {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%08X", tokens_[0]);
        *failure = {std::string("unknown version token ") + hex, 0};
        return false;
    }
    lengths_ = HasLengthField(profile_);

    InstructionWalker walker(tokens_, count_);
    WalkedInstruction w;
    bool ended = false;
    while (!ended) {
        const size_t at = walker.Position();
        switch (walker.Next(&w)) {
        case WalkStatus::End:
            ended = true;
            if (w.index + 1 != count_) {
                *failure = {"tokens after the end token", w.index + 1};
                return false;
            }
            break;
        case WalkStatus::Truncated:
            *failure = {at < count_ ? "instruction runs past the end of the data" : "end token missing", at};
            return false;
        case WalkStatus::BadToken:
            *failure = {"parameter token where an instruction was expected", at};
            return false;
        case WalkStatus::Ok:
            if (!(w.comment ? Comment(w) : Instruction(w))) {
                *failure = failure_;
                return false;
            }
            break;
        }
    }
    *text += header_;
    if (!header_.empty()) *text += "\n";
    *text += std::string("    ") + GetProfileInfo(profile_).name + "\n";
    if (fragment) *text += IsVertexProfile(profile_) ? "    // vertex shader fragment\n" : "    // pixel shader fragment\n";
    *text += body_;
    return true;
}

}  // namespace

HRESULT DisassembleShader(const void* bytecode, size_t byteSize, const DisassemblyOptions& options,
                          std::string* text, DisassemblyError* error) {
    if (!bytecode || !text || !error) return D3DERR_INVALIDCALL;
    text->clear();
    const size_t count = byteSize / 4;
    std::vector<uint32_t> tokens(count);
    if (count) std::memcpy(tokens.data(), bytecode, count * 4);
    Disassembler disassembler(tokens.data(), count, options);
    Failure failure;
    if (!disassembler.Run(text, &failure)) {
        text->clear();
        error->message = failure.message;
        error->token = failure.token;
        return ERR_INVALID_DATA;
    }
    if (byteSize % 4) {
        error->message = "size is not a multiple of four bytes";
        error->token = count;
        text->clear();
        return ERR_INVALID_DATA;
    }
    return S_OK;
}
