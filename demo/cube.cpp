#include "demo/cube.h"

#include "demo/clock.h"
#include "demo/effect_resources.h"
#include "demo/load_report.h"
#include "demo/random.h"
#include "texture/kltexture.h"

namespace {
// Corner offsets of vertices 0..3 of each face.
const float kFaceCorners[6][4][3] = {
    {{-3, 3, 3}, {3, 3, 3}, {-3, -3, 3}, {3, -3, 3}},
    {{-3, 3, -3}, {3, 3, -3}, {-3, -3, -3}, {3, -3, -3}},
    {{-3, 3, -3}, {-3, 3, 3}, {-3, -3, -3}, {-3, -3, 3}},
    {{3, 3, -3}, {3, 3, 3}, {3, -3, -3}, {3, -3, 3}},
    {{-3, 3, -3}, {3, 3, -3}, {-3, 3, 3}, {3, 3, 3}},
    {{-3, -3, -3}, {3, -3, -3}, {-3, -3, 3}, {3, -3, 3}},
};
}  // namespace

cCube::~cCube() {
    demo::ReleaseHeld(texture);
    demo::ReleaseHeld(vertexShader);
    demo::ReleaseHeld(pixelShader);
    demo::ReleaseHeld(vertexBuffer);
    demo::ReleaseHeld(indexBuffer);
    demo::ReleaseHeld(vertexDecl);
}

bool cCube::LoadShadersFromFile(const char* name) {
    return demo::LoadEffectShaders(device, name, &vertexShader, &pixelShader);
}

void cCube::Init() {
    time = 0;
    startTime = getTheTime();
    LoadShadersFromFile("cube");
    texture = demo::LoadEffectTexture(device, "cube_tex.png");
    device->SetTexture(0, texture);

    const float a = 2 + 5 * Rnd();
    const float b = -2 * Rnd();
    const KLVECTOR3 velocity{b, a, 0};
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k) {
            const float* c = kFaceCorners[f][k];
            faces[f].vertices[k] = cVertex(position, KLVECTOR3{c[0], c[1], c[2]}, velocity,
                                           kQuadCorners[k].color, kQuadCorners[k].tu,
                                           kQuadCorners[k].tv, 0, 1000);
        }
    demo::BuildQuadBuffers(device, faces, 6, &vertexDecl, &vertexBuffer, &indexBuffer);
}

void cCube::Render() {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    time = getTheTime() - startTime;
    device->SetVertexShader(vertexShader);
    demo::SetEffectConstants(device, time);
    demo::DrawQuads(device, pixelShader, vertexDecl, texture, vertexBuffer, indexBuffer, 6);
}
