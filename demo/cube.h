// A textured cube of edge 6 around its centre, turned by its vertex shader.
// The timeline does not use it; it stands ready with the same calling order.
#pragma once

#include "demo/vertex.h"

class cCube {
public:
    cCube(IDirect3DDevice9* device, const KLVECTOR3& position) : device(device), position(position) {}
    ~cCube();
    cCube(const cCube&) = delete;
    cCube& operator=(const cCube&) = delete;

    bool LoadShadersFromFile(const char* name);
    void Init();
    void Render();

    float time = 0;
    float startTime = 0;
    sPolygon faces[6];
    IDirect3DDevice9* device;
    IDirect3DTexture9* texture = nullptr;
    IDirect3DVertexShader9* vertexShader = nullptr;
    IDirect3DPixelShader9* pixelShader = nullptr;
    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    IDirect3DVertexDeclaration9* vertexDecl = nullptr;
    KLVECTOR3 position;
};
