// Names of shader inputs and outputs as kiln run reads and prints them:
// "POSITION", "COLOR0", "TEXCOORD3", ... (declaration usage + index).
#pragma once

#include <cstdint>
#include <string>

// Parses "TEXCOORD3", "texcoord3", "COLOR" (index 0). False when the base
// name is no declaration usage or the index is not 0-15.
bool ParseSemantic(const std::string& name, uint8_t* usage, uint8_t* index);

// The printed name: COLOR and TEXCOORD always carry their index
// ("COLOR0"), other usages only when it is not 0 ("POSITION", "NORMAL1").
std::string SemanticName(uint8_t usage, uint8_t index);
