// Fuzz target: DDS files of the five DXT formats. The header's pixel format
// is forced to one of them (chosen by the input's first byte) so that every
// input reaches the block decoders; each decoded level is then decoded into
// A8R8G8B8 and encoded back into its own format through a filter, a region
// and an optional colour key picked from the input, exercising the block-row
// cache in both directions.
#include <cstring>
#include <vector>

#include "texture/decoders/source_image.h"
#include "texture/pixels/image_resampler.h"

namespace {

constexpr uint32_t kMaxPixels = 1u << 14;  // larger levels are decoded but not converted
const D3DFORMAT kFormats[] = {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5};
const uint32_t kFilters[] = {TexFilterNone, TexFilterPoint, TexFilterBox, TexFilterLinear,
                             TexFilterTriangle | TexFilterDither, TexFilterBox | TexFilterSrgbIn | TexFilterSrgbOut};

ImageView ViewOf(const SourceImage& node) {
    ImageView v;
    v.pixels = node.pixels;
    v.format = node.format;
    v.rowPitch = node.rowPitch;
    v.slicePitch = node.slicePitch;
    v.extent = v.region = ImageBox{0, 0, node.width, node.height, 0, node.depth};
    return v;
}

void Exercise(const SourceImage& node, uint8_t choice) {
    if (!node.pixels || uint64_t{node.width} * node.height * node.depth > kMaxPixels) return;
    const uint32_t w = node.width, h = node.height, d = node.depth;
    // Decode into plain pixels, with a colour key every other time.
    std::vector<uint32_t> argb(size_t{w} * h * d);
    ImageView plain;
    plain.pixels = reinterpret_cast<BYTE*>(argb.data());
    plain.format = D3DFMT_A8R8G8B8;
    plain.rowPitch = w * 4;
    plain.slicePitch = w * h * 4;
    plain.extent = plain.region = ImageBox{0, 0, w, h, 0, d};
    ImageView src = ViewOf(node);
    if (choice & 1) src.colorKey = 0xFF000000;
    ImageResampler().Run(plain, src, TexFilterNone);

    // Encode back into a block copy of the level, over the whole surface or a
    // region that cuts through blocks, and with a filter that may rescale.
    std::vector<BYTE> blocks(static_cast<size_t>(node.slicePitch) * d);
    std::memcpy(blocks.data(), node.pixels, blocks.size());
    ImageView dst = ViewOf(node);
    dst.pixels = blocks.data();
    if (choice & 2) dst.region = ImageBox{w / 3, h / 3, w - w / 4, h - h / 4, 0, d};
    ImageView from = plain;
    if (choice & 4) from.region = ImageBox{0, 0, (w + 1) / 2, (h + 1) / 2, 0, (d + 1) / 2};
    ImageResampler().Run(dst, from, kFilters[(choice >> 3) % 6]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t choice = data[0];
    // The file in a buffer of its exact size, so a read past it is caught.
    std::vector<BYTE> file(data + 1, data + size);
    if (file.size() >= 88) {
        const uint32_t magic = 0x20534444, pfSize = 32, pfFlags = 0x4;
        const uint32_t code = static_cast<uint32_t>(kFormats[choice % 5]);
        std::memcpy(file.data(), &magic, 4);
        std::memcpy(file.data() + 76, &pfSize, 4);
        std::memcpy(file.data() + 80, &pfFlags, 4);
        std::memcpy(file.data() + 84, &code, 4);
    }
    SourceImage image;
    image.fileKind = ImageFileDds;
    if (FAILED(ReadDdsFile(&image, file.data(), file.size()))) return 0;
    for (SourceImage* face = &image; face; face = face->nextFace)
        for (SourceImage* level = face; level; level = level->nextLevel) Exercise(*level, choice);
    return 0;
}
