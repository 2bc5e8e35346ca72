// Tent splatting: every source sample spreads into the destination under a
// tent one source spacing wide on each side, integrated exactly over each
// destination cell. Destination rows (or slices) accumulate until the last
// source row that reaches them has been added, then are encoded and recycled.
#include <cmath>
#include <vector>

#include "texture/pixels/image_resampler.h"

namespace {

struct Tap {
    uint32_t index;
    float weight;
};

// Per source index, the destination cells it reaches and their weights.
struct AxisTable {
    std::vector<std::vector<Tap>> taps;
    std::vector<uint32_t> references;  // per destination cell: source indices that reach it
};

void AddHalf(std::vector<Tap>& taps, double a0, double a1, double h0, double h1, uint32_t m, bool wrap) {
    if (a1 <= a0) return;
    if (!wrap) {
        // Clipped to the destination extent, heights follow the clipped ends.
        const double c0 = a0 < 0 ? 0 : a0, c1 = a1 > m ? m : a1;
        if (c1 <= c0) return;
        const double s0 = h0 + (h1 - h0) * (c0 - a0) / (a1 - a0);
        const double s1 = h0 + (h1 - h0) * (c1 - a0) / (a1 - a0);
        a0 = c0, a1 = c1, h0 = s0, h1 = s1;
    }
    for (double k = std::floor(a0); k < a1; k += 1.0) {
        const double lo = k > a0 ? k : a0, hi = k + 1 < a1 ? k + 1 : a1;
        if (hi <= lo) continue;
        const double mid = (lo + hi) * 0.5;
        const double height = h0 + (h1 - h0) * (mid - a0) / (a1 - a0);
        int64_t cell = static_cast<int64_t>(k);
        if (wrap) cell = ((cell % m) + m) % m;
        const uint32_t index = static_cast<uint32_t>(cell);
        const float w = static_cast<float>((hi - lo) * height);
        bool merged = false;
        for (Tap& t : taps)
            if (t.index == index) t.weight += w, merged = true;
        if (!merged) taps.push_back(Tap{index, w});
    }
}

bool BuildAxis(AxisTable& table, uint32_t n, uint32_t m, bool wrap) {
    try {
        table.taps.assign(n, {});
        table.references.assign(m, 0);
        const double b = static_cast<double>(m) / n;
        for (uint32_t i = 0; i < n; ++i) {
            std::vector<Tap>& taps = table.taps[i];
            const double start = (i - 0.5) * b, centre = (i + 0.5) * b, end = (i + 1.5) * b;
            // The outer halves of the end samples stand at full height when clamping.
            const bool fullLeft = !wrap && i == 0, fullRight = !wrap && i == n - 1;
            AddHalf(taps, start, centre, fullLeft ? 1.0 : 0.0, 1.0, m, wrap);
            AddHalf(taps, centre, end, 1.0, fullRight ? 1.0 : 0.0, m, wrap);
            std::vector<Tap> kept;
            for (const Tap& t : taps)
                if (t.weight > 0.00001f) kept.push_back(t);
            taps.swap(kept);
            for (const Tap& t : taps) ++table.references[t.index];
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Accumulation buffers for destination rows or slices, with a free list.
class Accumulators {
public:
    Accumulators(size_t count, size_t size) : buffers_(count), size_(size) {}
    KLCOLOR* Get(uint32_t i) {
        if (buffers_[i].empty()) {
            if (!free_.empty()) {
                buffers_[i].swap(free_.back());
                free_.pop_back();
                std::fill(buffers_[i].begin(), buffers_[i].end(), KLCOLOR{0, 0, 0, 0});
            } else if (!AllocateRow(buffers_[i], size_)) {
                return nullptr;
            }
        }
        return buffers_[i].data();
    }
    void Release(uint32_t i) {
        if (!buffers_[i].empty()) {
            free_.emplace_back();
            free_.back().swap(buffers_[i]);
        }
    }

private:
    std::vector<std::vector<KLCOLOR>> buffers_;
    std::vector<std::vector<KLCOLOR>> free_;
    size_t size_;
};

void Splat(KLCOLOR* acc, const KLCOLOR* row, const AxisTable& xs, float wy) {
    for (size_t x = 0; x < xs.taps.size(); ++x) {
        const KLCOLOR& p = row[x];
        for (const Tap& t : xs.taps[x]) {
            const float w = t.weight * wy;
            KLCOLOR& a = acc[t.index];
            a.r += p.r * w, a.g += p.g * w, a.b += p.b * w, a.a += p.a * w;
        }
    }
}

HRESULT EncodeFinished(PixelConverter& d, PixelConverter& s, KLCOLOR* row, uint32_t y, uint32_t z) {
    ClampToRange(row, d.width, s.range);
    return d.EncodeRow(y, z, row);
}

bool BuildAxes(ResampleJob& job, AxisTable& xs, AxisTable& ys, AxisTable& zs) {
    PixelConverter &d = job.dst, &s = job.src;
    return BuildAxis(xs, s.width, d.width, !(job.filter & TexFilterMirrorU)) &&
           BuildAxis(ys, s.height, d.height, !(job.filter & TexFilterMirrorV)) &&
           BuildAxis(zs, s.depth, d.depth, !(job.filter & TexFilterMirrorW));
}

}  // namespace

HRESULT BlitTent(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    if (d.depth != 1 || s.depth != 1) return E_FAIL;
    AxisTable xs, ys, zs;
    if (!BuildAxes(job, xs, ys, zs)) return E_OUTOFMEMORY;
    std::vector<KLCOLOR> source;
    if (!AllocateRow(source, s.width)) return E_OUTOFMEMORY;
    Accumulators rows(d.height, d.width);
    std::vector<uint32_t> remaining = ys.references;
    for (uint32_t y = 0; y < s.height; ++y) {
        HRESULT hr = s.DecodeRow(y, 0, source.data());
        if (FAILED(hr)) return hr;
        for (const Tap& ty : ys.taps[y]) {
            KLCOLOR* acc = rows.Get(ty.index);
            if (!acc) return E_OUTOFMEMORY;
            Splat(acc, source.data(), xs, ty.weight);
            if (--remaining[ty.index] == 0) {
                hr = EncodeFinished(d, s, acc, ty.index, 0);
                if (FAILED(hr)) return hr;
                rows.Release(ty.index);
            }
        }
    }
    // Rows no source reaches stay transparent black.
    for (uint32_t y = 0; y < d.height; ++y)
        if (ys.references[y] == 0) {
            KLCOLOR* acc = rows.Get(y);
            if (!acc) return E_OUTOFMEMORY;
            HRESULT hr = d.EncodeRow(y, 0, acc);
            if (FAILED(hr)) return hr;
            rows.Release(y);
        }
    return S_OK;
}

HRESULT BlitTentVolume(ResampleJob& job) {
    PixelConverter &d = job.dst, &s = job.src;
    AxisTable xs, ys, zs;
    if (!BuildAxes(job, xs, ys, zs)) return E_OUTOFMEMORY;
    std::vector<KLCOLOR> source;
    if (!AllocateRow(source, s.width)) return E_OUTOFMEMORY;
    const size_t sliceSize = static_cast<size_t>(d.width) * d.height;
    Accumulators slices(d.depth, sliceSize);
    std::vector<uint32_t> remaining = zs.references;
    auto finish = [&](uint32_t z, KLCOLOR* acc) -> HRESULT {
        for (uint32_t y = 0; y < d.height; ++y) {
            HRESULT hr = EncodeFinished(d, s, acc + static_cast<size_t>(y) * d.width, y, z);
            if (FAILED(hr)) return hr;
        }
        slices.Release(z);
        return S_OK;
    };
    for (uint32_t z = 0; z < s.depth; ++z) {
        for (uint32_t y = 0; y < s.height; ++y) {
            HRESULT hr = s.DecodeRow(y, z, source.data());
            if (FAILED(hr)) return hr;
            for (const Tap& tz : zs.taps[z]) {
                KLCOLOR* acc = slices.Get(tz.index);
                if (!acc) return E_OUTOFMEMORY;
                for (const Tap& ty : ys.taps[y])
                    Splat(acc + static_cast<size_t>(ty.index) * d.width, source.data(), xs, tz.weight * ty.weight);
            }
        }
        for (const Tap& tz : zs.taps[z])
            if (--remaining[tz.index] == 0) {
                HRESULT hr = finish(tz.index, slices.Get(tz.index));
                if (FAILED(hr)) return hr;
            }
    }
    for (uint32_t z = 0; z < d.depth; ++z)
        if (zs.references[z] == 0) {
            KLCOLOR* acc = slices.Get(z);
            if (!acc) return E_OUTOFMEMORY;
            HRESULT hr = finish(z, acc);
            if (FAILED(hr)) return hr;
        }
    return S_OK;
}
