// The effect classes: what they draw from the generator, what they put in
// their buffers, and how they fail when a shader does not load.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "demo/cube.h"
#include "demo/dx.h"
#include "demo/emberfall.h"
#include "demo/polygon.h"
#include "platform/random.h"

namespace {

class EffectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner_.initDx3D(nullptr, 800, 600, true);
        ASSERT_NE(owner_.device, nullptr);
        platform::crt::srand(1);
    }
    IDirect3DDevice9* device() { return owner_.device; }

    // The n-th value (1-based) of a fresh generator.
    static int NthRand(int n) {
        platform::crt::srand(1);
        int v = 0;
        for (int i = 0; i < n; ++i) v = platform::crt::rand();
        return v;
    }

    dx owner_;
};

template <typename T>
std::vector<T> ReadBuffer(IDirect3DVertexBuffer9* vb) {
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    D3DVERTEXBUFFER_DESC desc{};
    vb->GetDesc(&desc);
    std::vector<T> out(desc.Size / sizeof(T));
    std::memcpy(out.data(), data, out.size() * sizeof(T));
    vb->Unlock();
    return out;
}

std::vector<WORD> ReadIndices(IDirect3DIndexBuffer9* ib) {
    void* data = nullptr;
    EXPECT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    D3DINDEXBUFFER_DESC desc{};
    ib->GetDesc(&desc);
    std::vector<WORD> out(desc.Size / sizeof(WORD));
    std::memcpy(out.data(), data, desc.Size);
    ib->Unlock();
    return out;
}

TEST_F(EffectsTest, FireFieldDrawsEightValuesPerParticleInOrder) {
    auto fire = std::make_unique<cEmberfall>(device(), KLVECTOR3{0, -6, 25});
    fire->Init("NoSuchEffect");
    // 550 particles x 8 draws: the next value is the 4401st of the sequence.
    int next = platform::crt::rand();
    EXPECT_EQ(next, NthRand(4401));

    // Particle 0: draws 1-3 discarded, then velocity y, velocity x, size, life, frame.
    const float rnd = 1.0f / 32767;
    const cVertex& v = fire->particles[0].vertices[0];
    EXPECT_FLOAT_EQ(v.velocity.y, 2 + 5 * (NthRand(4) * rnd));
    EXPECT_FLOAT_EQ(v.velocity.x, -2 * (NthRand(5) * rnd));
    EXPECT_FLOAT_EQ(v.offset.z, 0.5f + 1.5f * (NthRand(6) * rnd));
    EXPECT_FLOAT_EQ(v.lifeTime, 0.5f + 3 * (NthRand(7) * rnd));
    EXPECT_FLOAT_EQ(fire->particles[0].vertices[1].tu, 0.25f * (NthRand(8) % 4 + 1));
}

TEST_F(EffectsTest, FireFieldOffsetsFramesAndRanges) {
    auto fire = std::make_unique<cEmberfall>(device(), KLVECTOR3{0, -6, 25});
    fire->Init("NoSuchEffect");
    std::set<float> leftEdges;
    for (int i = 0; i < cEmberfall::kParticles; ++i) {
        const sPolygon& p = fire->particles[i];
        EXPECT_FLOAT_EQ(p.vertices[0].timeOffset, -0.05f * i);
        const float s = p.vertices[1].offset.x;
        EXPECT_GE(s, 0.5f);
        EXPECT_LE(s, 2.0f);
        EXPECT_FLOAT_EQ(p.vertices[0].tu + 0.25f, p.vertices[1].tu);
        leftEdges.insert(p.vertices[0].tu);
        for (const cVertex& v : p.vertices) {
            EXPECT_EQ(v.position.y, -6.0f);
            EXPECT_GE(v.velocity.x, -2.0f);
            EXPECT_LE(v.velocity.x, 0.0f);
            EXPECT_GE(v.velocity.y, 2.0f);
            EXPECT_LE(v.velocity.y, 7.0f);
            EXPECT_GE(v.lifeTime, 0.5f);
            EXPECT_LE(v.lifeTime, 3.5f);
        }
    }
    EXPECT_FLOAT_EQ(fire->particles[549].vertices[3].timeOffset, -27.45f);
    EXPECT_EQ(leftEdges, (std::set<float>{0.0f, 0.25f, 0.5f, 0.75f}));
}

TEST_F(EffectsTest, ThreeFieldsInARowDiffer) {
    cEmberfall a(device(), KLVECTOR3{0, -6, 25}), b(device(), KLVECTOR3{0, -6, 25});
    a.Init("NoSuchEffect");
    b.Init("NoSuchEffect");
    int differing = 0;
    for (int i = 0; i < cEmberfall::kParticles; ++i)
        differing += a.particles[i].vertices[0].lifeTime != b.particles[i].vertices[0].lifeTime;
    EXPECT_GT(differing, 500);
}

TEST_F(EffectsTest, FireFieldBuffersHoldEveryQuad) {
    auto fire = std::make_unique<cEmberfall>(device(), KLVECTOR3{0, -6, 25});
    fire->Init("NoSuchEffect");
    ASSERT_NE(fire->vertexBuffer, nullptr);
    ASSERT_NE(fire->indexBuffer, nullptr);
    ASSERT_NE(fire->vertexDecl, nullptr);
    std::vector<cVertex> vertices = ReadBuffer<cVertex>(fire->vertexBuffer);
    ASSERT_EQ(vertices.size(), 2200u);
    for (int i = 0; i < cEmberfall::kParticles; ++i)
        EXPECT_EQ(std::memcmp(&vertices[4 * i], fire->particles[i].vertices, 4 * sizeof(cVertex)), 0) << i;
    std::vector<WORD> indices = ReadIndices(fire->indexBuffer);
    ASSERT_EQ(indices.size(), 3300u);
    const WORD pattern[6] = {0, 1, 2, 1, 3, 2};
    for (int q = 0; q < cEmberfall::kParticles; ++q)
        for (int k = 0; k < 6; ++k) EXPECT_EQ(indices[6 * q + k], 4 * q + pattern[k]);
}

TEST_F(EffectsTest, ScrollerLayerSpan) {
    cPolygon layer(device(), KLVECTOR3{400, -28, 50});
    layer.Init("NoSuchEffect", "no_such_texture.png", 187, 1, 1.5f);
    EXPECT_FLOAT_EQ(layer.quad.vertices[0].offset.x, -280.5f);
    EXPECT_FLOAT_EQ(layer.quad.vertices[3].offset.x, 280.5f);
    EXPECT_FLOAT_EQ(layer.quad.vertices[0].offset.y, 1.5f);
    EXPECT_FLOAT_EQ(layer.quad.vertices[3].offset.y, -1.5f);
    for (const cVertex& v : layer.quad.vertices) {
        EXPECT_FLOAT_EQ(v.offset.z, 1.5f);
        EXPECT_EQ(v.lifeTime, 3000.0f);
        EXPECT_EQ(v.timeOffset, 0.0f);
    }
    EXPECT_EQ(layer.quad.vertices[1].color, 0x000000FFu);
    EXPECT_EQ(layer.texture, nullptr);  // missing file: no texture, nothing else lost
    EXPECT_EQ(layer.vertexShader, nullptr);
    layer.Render();  // draws with nothing bound; must not fail
}

TEST_F(EffectsTest, CubeFacesAndBuffers) {
    cCube cube(device(), KLVECTOR3{0, 0, 20});
    cube.Init();
    EXPECT_EQ(cube.faces[2].vertices[1].offset.x, -3.0f);
    EXPECT_EQ(cube.faces[2].vertices[1].offset.z, 3.0f);
    EXPECT_EQ(cube.faces[5].vertices[0].offset.y, -3.0f);
    ASSERT_NE(cube.vertexBuffer, nullptr);
    EXPECT_EQ(ReadBuffer<cVertex>(cube.vertexBuffer).size(), 24u);
    EXPECT_EQ(ReadIndices(cube.indexBuffer).size(), 36u);
    EXPECT_EQ(cube.faces[0].vertices[0].lifeTime, 1000.0f);
}

// An effect whose pixel shader fails keeps its vertex shader and reports false.
TEST_F(EffectsTest, FailedPixelShaderKeepsVertexShader) {
    char dir[] = "/tmp/kiln_effects_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string base = std::string(dir) + "/Half";
    std::ofstream(base + ".vhl") << "float4 vs_main(float4 p : POSITION) : POSITION { return p; }\n";
    std::ofstream(base + ".phl") << "float4 ps_main() : COLOR { return undefined_name; }\n";

    cPolygon layer(device(), KLVECTOR3{0, 0, 5});
    const bool loaded = layer.LoadShadersFromFile(base.c_str());
    EXPECT_FALSE(loaded);
    EXPECT_EQ(layer.pixelShader, nullptr);
    if (!layer.vertexShader) {
        std::remove((base + ".vhl").c_str());
        std::remove((base + ".phl").c_str());
        rmdir(dir);
        GTEST_SKIP() << "vertex shaders do not compile yet";
    }
    EXPECT_NE(layer.vertexShader, nullptr);
    std::remove((base + ".vhl").c_str());
    std::remove((base + ".phl").c_str());
    rmdir(dir);
}

}  // namespace
