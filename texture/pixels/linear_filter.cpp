// Two-tap (bi- and trilinear) scaling. Each axis has a table of two source
// indices and their weights per output sample; edges wrap unless the axis's
// mirror flag asks for clamping.
#include <vector>

#include "texture/pixels/image_resampler.h"

namespace {

struct Taps {
    uint32_t i0, i1;
    float w0, w1;
};

bool BuildTaps(std::vector<Taps>& taps, uint32_t n, uint32_t m, bool wrap) {
    try {
        taps.resize(m);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const float ratio = static_cast<float>(n) / static_cast<float>(m);
    auto fix = [&](int64_t i) -> uint32_t {
        if (i < 0) return wrap ? n - 1 : 0;
        if (i >= n) return wrap ? 0 : n - 1;
        return static_cast<uint32_t>(i);
    };
    for (uint32_t i = 0; i < m; ++i) {
        const float r = (static_cast<float>(i) + 0.5f) * ratio + 0.5f;
        const int64_t t = static_cast<int64_t>(r);
        const float wu = static_cast<float>(t) + 1.0f - r;
        taps[i] = Taps{fix(t - 1), fix(t), wu, 1.0f - wu};
    }
    return true;
}

// A few decoded source rows, kept while the outputs that need them are made.
class RowCache {
public:
    RowCache(PixelConverter& src, size_t slots) : src_(src), slots_(slots) {}
    bool Init() {
        for (Slot& s : slots_)
            if (!AllocateRow(s.row, src_.width)) return false;
        return true;
    }
    const KLCOLOR* Get(uint32_t y, uint32_t z, HRESULT* hr) {
        ++clock_;
        Slot* victim = &slots_[0];
        for (Slot& s : slots_) {
            if (s.valid && s.y == y && s.z == z) {
                s.used = clock_;
                return s.row.data();
            }
            if (!s.valid || s.used < victim->used) victim = &s;
        }
        *hr = src_.DecodeRow(y, z, victim->row.data());
        if (FAILED(*hr)) return nullptr;
        victim->valid = true, victim->y = y, victim->z = z, victim->used = clock_;
        return victim->row.data();
    }

private:
    struct Slot {
        std::vector<KLCOLOR> row;
        bool valid = false;
        uint32_t y = 0, z = 0;
        uint64_t used = 0;
    };
    PixelConverter& src_;
    std::vector<Slot> slots_;
    uint64_t clock_ = 0;
};

HRESULT Linear(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    std::vector<Taps> tx, ty, tz;
    if (!BuildTaps(tx, s.width, d.width, !(job.filter & TexFilterMirrorU)) ||
        !BuildTaps(ty, s.height, d.height, !(job.filter & TexFilterMirrorV)) ||
        !BuildTaps(tz, s.depth, d.depth, !(job.filter & TexFilterMirrorW)))
        return E_OUTOFMEMORY;
    RowCache cache(s, 4);
    std::vector<KLCOLOR> out;
    if (!cache.Init() || !AllocateRow(out, d.width)) return E_OUTOFMEMORY;
    for (uint32_t z = 0; z < d.depth; ++z) {
        const Taps& cz = tz[z];
        for (uint32_t y = 0; y < d.height; ++y) {
            const Taps& cy = ty[y];
            std::fill(out.begin(), out.end(), KLCOLOR{0, 0, 0, 0});
            const uint32_t zs[2] = {cz.i0, cz.i1};
            const float wz[2] = {cz.w0, cz.w1};
            const uint32_t ys[2] = {cy.i0, cy.i1};
            const float wy[2] = {cy.w0, cy.w1};
            for (int a = 0; a < 2; ++a)
                for (int b = 0; b < 2; ++b) {
                    const float w = wz[a] * wy[b];
                    if (w == 0.0f) continue;
                    HRESULT hr = S_OK;
                    const KLCOLOR* row = cache.Get(ys[b], zs[a], &hr);
                    if (!row) return hr;
                    for (uint32_t x = 0; x < d.width; ++x) {
                        const Taps& cx = tx[x];
                        const KLCOLOR& p = row[cx.i0];
                        const KLCOLOR& q = row[cx.i1];
                        out[x].r += w * (cx.w0 * p.r + cx.w1 * q.r);
                        out[x].g += w * (cx.w0 * p.g + cx.w1 * q.g);
                        out[x].b += w * (cx.w0 * p.b + cx.w1 * q.b);
                        out[x].a += w * (cx.w0 * p.a + cx.w1 * q.a);
                    }
                }
            HRESULT hr = d.EncodeRow(y, z, out.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT BlitBilinear(ResampleJob& job) {
    if (TexFilterKind(job.filter) != TexFilterLinear || job.dst.depth != 1 || job.src.depth != 1) return E_FAIL;
    return Linear(job);
}

HRESULT BlitTrilinear(ResampleJob& job) {
    if (TexFilterKind(job.filter) != TexFilterLinear) return E_FAIL;
    return Linear(job);
}
