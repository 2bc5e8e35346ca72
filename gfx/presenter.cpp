#include "gfx/presenter.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace gfx {

FrameImage CopyFrame(const PresentedFrame& frame) {
    FrameImage image;
    image.width = frame.width;
    image.height = frame.height;
    image.format = frame.format;
    image.pixels.resize(size_t(frame.width) * frame.height);
    for (UINT y = 0; y < frame.height; ++y) {
        std::memcpy(&image.pixels[size_t(y) * frame.width], frame.pixels + size_t(y) * frame.pitch,
                    size_t(frame.width) * 4);
    }
    return image;
}

HRESULT MemoryPresenter::Present(const PresentedFrame& frame) {
    FrameImage image = CopyFrame(frame);
    std::lock_guard<std::mutex> lock(mutex_);
    ++count_;
    if (keepAll_) all_.push_back(image);
    last_ = std::move(image);
    return D3D_OK;
}

uint64_t MemoryPresenter::FrameCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

FrameImage MemoryPresenter::LastFrame() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
}

std::vector<FrameImage> MemoryPresenter::Frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return all_;
}

HRESULT WritePng(const std::string& path, const FrameImage& image) {
    if (image.width == 0 || image.height == 0) return E_FAIL;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return E_FAIL;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(size_t(image.width) * 4);
    HRESULT result = E_FAIL;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        bool opaque = image.format == D3DFMT_X8R8G8B8;
        for (UINT y = 0; y < image.height; ++y) {
            for (UINT x = 0; x < image.width; ++x) {
                uint32_t p = image.At(x, y);
                row[4 * x + 0] = png_byte(p >> 16);
                row[4 * x + 1] = png_byte(p >> 8);
                row[4 * x + 2] = png_byte(p);
                row[4 * x + 3] = opaque ? 0xFF : png_byte(p >> 24);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        result = S_OK;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0) result = E_FAIL;
    return result;
}

HRESULT PngFilePresenter::Present(const PresentedFrame& frame) {
    char number[32];
    std::snprintf(number, sizeof(number), "%05llu", static_cast<unsigned long long>(written_));
    HRESULT hr = WritePng(prefix_ + number + ".png", CopyFrame(frame));
    if (SUCCEEDED(hr)) ++written_;
    return hr;
}

}  // namespace gfx
