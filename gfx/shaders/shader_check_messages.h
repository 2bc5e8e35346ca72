// Codes and texts of the messages the shader checker reports (through the
// validator's callback, with message type 2). Each text is a printf format;
// the arguments are listed after it.
//
// | code | text |
// |---|---|
// |  1 | "unsupported shader version token 0x%08X" |
// |  2 | "instruction at token %u runs past the end of the shader" |
// |  3 | "no end token within the shader's %u tokens" |
// |  4 | "comment of %u tokens runs past the end of the shader" |
// |  5 | "unknown opcode %u" |
// |  6 | "'%s' is not available in %s" |
// |  7 | "'%s' has length field %u but its parameters take %u tokens" |
// |  8 | "instruction token 0x%08X of '%s' sets reserved or unknown control bits" |
// |  9 | "co-issue is not allowed on '%s' here" |
// | 10 | "predication is not allowed on '%s' in %s" |
// | 11 | "token %u of '%s' is not a parameter token (0x%08X)" |
// | 12 | "'%s' cannot write register %s" |
// | 13 | "'%s' cannot read register %s as operand %u" |
// | 14 | "register %s is out of range for %s" |
// | 15 | "write mask 0x%X is not allowed on '%s' in %s" |
// | 16 | "result modifier 0x%X is not allowed on '%s' in %s" |
// | 17 | "shift scale %d is not allowed on '%s' in %s" |
// | 18 | "source modifier %u is not allowed on operand %u of '%s' in %s" |
// | 19 | "relative addressing of %s is not allowed in %s" |
// | 20 | "invalid relative address token 0x%08X on '%s'" |
// | 21 | "invalid declaration of %s: %s" |
// | 22 | "declarations must come before the first instruction ('%s')" |
// | 23 | "register %s is used by '%s' without a declaration" |
// | 24 | "register %s is declared twice" |
// | 25 | "'%s' without a matching '%s'" |
// | 26 | "flow control nested deeper than %u levels" |
// | 27 | "'%s' block is not closed at the end of the shader" |
// | 28 | "label l%u is %s" |
// | 29 | "'ret' inside an open '%s' block" |
// | 30 | "'%s' outside any subroutine after the main program's 'ret'" |
// | 31 | "'%s' must follow '%s' on the next texture stage with the same source" |
// | 32 | "texture instruction '%s' after arithmetic instructions of the same phase" |
// | 33 | "swizzle 0x%02X is not allowed on operand %u of '%s' in %s" |
// | 34 | "'phase' may appear only once" |
// | 35 | "texture register t%u is read by '%s' before stage t%u" |
// | 36 | "'%s' needs %s" |
// | 37 | "%u %sinstruction slots exceed the %u that %s allows%s" |
#pragma once

namespace gfx {

enum CheckCode : int {
    kCheckVersion = 1,
    kCheckTruncated = 2,
    kCheckMissingEnd = 3,
    kCheckComment = 4,
    kCheckUnknownOpcode = 5,
    kCheckNotInVersion = 6,
    kCheckLength = 7,
    kCheckControlBits = 8,
    kCheckCoissue = 9,
    kCheckPredication = 10,
    kCheckParamToken = 11,
    kCheckDstRegister = 12,
    kCheckSrcRegister = 13,
    kCheckRegisterRange = 14,
    kCheckWriteMask = 15,
    kCheckResultModifier = 16,
    kCheckShift = 17,
    kCheckSourceModifier = 18,
    kCheckRelative = 19,
    kCheckRelativeToken = 20,
    kCheckDcl = 21,
    kCheckDclAfterBody = 22,
    kCheckUndeclared = 23,
    kCheckRedeclared = 24,
    kCheckUnmatched = 25,
    kCheckNesting = 26,
    kCheckOpenBlock = 27,
    kCheckLabel = 28,
    kCheckRetInBlock = 29,
    kCheckAfterMain = 30,
    kCheckTexSequence = 31,
    kCheckTexOrder = 32,
    kCheckSwizzle = 33,
    kCheckPhase = 34,
    kCheckTexStage = 35,
    kCheckOperand = 36,
    kCheckSlots = 37,
};

// printf format of a code's text; "unknown error" for unknown codes.
const char* CheckMessageFormat(int code);

}  // namespace gfx
