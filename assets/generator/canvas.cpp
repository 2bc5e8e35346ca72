#include "canvas.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

Canvas::Canvas(int width, int height, Rgba fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

void Canvas::Cover(int x0, int y0, int x1, int y1, const std::function<float(float, float)>& shape,
                   const Paint& paint) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width_);
    y1 = std::min(y1, height_);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            float sum = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) sum += shape(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4);
            float coverage = sum / 16;
            if (coverage > 0) paint(at(x, y), coverage, x, y);
        }
    }
}

bool Canvas::SavePng(const std::string& path) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width_, height_, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(width_) * 4);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const Rgba& p = at(x, y);
            const float c[4] = {p.r, p.g, p.b, p.a};
            for (int k = 0; k < 4; ++k) row[x * 4 + k] = static_cast<png_byte>(std::lround(Clamp01(c[k]) * 255.0f));
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

Paint Over(Rgba c) {
    return [c](Rgba& p, float coverage, int, int) {
        float a = c.a * coverage;
        p.r = c.r * a + p.r * (1 - a);
        p.g = c.g * a + p.g * (1 - a);
        p.b = c.b * a + p.b * (1 - a);
        p.a = a + p.a * (1 - a);
    };
}

Paint Add(Rgba c) {
    return [c](Rgba& p, float coverage, int, int) {
        p.r += c.r * coverage;
        p.g += c.g * coverage;
        p.b += c.b * coverage;
        p.a += c.a * coverage;
    };
}

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

float SmoothStep(float e0, float e1, float v) {
    float t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

namespace {
float Hash(int x, int y, unsigned seed) {
    unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / static_cast<float>(0xFFFFFF);
}
}  // namespace

float Noise2(float x, float y, unsigned seed) {
    int xi = static_cast<int>(std::floor(x)), yi = static_cast<int>(std::floor(y));
    float fx = x - xi, fy = y - yi;
    float u = fx * fx * (3 - 2 * fx), v = fy * fy * (3 - 2 * fy);
    float a = Hash(xi, yi, seed), b = Hash(xi + 1, yi, seed);
    float c = Hash(xi, yi + 1, seed), d = Hash(xi + 1, yi + 1, seed);
    return (a * (1 - u) + b * u) * (1 - v) + (c * (1 - u) + d * u) * v;
}

float Fbm(float x, float y, unsigned seed, int octaves) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * Noise2(x, y, seed + i * 101u);
        norm += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / norm;
}
