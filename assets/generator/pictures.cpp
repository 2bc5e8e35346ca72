#include "pictures.h"

#include <algorithm>
#include <cmath>

#include "canvas.h"
#include "font.h"

namespace {

// Fire palette: 0 is black, 1 is white-hot.
Rgba FireColour(float heat) {
    heat = Clamp01(heat);
    return {Clamp01(heat * 2.2f), Clamp01(heat * 2.0f - 0.55f), Clamp01(heat * 3.0f - 2.1f), 1};
}

// Blurs a single channel image in place with three box passes (close to a Gaussian).
void Blur(std::vector<float>& v, int w, int h, int radius) {
    std::vector<float> tmp(v.size());
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += v[y * w + std::clamp(x + k, 0, w - 1)];
                tmp[y * w + x] = s / (2 * radius + 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float s = 0;
                for (int k = -radius; k <= radius; ++k) s += tmp[std::clamp(y + k, 0, h - 1) * w + x];
                v[y * w + x] = s / (2 * radius + 1);
            }
    }
}

// Draws glowing title text: a blurred halo in `glow`, then the letters with a
// vertical fire gradient from `top` heat to `bottom` heat.
void FireTitle(Canvas& c, const std::string& text, float x, float y, float pixel, float top, float bottom,
               int glowRadius, float glowStrength) {
    Canvas mask(c.width(), c.height());
    DrawText(mask, text, x, y, pixel, Add({1, 1, 1, 1}));
    std::vector<float> halo(static_cast<size_t>(c.width()) * c.height());
    for (int j = 0; j < c.height(); ++j)
        for (int i = 0; i < c.width(); ++i) halo[j * c.width() + i] = mask.at(i, j).a;
    Blur(halo, c.width(), c.height(), glowRadius);
    for (int j = 0; j < c.height(); ++j)
        for (int i = 0; i < c.width(); ++i) {
            float g = halo[j * c.width() + i] * glowStrength;
            Rgba& p = c.at(i, j);
            p.r += g * 1.0f;
            p.g += g * 0.35f;
            p.b += g * 0.05f;
        }
    float height = 7 * pixel;
    DrawText(c, text, x, y, pixel, [&](Rgba& p, float cov, int, int py) {
        float t = Clamp01((py - y) / height);
        Rgba col = FireColour(top + (bottom - top) * t);
        p.r = col.r * cov + p.r * (1 - cov);
        p.g = col.g * cov + p.g * (1 - cov);
        p.b = col.b * cov + p.b * (1 - cov);
    });
}

void CentredTitle(Canvas& c, const std::string& text, float y, float pixel, float top, float bottom, int glow,
                  float strength) {
    float width = TextCells(text) * 6 * pixel - pixel;
    FireTitle(c, text, (c.width() - width) / 2, y, pixel, top, bottom, glow, strength);
}

void CentredText(Canvas& c, const std::string& text, float y, float pixel, Rgba colour) {
    float width = TextCells(text) * 6 * pixel - pixel;
    DrawText(c, text, (c.width() - width) / 2, y, pixel, Over(colour));
}

// Dark background with a warm glow rising from the bottom edge and drifting embers.
void EmberBackground(Canvas& c, float warmth, unsigned seed) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            float fy = static_cast<float>(y) / c.height(), fx = static_cast<float>(x) / c.width();
            float smoke = Fbm(fx * 5, fy * 3, seed, 3);
            float glow = std::pow(fy, 3.0f) * warmth * (0.6f + 0.8f * smoke);
            Rgba col = FireColour(glow * 0.9f);
            float base = 0.03f + 0.04f * smoke;
            c.at(x, y) = {base + col.r * 0.8f, base * 0.6f + col.g * 0.7f, base * 0.8f + col.b * 0.5f, 1};
        }
    // Embers: small bright dots, denser near the bottom.
    unsigned state = seed * 2654435761u + 1;
    auto next = [&]() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / static_cast<float>(1 << 24);
    };
    for (int i = 0; i < 220; ++i) {
        float ex = next() * c.width();
        float ey = c.height() * (1 - std::pow(next(), 1.8f));
        float r = 0.6f + next() * 1.8f;
        float heat = 0.5f + next() * 0.5f;
        Rgba col = FireColour(heat);
        c.Cover(static_cast<int>(ex - 4 * r), static_cast<int>(ey - 4 * r), static_cast<int>(ex + 4 * r) + 1,
                static_cast<int>(ey + 4 * r) + 1,
                [&](float px, float py) {
                    float d = std::hypot(px - ex, py - ey) / r;
                    return d < 4 ? std::exp(-d * d * 0.7f) : 0.0f;
                },
                Add({col.r, col.g, col.b, 0}));
    }
}

void Opaque(Canvas& c) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) c.at(x, y).a = 1;
}

}  // namespace

bool MakeIntro(const std::string& dir) {
    Canvas c(800, 600);
    EmberBackground(c, 1.0f, 7);
    CentredTitle(c, "CINDERGLOW", 200, 11, 0.95f, 0.45f, 9, 1.3f);
    CentredText(c, "A REAL-TIME PARTICLE FIRE", 305, 3.5f, {1.0f, 0.78f, 0.5f, 1});
    CentredText(c, "SHADERS COMPILED AND PIXELS DRAWN BY KILN", 540, 2, {0.75f, 0.55f, 0.4f, 1});
    Opaque(c);
    return c.SavePng(dir + "/intro.png");
}

bool MakeOutro(const std::string& dir) {
    Canvas c(800, 600);
    EmberBackground(c, 0.45f, 11);
    CentredTitle(c, "THANK YOU", 150, 9, 0.9f, 0.5f, 8, 1.1f);
    CentredText(c, "FOR WATCHING", 235, 4, {1.0f, 0.7f, 0.4f, 1});
    CentredText(c, "CODE, PICTURES AND MUSIC", 350, 2.5f, {0.85f, 0.65f, 0.5f, 1});
    CentredText(c, "THE CINDERGLOW TEAM", 380, 2.5f, {1.0f, 0.85f, 0.6f, 1});
    CentredText(c, "THE EMBERS FADE...", 520, 2.5f, {0.7f, 0.4f, 0.25f, 1});
    Opaque(c);
    return c.SavePng(dir + "/outro.png");
}

bool MakeLogo(const std::string& dir) {
    // Shown on a quad with a 10 : 1 aspect at the top of the fire scenes.
    Canvas c(1280, 128, {0, 0, 0, 1});
    CentredTitle(c, "CINDERGLOW", 20, 13, 1.0f, 0.5f, 6, 1.2f);
    Opaque(c);
    return c.SavePng(dir + "/logo.png");
}

bool MakeScrollText(const std::string& dir) {
    // The strip is drawn on a 187 : 1 quad: 187 x 32 = 5984 pixels wide.
    const std::string text =
        "        WELCOME TO CINDERGLOW!   EVERY FLAME YOU SEE IS A FIELD OF 550 PARTICLES, "
        "MOVED BY A VERTEX SHADER AND BLENDED BY A SOFTWARE DEVICE THAT RUNS SHADER CODE ON THE "
        "PROCESSOR...   THE SHADERS WERE COMPILED AT START-UP BY KILN, THE IMAGES DECODED BY ITS "
        "OWN LOADER...   PRESS ESCAPE FOR THE OUTRO, ANY OTHER KEY TO LEAVE AT ONCE...   "
        "KEEP THE FIRE BURNING!        ";
    Canvas c(5984, 32, {0, 0, 0, 1});
    float pixel = 4;
    float width = TextCells(text) * 6 * pixel;
    float x = std::max(0.0f, (c.width() - width) / 2);
    DrawText(c, text, x, 2, pixel, [&](Rgba& p, float cov, int, int py) {
        float t = Clamp01((py - 2) / (7 * pixel));
        Rgba col = FireColour(1.0f - 0.45f * t);
        p.r = col.r * cov + p.r * (1 - cov);
        p.g = col.g * cov + p.g * (1 - cov);
        p.b = col.b * cov + p.b * (1 - cov);
    });
    Opaque(c);
    return c.SavePng(dir + "/scrolltext.png");
}

bool MakeFireFrames(const std::string& dir) {
    // Four 64 x 64 flame frames side by side; alpha carries the soft shape.
    const int size = 64;
    Canvas c(size * 4, size);
    for (int frame = 0; frame < 4; ++frame) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                float u = (x + 0.5f) / size * 2 - 1;  // -1 .. 1
                float v = (y + 0.5f) / size * 2 - 1;  // -1 top .. 1 bottom
                float n = Fbm(u * 2.2f + frame * 7.3f, v * 2.2f + frame * 3.1f, 40 + frame, 4);
                // A teardrop: wide and round at the bottom, tapering upward.
                float width = 0.55f + 0.35f * (v + 1) / 2;
                float dx = u / width + (n - 0.5f) * 0.6f * (1 - v) / 2;
                float dy = (v - 0.25f) / (v < 0.25f ? 1.25f : 0.75f);
                float d = std::sqrt(dx * dx + dy * dy) + (n - 0.5f) * 0.35f;
                float shape = 1 - SmoothStep(0.25f, 1.0f, d);
                float heat = shape * (0.75f + 0.5f * n);
                Rgba col = FireColour(heat);
                c.at(frame * size + x, y) = {col.r, col.g, col.b, Clamp01(shape * 1.1f)};
            }
    }
    return c.SavePng(dir + "/fire7.png");
}

bool MakeCubeTexture(const std::string& dir) {
    // Cooled lava rock with glowing cracks and a bevelled border.
    Canvas c(256, 256);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            float rock = Fbm(fx * 8, fy * 8, 77, 5);
            float crack = std::fabs(Fbm(fx * 5, fy * 5, 91, 4) - 0.5f);
            float lava = std::pow(Clamp01(1 - crack * 14), 3.0f);
            float border = std::min(std::min(fx, 1 - fx), std::min(fy, 1 - fy));
            float bevel = SmoothStep(0.0f, 0.05f, border);
            Rgba hot = FireColour(0.55f + 0.4f * lava);
            float base = 0.12f + 0.18f * rock;
            c.at(x, y) = {(base + hot.r * lava) * (0.4f + 0.6f * bevel), (base * 0.85f + hot.g * lava) * (0.4f + 0.6f * bevel),
                          (base * 0.8f + hot.b * lava) * (0.4f + 0.6f * bevel), 1};
        }
    return c.SavePng(dir + "/cube_tex.png");
}
