// Colour adjustments and the Fresnel term (one plain form each).
#include "math/klmath.h"

KLCOLOR* KLColorAdjustSaturation(KLCOLOR* out, const KLCOLOR* c, float s) {
    float grey = c->r * 0.2125f + c->g * 0.7154f + c->b * 0.0721f;
    *out = {grey + s * (c->r - grey), grey + s * (c->g - grey), grey + s * (c->b - grey), c->a};
    return out;
}

KLCOLOR* KLColorAdjustContrast(KLCOLOR* out, const KLCOLOR* c, float s) {
    *out = {0.5f + s * (c->r - 0.5f), 0.5f + s * (c->g - 0.5f), 0.5f + s * (c->b - 0.5f), c->a};
    return out;
}

float KLFresnelTerm(float cosTheta, float refractionIndex) {
    double c = cosTheta, n = refractionIndex;
    double g2 = n * n + c * c - 1;
    // No refracted ray: everything is reflected.
    if (g2 < 0) return 1.0f;
    double g = std::sqrt(g2);
    double a = (g - c) / (g + c);
    double b = (c * (g + c) - 1) / (c * (g - c) + 1);
    return static_cast<float>(0.5 * a * a * (1 + b * b));
}
