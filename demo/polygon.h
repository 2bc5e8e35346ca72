// A textured rectangle of the timeline: intro, logo, scroll text and outro.
// Built once in Init; all motion comes from its vertex shader.
#pragma once

#include "demo/vertex.h"

class cPolygon {
public:
    cPolygon(IDirect3DDevice9* device, const KLVECTOR3& position) : device(device), position(position) {}
    ~cPolygon();
    cPolygon(const cPolygon&) = delete;
    cPolygon& operator=(const cPolygon&) = delete;

    bool LoadShadersFromFile(const char* name);
    void Init(const char* effectName, const char* textureFile, int halfWidth, int halfHeight, float scale);
    void Render();

    float time = 0;
    float startTime = 0;
    sPolygon quad;
    IDirect3DDevice9* device;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    IDirect3DVertexDeclaration9* vertexDecl = nullptr;
    KLVECTOR3 position;
};
