#include "demo/polygon.h"

#include "demo/clock.h"
#include "demo/effect_resources.h"
#include "demo/load_report.h"
#include "demo/random.h"
#include "texture/kltexture.h"

cPolygon::~cPolygon() {
    demo::ReleaseHeld(texture);
    demo::ReleaseHeld(vertexShader);
    demo::ReleaseHeld(pixelShader);
    demo::ReleaseHeld(vertexBuffer);
    demo::ReleaseHeld(indexBuffer);
    demo::ReleaseHeld(vertexDecl);
}

bool cPolygon::LoadShadersFromFile(const char* name) {
    return demo::LoadEffectShaders(device, name, &vertexShader, &pixelShader);
}

void cPolygon::Init(const char* effectName, const char* textureFile, int halfWidth, int halfHeight, float scale) {
    time = 0;
    startTime = getTheTime();
    LoadShadersFromFile(effectName);
    texture = demo::LoadEffectTexture(device, textureFile);
    device->SetTexture(0, texture);

    const float a = 2 + 5 * Rnd();
    const float b = -2 * Rnd();
    const KLVECTOR3 velocity{b, a, 0};

    const float hw = static_cast<float>(halfWidth) * scale;
    const float hh = static_cast<float>(halfHeight) * scale;
    const KLVECTOR3 offsets[4] = {{-hw, hh, scale}, {hw, hh, scale}, {-hw, -hh, scale}, {hw, -hh, scale}};
    for (int k = 0; k < 4; ++k)
        quad.vertices[k] = cVertex(position, offsets[k], velocity, kQuadCorners[k].color,
                                   kQuadCorners[k].tu, kQuadCorners[k].tv, 0, 3000);

    demo::BuildQuadBuffers(device, &quad, 1, &vertexDecl, &vertexBuffer, &indexBuffer);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
}

void cPolygon::Render() {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    time = getTheTime() - startTime;
    device->SetVertexShader(vertexShader);
    demo::SetEffectConstants(device, time);
    demo::DrawQuads(device, pixelShader, vertexDecl, texture, vertexBuffer, indexBuffer, 1);
}
