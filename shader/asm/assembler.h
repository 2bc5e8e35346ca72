// The shader assembler: reads shader assembly from the preprocessor in
// assembly mode, checks every instruction against the instruction and register
// tables of its profile, encodes the tokens and hands each instruction to the
// platform's validator when there is one. Every faulty line is reported and
// the next one read, so one run lists all the errors.
//
//   version statement        Run (here)
//   one statement per line   asm_grammar.y, with the recording actions below
//   name and suffixes        asm_mnemonic.cpp
//   operands and tokens      asm_encode.cpp, asm_operands.cpp
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gfx/shaders/shader_isa.h"
#include "platform/wintypes.h"
#include "shader/asm/asm_fragment.h"
#include "shader/asm/asm_syntax.h"
#include "shader/bytecode/token_stream.h"
#include "shader/bytecode/validator_session.h"
#include "shader/kl_buffer.h"
#include "shader/preprocess/token.h"

class Preprocessor;

// Flags of the assembler entry family.
constexpr DWORD kAssembleDebug = 0x1;       // write the debug information block
constexpr DWORD kAssembleSkipValidation = 0x4;  // do not use the platform's validator
constexpr DWORD kAssembleFlagsMask = kAssembleDebug | kAssembleSkipValidation;

// The assembler slot of the compile pipeline: D3DERR_INVALIDCALL for other
// flag bits or a null code out; ERR_INVALID_DATA when an error was reported.
HRESULT AssembleStage(Preprocessor& preprocessor, DWORD flags, IKLBuffer** code);

// Assembles a vertex shader fragment for fragment linking (vs_1_1 to vs_2_sw):
// registers are named ("v_texcoord0", "r_name", "c_<variable>"), the version
// token has the kind 0x7FFE, the "FINF" block lists the names, and the
// validator is not used.
HRESULT AssembleFragment(Preprocessor& preprocessor, DWORD flags, const FragmentContext& context, IKLBuffer** code);

class Assembler {
public:
    // `fragment` is null, or the context of a fragment assembly.
    Assembler(Preprocessor& preprocessor, DWORD flags, const FragmentContext* fragment = nullptr);
    HRESULT Run(IKLBuffer** code);

    // The grammar's lexer and error hook.
    int Lex(AsmValue* value);
    void SyntaxError(bool stackOverflow);

    // Recording actions of the grammar.
    void SetCoissue() { statement_.coissue = true; }
    void SetPredicate(int operand) { statement_.predicate = operand; }
    void SetName(const char* name, SourceLocation at);
    void AddOperand(int operand) { statement_.operands.push_back(operand); }
    void Negate(int operand) { ++operands_[operand].negates; }
    void Not(int operand) { ++operands_[operand].nots; }
    int Literal(const AsmValue& number);
    void Complement(int operand, const AsmValue& number);
    void Swizzle(int operand, const char* letters) { operands_[operand].swizzle = letters; }
    int Register(const AsmValue& name, bool bracketed, const char* suffix);
    void BeginAddress() { address_ = AsmAddress{}; }
    void AddressRegister(const char* name, const char* component);
    void AddressOffset(const AsmValue& number, bool negative);
    // A line ends: encode it, or forget it after a syntax error.
    void FinishStatement();
    void DropStatement();

private:
    HRESULT ReadVersion();
    HRESULT Finish(IKLBuffer** code);
    uint16_t FileIndex(const char* file);

    Preprocessor& preprocessor_;
    ErrorLog& log_;
    DWORD flags_;
    gfx::isa::Profile profile_{};
    TokenStream stream_{false};
    ValidatorSession validator_;
    bool failed_ = false;
    std::unique_ptr<FragmentNames> fragment_;

    // Lexer state.
    Token last_;
    bool atLineStart_ = true;
    bool ended_ = false;

    // The statement being read.
    AsmStatement statement_;
    std::vector<AsmOperand> operands_;
    AsmAddress address_;

    // Debug information: the source text and the files instructions came from.
    std::string source_;
    std::vector<std::string> files_;
    std::map<std::string, uint16_t> fileIndex_;
};
