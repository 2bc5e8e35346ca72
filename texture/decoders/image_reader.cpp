// The trial dispatcher: offers the bytes to each decoder in a fixed order and
// keeps the first that accepts them. The weak TGA test and the bare DIB test
// come last so that stronger signatures win.
#include <cstring>

#include "texture/decoders/source_image.h"

namespace {

struct Decoder {
    ImageFileKind kind;
    HRESULT (*read)(SourceImage*, const BYTE*, size_t);
};

const Decoder kDecoders[] = {
    {ImageFileBmp, ReadBmpFile}, {ImageFilePpm, ReadPpmFile}, {ImageFileDds, ReadDdsFile},
    {ImageFileJpg, ReadJpegFile}, {ImageFilePng, ReadPngFile}, {ImageFileTga, ReadTgaFile},
    {ImageFileDib, ReadDibData},
};

void SetBoxes(SourceImage* face) {
    for (; face; face = face->nextFace)
        for (SourceImage* level = face; level; level = level->nextLevel)
            level->box = ImageBox{0, 0, level->width, level->height, 0, level->depth};
}

}  // namespace

HRESULT ReadImageFile(SourceImage* image, const void* data, size_t size, ImageFileInfo* info, bool loadPixels) {
    if (!image || !data || size == 0) return D3DERR_INVALIDCALL;
    if (!info && !loadPixels) return S_OK;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    bool accepted = false;
    for (const Decoder& decoder : kDecoders) {
        image->Reset();
        image->loadPixels = loadPixels;
        image->resourceType = D3DRTYPE_TEXTURE;
        image->fileKind = decoder.kind;
        if (SUCCEEDED(decoder.read(image, bytes, size))) {
            accepted = true;
            break;
        }
    }
    if (!accepted) {
        image->Reset();
        return ERR_INVALID_DATA;
    }
    if (info) {
        std::memset(info, 0, sizeof(*info));
        info->Width = image->width;
        info->Height = image->height;
        info->Depth = image->depth;
        info->MipLevels = 1;
        for (const SourceImage* level = image->nextLevel; level; level = level->nextLevel) ++info->MipLevels;
        info->Format = MapInternalFormat(image->format);
        info->ResourceType = image->resourceType;
        info->ImageFileFormat = image->fileKind;
    }
    SetBoxes(image);
    return S_OK;
}
