// An instruction name with its suffixes ("mov_sat", "dcl_texcoord1",
// "if_gt", "texld_pp_centroid"): the row of the instruction table and what
// each suffix adds, checked against the profile.
#pragma once

#include <string>

#include "gfx/shaders/shader_isa.h"

struct Mnemonic {
    const gfx::isa::InstructionInfo* row = nullptr;
    int8_t form = 0;
    DWORD resultModifiers = 0;  // destination bits 20-23 as a field value
    int shift = 0;              // destination bits 24-27 as a signed count
    bool hasUsage = false;      // "dcl" with a usage name
    DWORD usage = 0;
    DWORD usageIndex = 0;
    DWORD textureType = 0;      // "dcl" with "2d", "cube", "volume"
    DWORD comparison = 0;       // "gt" ... "le"
};

enum class MnemonicStatus {
    Ok,
    Unknown,        // not in the table (or a part longer than 15 characters)
    NotInVersion,   // in the table, not in the profile
    BadSuffix,      // a suffix unknown, repeated or not allowed here
};

// `bad` receives the first part for NotInVersion and the suffix for BadSuffix.
MnemonicStatus ParseMnemonic(const char* name, gfx::isa::Profile profile, Mnemonic* out, std::string* bad);
