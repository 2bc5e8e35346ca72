#include "demo/contact_sheet.h"

#include <algorithm>
#include <cstring>

namespace demo {
namespace {

constexpr int kGap = 4;

uint32_t PixelAt(const gfx::PresentedFrame& frame, UINT x, UINT y) {
    uint32_t p;
    std::memcpy(&p, frame.pixels + size_t(y) * frame.pitch + size_t(x) * 4, 4);
    return frame.format == D3DFMT_X8R8G8B8 ? (p | 0xFF000000u) : p;
}

}  // namespace

gfx::FrameImage Shrink(const gfx::PresentedFrame& frame, int width, int height) {
    gfx::FrameImage out;
    out.width = static_cast<UINT>(std::max(width, 1));
    out.height = static_cast<UINT>(std::max(height, 1));
    out.format = D3DFMT_A8R8G8B8;
    out.pixels.assign(size_t(out.width) * out.height, 0xFF000000u);
    if (frame.width == 0 || frame.height == 0) return out;
    for (UINT ty = 0; ty < out.height; ++ty) {
        UINT y0 = uint32_t(uint64_t(ty) * frame.height / out.height);
        UINT y1 = std::max(y0 + 1, uint32_t(uint64_t(ty + 1) * frame.height / out.height));
        for (UINT tx = 0; tx < out.width; ++tx) {
            UINT x0 = uint32_t(uint64_t(tx) * frame.width / out.width);
            UINT x1 = std::max(x0 + 1, uint32_t(uint64_t(tx + 1) * frame.width / out.width));
            uint64_t sum[4] = {};
            for (UINT y = y0; y < y1; ++y)
                for (UINT x = x0; x < x1; ++x) {
                    uint32_t p = PixelAt(frame, x, y);
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
                }
            uint64_t n = uint64_t(y1 - y0) * (x1 - x0);
            uint32_t p = 0;
            for (int c = 0; c < 4; ++c) p |= uint32_t((sum[c] + n / 2) / n) << (8 * c);
            out.pixels[size_t(ty) * out.width + tx] = p;
        }
    }
    return out;
}

ContactSheet::ContactSheet(int columns, int rows, int thumbWidth)
    : columns_(std::max(columns, 1)), rows_(std::max(rows, 1)), thumbWidth_(std::max(thumbWidth, 8)) {}

void ContactSheet::Add(const gfx::PresentedFrame& frame) {
    uint64_t index = added_++;
    if (index % stride_ != 0 || frame.width == 0 || frame.height == 0) return;
    if (thumbHeight_ == 0)
        thumbHeight_ = std::max(1, int(uint64_t(thumbWidth_) * frame.height / frame.width));
    kept_.push_back(Thumb{index, Shrink(frame, thumbWidth_, thumbHeight_)});
    size_t cells = size_t(columns_) * rows_;
    if (kept_.size() >= 2 * cells) {
        std::vector<Thumb> half;
        for (size_t i = 0; i < kept_.size(); i += 2) half.push_back(std::move(kept_[i]));
        kept_ = std::move(half);
        stride_ *= 2;
    }
}

std::vector<size_t> ContactSheet::Choose() const {
    size_t cells = size_t(columns_) * rows_;
    size_t n = kept_.size();
    std::vector<size_t> chosen;
    if (n <= cells || cells == 1) {
        if (cells == 1 && n > 0) return {0};
        for (size_t i = 0; i < n; ++i) chosen.push_back(i);
        return chosen;
    }
    for (size_t i = 0; i < cells; ++i) chosen.push_back((i * (n - 1) + (cells - 1) / 2) / (cells - 1));
    return chosen;
}

std::vector<uint64_t> ContactSheet::ChosenFrames() const {
    std::vector<uint64_t> frames;
    for (size_t i : Choose()) frames.push_back(kept_[i].index);
    return frames;
}

gfx::FrameImage ContactSheet::Compose() const {
    gfx::FrameImage sheet;
    std::vector<size_t> chosen = Choose();
    if (chosen.empty()) return sheet;
    int used = static_cast<int>(chosen.size());
    int columns = std::min(columns_, used);
    int rows = (used + columns - 1) / columns;
    sheet.width = UINT(columns * thumbWidth_ + (columns + 1) * kGap);
    sheet.height = UINT(rows * thumbHeight_ + (rows + 1) * kGap);
    sheet.format = D3DFMT_A8R8G8B8;
    sheet.pixels.assign(size_t(sheet.width) * sheet.height, 0xFF202020u);
    for (int cell = 0; cell < used; ++cell) {
        const gfx::FrameImage& thumb = kept_[chosen[cell]].image;
        size_t left = size_t(kGap + (cell % columns) * (thumbWidth_ + kGap));
        size_t top = size_t(kGap + (cell / columns) * (thumbHeight_ + kGap));
        for (UINT y = 0; y < thumb.height; ++y)
            std::copy_n(&thumb.pixels[size_t(y) * thumb.width], thumb.width,
                        &sheet.pixels[(top + y) * sheet.width + left]);
    }
    return sheet;
}

HRESULT ContactSheet::Write(const std::string& path) const {
    gfx::FrameImage sheet = Compose();
    if (sheet.pixels.empty()) return E_FAIL;
    return gfx::WritePng(path, sheet);
}

}  // namespace demo
