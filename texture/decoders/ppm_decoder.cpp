// Portable pixmaps, the colour variants only: "P3" (decimal text samples) and
// "P6" (binary samples of at most 8 bits).
#include "texture/decoders/source_image.h"

namespace {

class Scanner {
public:
    Scanner(const BYTE* data, size_t size, size_t pos) : data_(data), size_(size), pos_(pos) {}

    // Reads the next decimal token after white space and comments. Values
    // beyond 32 bits are refused rather than wrapped.
    bool Number(uint32_t* value) {
        SkipSpace();
        if (pos_ >= size_ || data_[pos_] < '0' || data_[pos_] > '9') return false;
        uint64_t v = 0;
        while (pos_ < size_ && data_[pos_] >= '0' && data_[pos_] <= '9') {
            v = v * 10 + (data_[pos_++] - '0');
            if (v > UINT32_MAX) return false;
        }
        *value = static_cast<uint32_t>(v);
        return true;
    }
    size_t pos() const { return pos_; }

private:
    static bool IsSpace(BYTE c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
    void SkipSpace() {
        while (pos_ < size_) {
            if (IsSpace(data_[pos_])) {
                ++pos_;
            } else if (data_[pos_] == '#') {
                while (pos_ < size_ && data_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    const BYTE* data_;
    size_t size_;
    size_t pos_;
};

}  // namespace

HRESULT ReadPpmFile(SourceImage* image, const BYTE* data, size_t size) {
    if (size < 2 || data[0] != 'P' || (data[1] != '3' && data[1] != '6')) return E_FAIL;
    const bool binary = data[1] == '6';
    Scanner scan(data, size, 2);
    uint32_t width, height, maximum;
    if (!scan.Number(&width) || !scan.Number(&height)) return E_FAIL;
    if (width == 0 || height == 0) return E_FAIL;
    // A binary pixel takes 3 bytes and a text pixel at least 6 ("0 0 0 "), so a
    // claim of more pixels than the bytes can hold is refused before allocating.
    const uint64_t pixels = uint64_t{width} * height;
    if (pixels > size / (binary ? 3 : 6) + 1) return E_FAIL;
    size_t total;
    if (!ImageBytes(pixels, 4, &total)) return E_FAIL;
    BYTE* out = AllocateImageBytes(total);
    if (!out) return E_OUTOFMEMORY;
    image->pixels = out;
    image->ownsPixels = true;
    image->format = D3DFMT_X8R8G8B8;
    image->width = width;
    image->height = height;
    image->depth = 1;
    image->rowPitch = 4 * width;
    image->slicePitch = 0;

    if (!scan.Number(&maximum) || maximum == 0) return E_FAIL;
    uint32_t* dst = reinterpret_cast<uint32_t*>(out);
    uint64_t stored = 0;
    // Samples above the maximum are malformed; holding them at 255 keeps them
    // out of the neighbouring channel.
    auto scale = [maximum](uint32_t s) {
        const uint64_t v = uint64_t{s} * 255 / maximum;
        return static_cast<uint32_t>(v > 255 ? 255 : v);
    };
    if (binary) {
        if (maximum > 255) return E_FAIL;
        size_t pos = scan.pos();
        if (pos < size) pos += (data[pos] == '\r' && pos + 1 < size) ? 2 : 1;
        while (stored < pixels && size >= 3 && pos <= size - 3) {
            const uint32_t r = scale(data[pos]), g = scale(data[pos + 1]), b = scale(data[pos + 2]);
            dst[stored++] = 0xFF000000u | (r << 16) | (g << 8) | b;
            pos += 3;
        }
    } else {
        uint32_t s[3];
        while (stored < pixels && scan.Number(&s[0]) && scan.Number(&s[1]) && scan.Number(&s[2])) {
            dst[stored++] = 0xFF000000u | (scale(s[0]) << 16) | (scale(s[1]) << 8) | scale(s[2]);
        }
    }
    return stored == pixels ? S_OK : E_FAIL;
}
