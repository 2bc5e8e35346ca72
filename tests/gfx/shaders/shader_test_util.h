// Helpers for running small shaders in tests: create a program, fill lanes,
// run both execution paths, and a sampler that reports what it was asked.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "gfx/shaders/shader_program.h"
#include "token_builder.h"

namespace gfx::test {

using namespace isa;

inline std::unique_ptr<ShaderProgram> MustCreate(const std::vector<DWORD>& tokens, ShaderKind kind) {
    std::unique_ptr<ShaderProgram> program;
    std::string why;
    const HRESULT checked = CheckShaderTokens(tokens.data(), tokens.size(), kind, &why);
    EXPECT_EQ(checked, D3D_OK) << why;
    EXPECT_EQ(ShaderProgram::Create(tokens.data(), tokens.size(), kind, &program), D3D_OK) << why;
    return program;
}

inline std::string RefusalReason(const std::vector<DWORD>& tokens, ShaderKind kind) {
    std::string why;
    std::unique_ptr<ShaderProgram> program;
    EXPECT_EQ(ShaderProgram::Create(tokens.data(), tokens.size(), kind, &program), D3DERR_INVALIDCALL);
    EXPECT_EQ(program, nullptr);
    CheckShaderTokens(tokens.data(), tokens.size(), kind, &why);
    return why;
}

inline void SetLane(LaneVec4* v, int lane, float x, float y, float z, float w) {
    v->v[0][lane] = x;
    v->v[1][lane] = y;
    v->v[2][lane] = z;
    v->v[3][lane] = w;
}
inline void SetAll(LaneVec4* v, float x, float y, float z, float w) {
    for (int l = 0; l < kLanes; ++l) SetLane(v, l, x, y, z, w);
}
struct Vec4 {
    float x, y, z, w;
};
inline Vec4 Lane(const LaneVec4& v, int lane) { return {v.v[0][lane], v.v[1][lane], v.v[2][lane], v.v[3][lane]}; }

// Samples nothing: returns the coordinates as the colour (w = lod or bias when
// given) and keeps the last request's derivatives.
class EchoSampler : public TextureSampler {
public:
    void Sample(UINT sampler, const SampleLanes& lanes, float (*out)[4]) override {
        ++calls;
        lastSampler = sampler;
        lastMode = lanes.mode;
        for (int l = 0; l < kLanes; ++l) {
            if (!(lanes.laneMask >> l & 1)) continue;
            for (int k = 0; k < 4; ++k) out[l][k] = lanes.coord[l][k];
            if (lanes.lod) out[l][3] = lanes.lod[l];
            for (int k = 0; k < 4; ++k) {
                ddx[l][k] = lanes.ddx ? lanes.ddx[l][k] : -99.0f;
                ddy[l][k] = lanes.ddy ? lanes.ddy[l][k] : -99.0f;
            }
        }
    }
    BumpEnvironment Bump(UINT) const override { return bump; }
    int calls = 0;
    UINT lastSampler = 99;
    LodMode lastMode = LodMode::Derivatives;
    float ddx[kLanes][4] = {};
    float ddy[kLanes][4] = {};
    BumpEnvironment bump;
};

}  // namespace gfx::test
