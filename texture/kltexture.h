// Kiln texture loader: creates device textures from image files (PNG, JPEG,
// BMP/DIB, TGA, DDS, PPM) and moves pixels between memory and surfaces with
// format conversion, filtering and mip-map generation.
//
// Every entry returns an HRESULT: 0 on success, else the first failure.
// Created textures come back with one reference owned by the caller.
#pragma once

#include "gfx/d3d9.h"
#include "math/klmath.h"
#include "platform/modules.h"
#include "texture/image_file_info.h"
#include "texture/pixels/image_view.h"
#include "texture/pixels/surface_loader.h"

// Marker for "take the default" in size, level, filter and format arguments.
constexpr UINT kUseDefault = 0xFFFFFFFF;
// Marker for "keep the image's own size" in width, height and depth.
constexpr UINT kKeepSourceSize = 0xFFFFFFFE;

// ---- Ordinary textures ------------------------------------------------------

HRESULT KLCreateTextureFromFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DTexture9** out);

HRESULT TextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DTexture9** out);
HRESULT TextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, IDirect3DTexture9** out);
HRESULT TextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, UINT width, UINT height, UINT mipLevels,
                              DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                              D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette, IDirect3DTexture9** out);
HRESULT TextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, UINT width, UINT height, UINT mipLevels,
                              DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                              D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette, IDirect3DTexture9** out);

HRESULT TextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, IDirect3DTexture9** out);
HRESULT TextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, IDirect3DTexture9** out);
HRESULT TextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, UINT width, UINT height,
                                   UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                   DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                   IDirect3DTexture9** out);
HRESULT TextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, UINT width, UINT height,
                                   UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                   DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                   IDirect3DTexture9** out);

HRESULT TextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, IDirect3DTexture9** out);
HRESULT TextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, UINT width, UINT height,
                             UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                             DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                             IDirect3DTexture9** out);

// ---- Cube textures (one edge size) ------------------------------------------

HRESULT CubeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, UINT size, UINT mipLevels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                  ImageFileInfo* info, PALETTEENTRY* palette, IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, UINT size, UINT mipLevels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                  ImageFileInfo* info, PALETTEENTRY* palette, IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name,
                                       IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name,
                                       IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, UINT size,
                                       UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                       DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                       IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, UINT size,
                                       UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                       DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                       IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, IDirect3DCubeTexture9** out);
HRESULT CubeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT dataSize, UINT size,
                                 UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                 DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                 IDirect3DCubeTexture9** out);

// ---- Volume textures ----------------------------------------------------------

HRESULT VolumeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromNamedFileA(IDirect3DDevice9* device, LPCSTR name, UINT width, UINT height, UINT depth,
                                    UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                    DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                    IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromNamedFileW(IDirect3DDevice9* device, LPCWSTR name, UINT width, UINT height, UINT depth,
                                    UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                    DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info, PALETTEENTRY* palette,
                                    IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name,
                                         IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name,
                                         IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromModuleResourceA(IDirect3DDevice9* device, HMODULE module, LPCSTR name, UINT width,
                                         UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                         D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                         ImageFileInfo* info, PALETTEENTRY* palette, IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromModuleResourceW(IDirect3DDevice9* device, HMODULE module, LPCWSTR name, UINT width,
                                         UINT height, UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                         D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                         ImageFileInfo* info, PALETTEENTRY* palette, IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size,
                                   IDirect3DVolumeTexture9** out);
HRESULT VolumeTextureFromFileImage(IDirect3DDevice9* device, const void* data, UINT size, UINT width, UINT height,
                                   UINT depth, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                   DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, ImageFileInfo* info,
                                   PALETTEENTRY* palette, IDirect3DVolumeTexture9** out);

// ---- Image information ----------------------------------------------------------

// Runs the decoders without loading pixels; returns 0 at once when info is null.
HRESULT ImageInfoFromFileImage(const void* data, UINT size, ImageFileInfo* info);
HRESULT ImageInfoFromNamedFileA(LPCSTR name, ImageFileInfo* info);
HRESULT ImageInfoFromNamedFileW(LPCWSTR name, ImageFileInfo* info);
HRESULT ImageInfoFromModuleResourceA(HMODULE module, LPCSTR name, ImageFileInfo* info);
HRESULT ImageInfoFromModuleResourceW(HMODULE module, LPCWSTR name, ImageFileInfo* info);

// The format's name ("D3DFMT_A8R8G8B8"), or null for an unknown value.
const char* FormatName(D3DFORMAT format);

// ---- Procedural fill ------------------------------------------------------------

// The caller's colour function: writes the colour (red, green, blue, alpha in
// x, y, z, w) of the texel whose centre and size in texture space are given.
// Cube textures pass a direction on the cube of edge 2 around the origin.
using KLFill2D = void (*)(KLVECTOR4* out, const KLVECTOR2* texCoord, const KLVECTOR2* texelSize, LPVOID data);
using KLFill3D = void (*)(KLVECTOR4* out, const KLVECTOR3* texCoord, const KLVECTOR3* texelSize, LPVOID data);

// Fill every level (every face of every level) at its own resolution.
HRESULT FillTexture(IDirect3DTexture9* texture, KLFill2D function, LPVOID data);
HRESULT FillCubeTexture(IDirect3DCubeTexture9* texture, KLFill3D function, LPVOID data);
HRESULT FillVolumeTexture(IDirect3DVolumeTexture9* texture, KLFill3D function, LPVOID data);

// ---- Saving to image files ---------------------------------------------------------

// Write a surface (a rectangle of it; null: all), a volume (a box; null: all)
// or a texture as a bitmap (ImageFileBmp with its file header, ImageFileDib
// without), a JPEG or a DDS file. The pixels are converted, with dithering,
// to the nearest format the file kind holds; palette (or null) serves 8-bit
// palettised sources. A texture saved as DDS keeps every level and cube face;
// other kinds take level 0 of face 0. Results: D3DERR_INVALIDCALL for a null
// name or source, a kind that is not written (Tga, Png, Ppm), an empty
// rectangle or a format no written format is near; ERR_INVALID_DATA when the
// file cannot be created or written; E_FAIL when the chosen format has no
// layout in the file kind or the JPEG compressor fails; D3DERR_DEVICELOST when
// a default-pool source's device was lost meanwhile. A save that fails after
// creating its file removes it.
HRESULT SaveSurfaceToNamedFileA(LPCSTR name, ImageFileKind kind, IDirect3DSurface9* surface,
                                const PALETTEENTRY* palette, const RECT* rect);
HRESULT SaveSurfaceToNamedFileW(LPCWSTR name, ImageFileKind kind, IDirect3DSurface9* surface,
                                const PALETTEENTRY* palette, const RECT* rect);
HRESULT SaveVolumeToNamedFileA(LPCSTR name, ImageFileKind kind, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                               const D3DBOX* box);
HRESULT SaveVolumeToNamedFileW(LPCWSTR name, ImageFileKind kind, IDirect3DVolume9* volume, const PALETTEENTRY* palette,
                               const D3DBOX* box);
HRESULT SaveTextureToNamedFileA(LPCSTR name, ImageFileKind kind, IDirect3DBaseTexture9* texture,
                                const PALETTEENTRY* palette);
HRESULT SaveTextureToNamedFileW(LPCWSTR name, ImageFileKind kind, IDirect3DBaseTexture9* texture,
                                const PALETTEENTRY* palette);

// ---- Device requirements ------------------------------------------------------------

// Settles size, level count and format against the device's capabilities.
// Every pointer may be null (the value then counts as kUseDefault).
HRESULT FitTextureToDevice(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mipLevels,
                           DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE type);
