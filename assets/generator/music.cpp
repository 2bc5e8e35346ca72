#include "music.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 96.0;
constexpr double kBeat = 0.5;  // 120 beats per minute
constexpr double kBar = 4 * kBeat;
constexpr double kPi = 3.14159265358979323846;

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t n) : left(n), right(n) {}
};

double Midi(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Deterministic noise source for drums.
struct Noise {
    uint32_t state = 22222;
    float operator()() {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / static_cast<float>(1 << 23) - 1.0f;
    }
};

// How loud each part is over the timeline (seconds): the intro is calm, the
// beat enters with the first fire at 14 s, the band fills at 25 s, the last
// fire at 50 s is the loudest, and everything fades after 90 s.
struct Arrangement {
    static double Drums(double t) { return t < 14 ? 0 : (t < 90 ? 1 : std::max(0.0, 1 - (t - 90) / 2)); }
    static double Snare(double t) { return t < 25 || t >= 90 ? 0 : 1; }
    static double Bass(double t) { return t < 14 ? 0.0 : (t < 90 ? 1.0 : std::max(0.0, 1 - (t - 90) / 3)); }
    static double Lead(double t) { return t < 50 || t >= 90 ? 0 : 1; }
    static double Master(double t) { return std::min(1.0, t / 3) * (t < 90 ? 1 : std::max(0.0, 1 - (t - 90) / 6)); }
};

// Chord cycle Am - F - C - G, one bar each: bass root and three chord tones.
const int kRoots[4] = {45, 41, 48, 43};
const int kChords[4][3] = {{57, 60, 64}, {57, 60, 65}, {55, 60, 64}, {55, 59, 62}};

void AddSample(Stereo& out, size_t i, float v, float pan) {
    if (i >= out.left.size()) return;
    out.left[i] += v * (1 - pan) * 0.5f * 2;
    out.right[i] += v * (1 + pan) * 0.5f * 2;
}

// A soft pad: detuned saws through a gentle low-pass, slow attack.
void Pad(Stereo& out, double start, double length, int note, float gain) {
    double f = Midi(note);
    size_t s0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(length * kRate);
    double phase[3] = {0, 0.33, 0.66};
    const double detune[3] = {0.997, 1.0, 1.004};
    float lp = 0;
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / kRate;
        double env = std::min(1.0, t / 0.6) * std::min(1.0, (length - t) / 0.5);
        float v = 0;
        for (int d = 0; d < 3; ++d) {
            phase[d] += f * detune[d] / kRate;
            phase[d] -= std::floor(phase[d]);
            v += static_cast<float>(2 * phase[d] - 1);
        }
        lp += 0.08f * (v / 3 - lp);
        AddSample(out, s0 + k, static_cast<float>(lp * env * gain), (note % 3 - 1) * 0.4f);
    }
}

// Bass: a saw with a decaying filter, one note per beat.
void Bass(Stereo& out, double start, double length, int note, float gain) {
    double f = Midi(note), phase = 0;
    size_t s0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(length * kRate);
    float lp = 0;
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / kRate;
        phase += f / kRate;
        phase -= std::floor(phase);
        float saw = static_cast<float>(2 * phase - 1);
        float cutoff = static_cast<float>(0.02 + 0.2 * std::exp(-t * 14));
        lp += cutoff * (saw - lp);
        double env = std::min(1.0, t / 0.005) * std::exp(-t * 3) * std::min(1.0, (length - t) / 0.02);
        AddSample(out, s0 + k, static_cast<float>(lp * env * gain), 0);
    }
}

// Pluck: a square wave with a fast decay, for the arpeggio and the lead.
void Pluck(Stereo& out, double start, double length, int note, float gain, float pan, double decay) {
    double f = Midi(note), phase = 0;
    size_t s0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(length * kRate);
    float lp = 0;
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / kRate;
        phase += f / kRate;
        phase -= std::floor(phase);
        float sq = phase < 0.5 ? 1.0f : -1.0f;
        lp += 0.25f * (sq - lp);
        double env = std::min(1.0, t / 0.003) * std::exp(-t * decay) * std::min(1.0, (length - t) / 0.01);
        AddSample(out, s0 + k, static_cast<float>(lp * env * gain), pan);
    }
}

void Kick(Stereo& out, double start, float gain) {
    size_t s0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(0.35 * kRate);
    double phase = 0;
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / kRate;
        phase += (45 + 110 * std::exp(-t * 30)) / kRate;
        AddSample(out, s0 + k, static_cast<float>(std::sin(2 * kPi * phase) * std::exp(-t * 9) * gain), 0);
    }
}

void Snare(Stereo& out, double start, float gain, Noise& noise) {
    size_t s0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(0.25 * kRate);
    float hp = 0, prev = 0;
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / kRate;
        float x = noise();
        hp = 0.8f * (hp + x - prev);
        prev = x;
        double tone = std::sin(2 * kPi * 190 * t) * std::exp(-t * 25);
        AddSample(out, s0 + k, static_cast<float>((hp * std::exp(-t * 16) * 0.7 + tone * 0.5) * gain), 0.1f);
    }
}

void Hat(Stereo& out, double start, float gain, Noise& noise) {
    size_t s0 = static_cast<size_t>(start * kRate), n = static_cast<size_t>(0.06 * kRate);
    float prev = 0;
    for (size_t k = 0; k < n; ++k) {
        double t = static_cast<double>(k) / kRate;
        float x = noise();
        float hp = x - prev;
        prev = x;
        AddSample(out, s0 + k, static_cast<float>(hp * std::exp(-t * 60) * gain), -0.3f);
    }
}

// A stereo feedback delay that gives the mix some room.
void Echo(Stereo& s) {
    size_t dl = static_cast<size_t>(kBeat * 0.75 * kRate), dr = static_cast<size_t>(kBeat * kRate);
    for (size_t i = 0; i < s.left.size(); ++i) {
        if (i >= dl) s.left[i] += 0.28f * s.right[i - dl];
        if (i >= dr) s.right[i] += 0.28f * s.left[i - dr];
    }
}

bool WriteWav(const std::string& path, const Stereo& s) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    uint32_t frames = static_cast<uint32_t>(s.left.size());
    uint32_t dataBytes = frames * 4;
    auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, f); };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(dataBytes);
    float peak = 1e-6f;
    for (size_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(s.left[i]), std::fabs(s.right[i])});
    float scale = 0.89f / peak;
    std::vector<int16_t> buf(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < frames; ++i) {
        buf[2 * i] = static_cast<int16_t>(std::lround(s.left[i] * scale * 32767));
        buf[2 * i + 1] = static_cast<int16_t>(std::lround(s.right[i] * scale * 32767));
    }
    std::fwrite(buf.data(), 2, buf.size(), f);
    return std::fclose(f) == 0;
}

}  // namespace

bool MakeMusicWav(const std::string& path) {
    Stereo mix(static_cast<size_t>(kSeconds * kRate));
    Noise noise;
    // Lead motif over the chord cycle: scale steps of A minor pentatonic, 8 eighth notes a bar, -1 is a rest.
    const int kLead[4][8] = {{69, -1, 72, 74, 76, -1, 74, 72},
                             {72, -1, 69, -1, 72, 74, 72, -1},
                             {67, -1, 72, -1, 76, 79, 76, 72},
                             {74, -1, 71, 67, -1, 71, 74, -1}};
    int bars = static_cast<int>(kSeconds / kBar);
    for (int bar = 0; bar < bars; ++bar) {
        double t0 = bar * kBar;
        int c = bar % 4;
        double master = Arrangement::Master(t0);
        if (master <= 0) continue;
        for (int note : kChords[c]) Pad(mix, t0, kBar + 0.3, note, 0.10f * static_cast<float>(master));
        for (int beat = 0; beat < 4; ++beat) {
            double tb = t0 + beat * kBeat;
            float drums = static_cast<float>(Arrangement::Drums(tb) * master);
            if (drums > 0) {
                Kick(mix, tb, 0.55f * drums);
                if (Arrangement::Snare(tb) > 0 && (beat == 1 || beat == 3)) Snare(mix, tb, 0.35f * drums, noise);
                Hat(mix, tb + kBeat / 2, 0.18f * drums, noise);
            }
            float bass = static_cast<float>(Arrangement::Bass(tb) * master);
            if (bass > 0) Bass(mix, tb, kBeat * 0.9, kRoots[c] + (beat == 2 ? 12 : 0), 0.32f * bass);
            // Arpeggio: four sixteenths per beat over the chord, an octave up.
            for (int s = 0; s < 4; ++s) {
                int tone = kChords[c][(beat * 4 + s) % 3] + 12;
                float arp = static_cast<float>(master * (tb < 14 ? 0.5 : 1.0));
                Pluck(mix, tb + s * kBeat / 4, kBeat / 4, tone, 0.05f * arp, s % 2 ? 0.5f : -0.5f, 18);
            }
        }
        if (Arrangement::Lead(t0) > 0) {
            for (int e = 0; e < 8; ++e)
                if (kLead[c][e] >= 0)
                    Pluck(mix, t0 + e * kBeat / 2, kBeat / 2, kLead[c][e], 0.12f * static_cast<float>(master), 0.1f, 5);
        }
    }
    Echo(mix);
    return WriteWav(path, mix);
}
