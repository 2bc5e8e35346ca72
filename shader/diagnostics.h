// The messages of the compile entry, the tokenizer and the preprocessor: one
// row each, number and text side by side. Stages report a row through
// ErrorLog::Report; the texts are the system's own and must not be reworded.
// X-number ranges: 1001-1007 tokenizer, 1500-1517 preprocessor, 2001-2031
// assembler, 2902-2904 fragment linking, 3000-3085 parser and semantic checks,
// 3500-3512 lowering and entry point, 4000 and up code generators.
#pragma once

#include "shader/error_log.h"

namespace diag {

// Tokenizer.
inline constexpr Diagnostic kCommentPastEndOfFile{1001, false, "comment continues past end of file"};
inline constexpr Diagnostic kHexTruncated{1002, false, "hex value truncated to 32bits"};
inline constexpr Diagnostic kOctalTruncated{1003, false, "octal value truncated to 32bits"};
inline constexpr Diagnostic kDecimalTruncated{1004, false, "decimal value truncated to 32bits"};
inline constexpr Diagnostic kStringPastEndOfLine{1005, false, "string continues past end of line"};
inline constexpr Diagnostic kStringPastEndOfFile{1006, false, "string continues past end of file"};
inline constexpr Diagnostic kCharacterPastEndOfFile{1007, false, "character continues past end of file"};

// Preprocessor.
inline constexpr Diagnostic kPreprocessorSyntax{1500, false, "syntax error : unexpected %s"};
inline constexpr Diagnostic kTokensAfterDirective{1501, false, "unexpected tokens following preprocessor directive"};
inline constexpr Diagnostic kUnexpectedEndOfFile{1502, false, "unexpected end of file"};
inline constexpr Diagnostic kDivisionByZero{1503, false, "division by zero in preprocessor expression"};
inline constexpr Diagnostic kInvalidDirective{1504, false, "invalid preprocessor command '%s'"};
inline constexpr Diagnostic kIncludeNeedsInterface{
    1505, false, "include interface required to support #include from resource or memory"};
inline constexpr Diagnostic kTooManyIncludes{1506, false, "too many nested #includes"};
inline constexpr Diagnostic kCannotOpenSource{1507, false, "failed to open source file: '%s'"};
inline constexpr Diagnostic kUnexpectedElif{1508, false, "unexpected #elif"};
inline constexpr Diagnostic kUnexpectedElse{1509, false, "unexpected #else"};
inline constexpr Diagnostic kUnexpectedEndif{1510, false, "unexpected #endif"};
inline constexpr Diagnostic kDuplicateParameter{1511, false, "duplicate macro parameter '%s'"};
inline constexpr Diagnostic kCannotOpenResource{1512, false, "failed to open resource"};
inline constexpr Diagnostic kElifAfterElse{1513, false, "unexpected #elif following #else"};
inline constexpr Diagnostic kElseAfterElse{1514, false, "unexpected #else following #else"};
inline constexpr Diagnostic kEndOfFileInMacro{1515, false, "unexpected end of file in macro expansion"};
inline constexpr Diagnostic kMacroArguments{1516, false, "not enough actual parameters for macro '%s'"};
inline constexpr Diagnostic kFunctionMacroInExpression{
    1517, false, "functional defines in preprocessor expressions not yet implemented"};
// Limits of this implementation, reported in the preprocessor's range so a
// runaway input fails with a message instead of exhausting memory.
inline constexpr Diagnostic kMacroTooDeep{1518, false, "macro expansion nested too deeply in '%s'"};
inline constexpr Diagnostic kMacroTooLarge{1519, false, "macro expansion of '%s' is too large"};
inline constexpr Diagnostic kMacroOutputTooLarge{1519, false, "macro expansions produce more than %s tokens in all"};
inline constexpr Diagnostic kMacroTextTooLarge{1519, false,
                                               "macro expansions make more than %s bytes of text with # and ## in all"};
inline constexpr Diagnostic kUserError{0, false, "error: %s"};
inline constexpr Diagnostic kOutOfMemory{0, false, "internal error: out of memory"};
inline constexpr Diagnostic kStackOverflow{0, false, "yacc stack overflow"};

// Compile entry and entry point.
inline constexpr Diagnostic kEntryPointNotFound{3501, false, "'%s': entrypoint not found"};
inline constexpr Diagnostic kOverloadNotFound{3501, false, "overloaded function not found"};
inline constexpr Diagnostic kVs10Remapped{3505, true, "vs_1_0 is no longer supported; using vs_1_1"};
inline constexpr Diagnostic kPs10Remapped{3505, true, "ps_1_0 is no longer supported; using ps_1_1"};
inline constexpr Diagnostic kUnknownTarget{3506, false, "unrecognized compiler target '%s'"};

}  // namespace diag
