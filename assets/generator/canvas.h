// A floating-point RGBA image with the few drawing operations the data files need.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

// Called for every pixel a shape touches: (canvas pixel, coverage 0..1, x, y).
using Paint = std::function<void(Rgba& pixel, float coverage, int x, int y)>;

class Canvas {
public:
    Canvas(int width, int height, Rgba fill = {});
    int width() const { return width_; }
    int height() const { return height_; }
    Rgba& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Rgba& at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }

    // Calls paint for every pixel of the rectangle with the coverage that
    // `shape(px, py)` returns for the pixel centre (4 x 4 supersampled).
    void Cover(int x0, int y0, int x1, int y1, const std::function<float(float, float)>& shape, const Paint& paint);

    // Writes an 8-bit RGBA PNG (values clamped to 0..1). Returns false on failure.
    bool SavePng(const std::string& path) const;

private:
    int width_, height_;
    std::vector<Rgba> pixels_;
};

// Paints a colour over the pixel, weighted by coverage (alpha compositing "over").
Paint Over(Rgba colour);
// Adds colour x coverage to the pixel (light).
Paint Add(Rgba colour);

float Clamp01(float v);
float SmoothStep(float e0, float e1, float v);
// Deterministic value noise in [0, 1], smooth, period-free.
float Noise2(float x, float y, unsigned seed);
// Sum of octaves of Noise2.
float Fbm(float x, float y, unsigned seed, int octaves);
