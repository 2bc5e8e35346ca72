// What the texture commands share: a software device to load into, the
// wording of loader failures and PNG writing of A8R8G8B8 rows.
#pragma once

#include <string>

#include "texture/kltexture.h"

// A small windowed software device; null when none can be made.
IDirect3DDevice9* CreateToolDevice();

// Plain words for a loader result.
const char* LoadResultText(HRESULT hr);

// Writes A8R8G8B8 rows (memory order blue, green, red, alpha) as an 8-bit
// RGBA PNG file; false when the file cannot be written.
bool WritePngFromArgb(const std::string& path, const void* pixels, int pitch, UINT width, UINT height);
