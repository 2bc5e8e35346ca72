// Renders a constant table block (or fragment information block) as the
// comment header of a disassembly: the creator, "// Parameters:" with one
// declaration per constant and "// Registers:" with name, register and size.
#pragma once

#include <cstdint>
#include <string>

// `data` and `size` are the block's payload after the tag. On malformed
// tables returns false with `error` saying what is wrong; nothing in the table
// is trusted before it is checked against `size`.
bool FormatConstantTable(const uint8_t* data, uint32_t size, std::string* text, std::string* error);
