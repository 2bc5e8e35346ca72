// Renders a constant table block (or fragment information block) as the
// comment header of a disassembly: the creator, "// Parameters:" with one
// declaration per constant and "// Registers:" with name, register and size.
// A fragment's block also names inputs ("v_", "n_"), temporaries ("r_") and
// literal registers ("c_$zz"): those appear only in the register list, with
// the register they stand for, the literal values and the bound registers.
#pragma once

#include <cstdint>
#include <string>

// `data` and `size` are the block's payload after the tag. On malformed
// tables returns false with `error` saying what is wrong; nothing in the table
// is trusted before it is checked against `size`.
bool FormatConstantTable(const uint8_t* data, uint32_t size, std::string* text, std::string* error,
                         bool fragment = false);
