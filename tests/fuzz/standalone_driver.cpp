// Runs a fuzz target without libFuzzer: every seed file is fed as it is, then a
// fixed number of deterministic mutations of the seeds (bit flips, byte
// changes, truncations, splices, inserted runs). Used by CTest under the
// sanitizers; the libFuzzer build explores further.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
uint64_t g_state = 0x9E3779B97F4A7C15ull;
uint64_t Next() {
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return g_state;
}

void Mutate(std::vector<uint8_t>& b, const std::vector<std::vector<uint8_t>>& seeds) {
    int rounds = 1 + static_cast<int>(Next() % 4);
    for (int r = 0; r < rounds; ++r) {
        switch (Next() % 6) {
        case 0:
            if (!b.empty()) b[Next() % b.size()] ^= static_cast<uint8_t>(1u << (Next() % 8));
            break;
        case 1:
            if (!b.empty()) b[Next() % b.size()] = static_cast<uint8_t>(Next());
            break;
        case 2:
            if (!b.empty()) b.resize(Next() % b.size());
            break;
        case 3: {
            const auto& other = seeds[Next() % seeds.size()];
            if (!other.empty()) {
                size_t from = Next() % other.size();
                size_t at = b.empty() ? 0 : Next() % b.size();
                b.insert(b.begin() + at, other.begin() + from, other.begin() + std::min(other.size(), from + 64));
            }
            break;
        }
        case 4: {
            size_t at = b.empty() ? 0 : Next() % b.size();
            b.insert(b.begin() + at, 1 + Next() % 16, static_cast<uint8_t>(Next()));
            break;
        }
        default:
            if (b.size() >= 4) {
                static const uint32_t kInteresting[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
                uint32_t v = kInteresting[Next() % 9];
                std::memcpy(&b[Next() % (b.size() - 3)], &v, 4);
            }
        }
    }
}
}  // namespace

int main(int argc, char** argv) {
    long iterations = 1000;
    std::vector<std::vector<uint8_t>> seeds;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--iterations") && i + 1 < argc) {
            iterations = std::atol(argv[++i]);
            continue;
        }
        std::filesystem::path p(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
        } else if (std::filesystem::exists(p)) {
            files.push_back(p);
        }
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (seeds.empty()) seeds.emplace_back();
    for (const auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());
    for (long i = 0; i < iterations; ++i) {
        std::vector<uint8_t> b = seeds[Next() % seeds.size()];
        Mutate(b, seeds);
        LLVMFuzzerTestOneInput(b.data(), b.size());
    }
    std::printf("%zu seeds, %ld mutated inputs: no fault\n", seeds.size(), iterations);
    return 0;
}
