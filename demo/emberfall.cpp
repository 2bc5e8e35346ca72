#include "demo/emberfall.h"

#include "demo/clock.h"
#include "demo/effect_resources.h"
#include "demo/load_report.h"
#include "demo/random.h"
#include "platform/random.h"
#include "texture/kltexture.h"

cEmberfall::~cEmberfall() {
    demo::ReleaseHeld(texture);
    demo::ReleaseHeld(vertexShader);
    demo::ReleaseHeld(pixelShader);
    demo::ReleaseHeld(vertexBuffer);
    demo::ReleaseHeld(indexBuffer);
    demo::ReleaseHeld(vertexDecl);
}

bool cEmberfall::LoadShadersFromFile(const char* name) {
    return demo::LoadEffectShaders(device, name, &vertexShader, &pixelShader);
}

void cEmberfall::Init(const char* effectName) {
    time = 0;
    startTime = getTheTime();
    LoadShadersFromFile(effectName);
    texture = demo::LoadEffectTexture(device, "fire7.png");
    device->SetTexture(0, texture);

    for (int i = 0; i < kParticles; ++i) {
        // Three values that only advance the generator, then the draws in order.
        platform::crt::rand();
        platform::crt::rand();
        platform::crt::rand();
        const float a = 2 + 5 * Rnd();
        const float b = -2 * Rnd();
        const KLVECTOR3 velocity{b, a, 0};
        const float s = 0.5f + 1.5f * Rnd();
        const float startOffset = -0.05f * static_cast<float>(i);
        const float lifeTime = 0.5f + 3 * Rnd();
        const int frame = platform::crt::rand() % 4 + 1;
        const float ur = 0.25f * static_cast<float>(frame);
        const float ul = ur - 0.25f;

        const KLVECTOR3 offsets[4] = {{-s, s, s}, {s, s, s}, {-s, -s, s}, {s, -s, s}};
        const float us[4] = {ul, ur, ul, ur};
        for (int k = 0; k < 4; ++k)
            particles[i].vertices[k] = cVertex(position, offsets[k], velocity, kQuadCorners[k].color, us[k],
                                               kQuadCorners[k].tv, startOffset, lifeTime);
        particles[i].position = position;
    }

    demo::BuildQuadBuffers(device, particles, kParticles, &vertexDecl, &vertexBuffer, &indexBuffer);
}

void cEmberfall::Render() {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    time = getTheTime() - startTime;
    device->SetVertexShader(vertexShader);
    demo::SetEffectConstants(device, time);
    demo::DrawQuads(device, pixelShader, vertexDecl, texture, vertexBuffer, indexBuffer, kParticles);
    device->SetPixelShader(nullptr);
}
