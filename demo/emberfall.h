// A fire: 550 textured quads rising from one emitter point, blended additively.
// All particle data is drawn once in Init; the vertex shader animates it.
#pragma once

#include "demo/vertex.h"

class cEmberfall {
public:
    static constexpr int kParticles = 550;

    cEmberfall(IDirect3DDevice9* device, const KLVECTOR3& position) : device(device), position(position) {}
    ~cEmberfall();
    cEmberfall(const cEmberfall&) = delete;
    cEmberfall& operator=(const cEmberfall&) = delete;

    bool LoadShadersFromFile(const char* name);
    void Init(const char* effectName);
    void Render();

    float time = 0;
    float startTime = 0;
    sPolygon particles[kParticles];
    IDirect3DDevice9* device;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    IDirect3DVertexDeclaration9* vertexDecl = nullptr;
    KLVECTOR3 position;
};
