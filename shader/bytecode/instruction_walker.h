// Steps through the tokens of finished shader bytecode one instruction at a
// time without ever reading outside the given range. Programs of version 2.0
// and higher carry each instruction's length; older ones are stepped token by
// token (parameter tokens have bit 31 set) with "def" taken as a whole, since
// its float data may have bit 31 clear.
#pragma once

#include <cstddef>
#include <cstdint>

#include "gfx/shaders/shader_isa.h"

// Kinds in the upper half of the version token.
constexpr uint32_t kVersionKindVertex = 0xFFFE;
constexpr uint32_t kVersionKindPixel = 0xFFFF;
constexpr uint32_t kVersionKindVertexFragment = 0x7FFE;
constexpr uint32_t kVersionKindPixelFragment = 0x7FFF;
constexpr uint32_t kVersionKindEffect = 0x4658;
constexpr uint32_t kVersionKindTextureFill = 0x5458;

bool IsKnownVersionKind(uint32_t kind);


struct WalkedInstruction {
    size_t index = 0;       // of the instruction (or comment) token
    uint32_t token = 0;
    const uint32_t* params = nullptr;  // tokens after the instruction token
    size_t paramCount = 0;
    bool comment = false;
    bool end = false;
};

enum class WalkStatus { Ok, End, Truncated, BadToken };

class InstructionWalker {
public:
    // `tokens` starts at the version token.
    InstructionWalker(const uint32_t* tokens, size_t count);

    // Moves to the next instruction. Ok: `out` describes it; End: the end token
    // was met (described in `out` too); Truncated: an instruction runs past the
    // tokens given, or they ran out before the end token; BadToken: a stray
    // parameter token (bit 31) where an instruction must start in a
    // length-carrying program.
    WalkStatus Next(WalkedInstruction* out);

    // Steps over one token (a stray parameter token that a lenient reader skips).
    void SkipToken() { ++pos_; }
    uint32_t Version() const { return version_; }
    bool TrustsLength() const { return (version_ & 0xFFFF) >= 0x0200; }
    size_t Position() const { return pos_; }

private:
    const uint32_t* tokens_;
    size_t count_;
    size_t pos_ = 1;
    uint32_t version_ = 0;
};
