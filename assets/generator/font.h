// A small hand-drawn 5 x 7 pixel font, rendered smooth at any size.
#pragma once

#include <string>

#include "canvas.h"

// Width in glyph cells (each cell is 6 font pixels: 5 of glyph, 1 of spacing).
int TextCells(const std::string& text);

// Draws text with its top-left corner at (x, y); pixel is the size of one font
// pixel in image pixels. Each font pixel is a rounded square, so enlarged text
// stays smooth. The coverage is written through `paint` (coverage 0..1, x, y).
void DrawText(Canvas& canvas, const std::string& text, float x, float y, float pixel, const Paint& paint);
