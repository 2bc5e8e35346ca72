// Builds shader token streams for tests: one call per instruction, with the
// length field filled in for versions that carry it.
//
//   TokenBuilder b(isa::MakeVertexVersion(2, 0));
//   b.Ins(isa::OP_ADD, {Dst(isa::REG_TEMP, 0), Src(isa::REG_INPUT, 0), Src(isa::REG_CONST, 1)});
//   std::vector<DWORD> tokens = b.End();
#pragma once

#include <cstring>
#include <initializer_list>
#include <vector>

#include "gfx/shaders/shader_isa.h"

namespace gfx::test {

inline DWORD Dst(DWORD type, DWORD number, DWORD mask = isa::kMaskAll, DWORD resultMods = 0, int shift = 0) {
    return isa::MakeDest(type, number, mask, resultMods, shift);
}
inline DWORD Src(DWORD type, DWORD number, DWORD swizzle = isa::kSwizzleIdentity, DWORD modifier = 0) {
    return isa::MakeSource(type, number, swizzle, modifier);
}
// Swizzle from letters: "xyzw", "x" (replicated), "wzyx"...
inline DWORD Swz(const char* s) {
    DWORD comps[4] = {0, 1, 2, 3};
    size_t n = std::strlen(s);
    for (size_t i = 0; i < 4; ++i) {
        char ch = s[i < n ? i : n - 1];
        comps[i] = ch == 'x' ? 0 : ch == 'y' ? 1 : ch == 'z' ? 2 : 3;
    }
    return isa::MakeSwizzle(comps[0], comps[1], comps[2], comps[3]);
}
inline DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

class TokenBuilder {
public:
    explicit TokenBuilder(DWORD version) : tokens_{version} {
        lengths_ = isa::VersionMajor(version) >= 2;
    }

    // An instruction with its parameter tokens (destination, relative address,
    // predicate and source tokens, in stream order).
    TokenBuilder& Ins(DWORD opcodeWithControl, std::initializer_list<DWORD> params, bool predicated = false,
                      bool coissue = false) {
        const DWORD length = lengths_ ? static_cast<DWORD>(params.size()) : 0;
        tokens_.push_back(isa::MakeInstruction(opcodeWithControl, length, predicated, coissue));
        tokens_.insert(tokens_.end(), params.begin(), params.end());
        return *this;
    }
    TokenBuilder& Def(DWORD constIndex, float x, float y, float z, float w) {
        return Ins(isa::OP_DEF, {Dst(isa::ConstantRegisterType(constIndex), constIndex & 0x7FF), FloatBits(x),
                                 FloatBits(y), FloatBits(z), FloatBits(w)});
    }
    TokenBuilder& DefI(DWORD n, int x, int y, int z, int w) {
        return Ins(isa::OP_DEFI, {Dst(isa::REG_CONSTINT, n), DWORD(x), DWORD(y), DWORD(z), DWORD(w)});
    }
    TokenBuilder& DefB(DWORD n, bool value) { return Ins(isa::OP_DEFB, {Dst(isa::REG_CONSTBOOL, n), value ? 1u : 0u}); }
    // dcl with a usage (vertex inputs/outputs, ps_3_0 inputs).
    TokenBuilder& DclUsage(DWORD type, DWORD number, DWORD usage, DWORD index = 0, DWORD mask = isa::kMaskAll) {
        return Ins(isa::OP_DCL, {isa::MakeDclUsage(usage, index), Dst(type, number, mask)});
    }
    // dcl of a ps_2_x input (vN or tN) without a usage.
    TokenBuilder& DclInput(DWORD type, DWORD number, DWORD mask = isa::kMaskAll) {
        return Ins(isa::OP_DCL, {isa::kParamBit, Dst(type, number, mask)});
    }
    TokenBuilder& DclSampler(DWORD number, DWORD textureType = isa::TEXTURE_2D) {
        return Ins(isa::OP_DCL, {isa::MakeDclSampler(textureType), Dst(isa::REG_SAMPLER, number)});
    }
    TokenBuilder& Comment(std::initializer_list<DWORD> payload) {
        tokens_.push_back(isa::MakeComment(static_cast<DWORD>(payload.size())));
        tokens_.insert(tokens_.end(), payload.begin(), payload.end());
        return *this;
    }
    TokenBuilder& Raw(DWORD token) {
        tokens_.push_back(token);
        return *this;
    }
    // The stream so far without an end token (for malformed-input tests).
    const std::vector<DWORD>& Tokens() const { return tokens_; }
    std::vector<DWORD> End() {
        std::vector<DWORD> out = tokens_;
        out.push_back(isa::kEndToken);
        return out;
    }

private:
    std::vector<DWORD> tokens_;
    bool lengths_ = false;
};

}  // namespace gfx::test
