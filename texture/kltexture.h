// Kiln texture loader: creates device textures from image files (PNG, JPEG,
// BMP/DIB, TGA, DDS, PPM) and moves pixels between memory and surfaces with
// format conversion, filtering and mip-map generation.
//
// Every entry returns an HRESULT: 0 on success, else the first failure.
// Created textures come back with one reference owned by the caller.
#pragma once

#include "gfx/d3d9.h"
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

// ---- Device requirements ------------------------------------------------------------

// Settles size, level count and format against the device's capabilities.
// Every pointer may be null (the value then counts as kUseDefault).
HRESULT FitTextureToDevice(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth, UINT* mipLevels,
                           DWORD usage, D3DFORMAT* format, D3DPOOL pool, D3DRESOURCETYPE type);
