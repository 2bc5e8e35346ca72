// Writes the preprocessor's token stream back as text: one output line per
// source line (blank lines kept, a `#line` marker where the file changes or
// lines were skipped), tokens separated by a space where they were apart.
#pragma once

#include <string>

#include "shader/preprocess/preprocessor.h"

// The spelling of one token as source text.
std::string TokenSpelling(const Token& token);

// Reads `preprocessor` to its end in the HLSL mode and appends the text to
// *out. Returns the first failure of the stream, else S_OK.
HRESULT WritePreprocessedText(Preprocessor& preprocessor, std::string* out);
