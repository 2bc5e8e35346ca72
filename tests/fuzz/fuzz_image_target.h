// Shared body of the image decoder fuzz targets: decode with one decoder, then
// push every decoded node through a pixel converter into an A8R8G8B8 buffer so
// that the described pitches and sizes are exercised too.
#pragma once

#include <cstdint>
#include <vector>

#include "texture/decoders/source_image.h"
#include "texture/pixels/image_resampler.h"

namespace fuzzimg {

// Nodes larger than this are decoded but not converted, to keep runs fast.
constexpr uint32_t kMaxConvertPixels = 1u << 16;

inline void ConvertNode(const SourceImage& node) {
    if (!node.pixels || uint64_t{node.width} * node.height * node.depth > kMaxConvertPixels) return;
    std::vector<uint32_t> out(size_t{node.width} * node.height * node.depth);
    ImageView dst;
    dst.pixels = reinterpret_cast<BYTE*>(out.data());
    dst.format = D3DFMT_A8R8G8B8;
    dst.rowPitch = node.width * 4;
    dst.slicePitch = node.width * node.height * 4;
    dst.extent = dst.region = ImageBox{0, 0, node.width, node.height, 0, node.depth};
    ImageView src;
    src.pixels = node.pixels;
    src.format = node.format;
    src.rowPitch = node.rowPitch;
    src.slicePitch = node.slicePitch;
    src.extent = src.region = node.box;
    src.palette = node.palette;
    ImageResampler().Run(dst, src, TexFilterNone);
}

inline int Run(HRESULT (*decoder)(SourceImage*, const BYTE*, size_t), ImageFileKind kind, const uint8_t* data,
               size_t size) {
    for (bool load : {false, true}) {
        SourceImage image;
        image.loadPixels = load;
        image.fileKind = kind;
        if (FAILED(decoder(&image, data, size)) || !load) continue;
        for (SourceImage* face = &image; face; face = face->nextFace)
            for (SourceImage* level = face; level; level = level->nextLevel) {
                level->box = ImageBox{0, 0, level->width, level->height, 0, level->depth};
                ConvertNode(*level);
            }
    }
    return 0;
}

}  // namespace fuzzimg
