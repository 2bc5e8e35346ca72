// What the decoders report about an image file: its kind and top image.
#pragma once

#include "gfx/d3d9.h"

enum ImageFileKind : uint32_t {
    ImageFileBmp = 0,
    ImageFileJpg = 1,
    ImageFileTga = 2,
    ImageFilePng = 3,
    ImageFileDds = 4,
    ImageFilePpm = 5,
    ImageFileDib = 6,
};

// Seven 32-bit fields describing the top image of a file.
struct ImageFileInfo {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    ImageFileKind ImageFileFormat;
};
static_assert(sizeof(ImageFileInfo) == 28, "ImageFileInfo is seven 32-bit fields");
