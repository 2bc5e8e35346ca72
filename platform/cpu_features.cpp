#include "platform/cpu_features.h"

#include <atomic>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform {
namespace {

// The processor presented by tests; read without a lock because it is only
// changed by single-threaded test code between queries.
std::atomic<bool> g_simulated{false};
SimulatedProcessor g_processor;

bool RealCpuid(uint32_t leaf, CpuidRegisters* out) {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    __cpuid_count(leaf, 0, a, b, c, d);
    *out = {a, b, c, d};
    return true;
#else
    (void)leaf;
    *out = {};
    return false;
#endif
}

bool SimulatedCpuid(const SimulatedProcessor& p, uint32_t leaf, CpuidRegisters* out) {
    *out = {};
    if (p.cpuidFaults) return false;
    if (leaf == 0) {
        out->eax = p.maxStandardLeaf;
    } else if (leaf == 1 && p.maxStandardLeaf >= 1) {
        out->edx = p.leaf1Edx;
    } else if (leaf == 0x80000000u) {
        out->eax = p.maxExtendedLeaf;
    } else if (leaf == 0x80000001u && p.maxExtendedLeaf >= 0x80000001u) {
        out->edx = p.extendedLeaf1Edx;
    }
    return true;
}

}  // namespace

bool QueryCpuid(uint32_t leaf, CpuidRegisters* out) {
    if (g_simulated.load(std::memory_order_acquire)) return SimulatedCpuid(g_processor, leaf, out);
    return RealCpuid(leaf, out);
}

void SimulateProcessor(const SimulatedProcessor& processor) {
    g_processor = processor;
    g_simulated.store(true, std::memory_order_release);
}

void UseRealProcessor() { g_simulated.store(false, std::memory_order_release); }

}  // namespace platform

namespace {

uint32_t StandardEdx() {
    platform::CpuidRegisters r;
    if (!platform::QueryCpuid(0, &r) || r.eax == 0) return 0;
    platform::QueryCpuid(1, &r);
    return r.edx;
}

uint32_t ExtendedEdx() {
    platform::CpuidRegisters r;
    if (!platform::QueryCpuid(0x80000000u, &r) || r.eax <= 0x80000000u) return 0;
    platform::QueryCpuid(0x80000001u, &r);
    return r.edx;
}

}  // namespace

DWORD CpuFeatureFlags() {
    DWORD flags = kCpuFeatureBase;
    platform::CpuidRegisters r;
    if (!platform::QueryCpuid(0, &r) || r.eax == 0) return flags;
    flags |= kCpuFeatureCpuid;
    platform::QueryCpuid(1, &r);
    if (r.edx & platform::kCpuidEdxMmx) flags |= kCpuFeatureMmx;
    if (r.edx & platform::kCpuidEdxSse) flags |= kCpuFeatureSse;
    if (!platform::QueryCpuid(0x80000000u, &r) || r.eax <= 0x80000000u) return flags;
    flags |= kCpuFeatureExtended;
    platform::QueryCpuid(0x80000001u, &r);
    if (r.edx & platform::kCpuidExtEdx3DNow) flags |= kCpuFeature3DNow;
    if (r.edx & platform::kCpuidExtEdx3DNowExt) flags |= kCpuFeature3DNowExt;
    if (r.edx & platform::kCpuidExtEdxMmxExt) flags |= kCpuFeatureMmxExt;
    return flags;
}

BOOL IsProcessorFeaturePresent(DWORD feature) {
    switch (feature) {
        case PF_MMX_INSTRUCTIONS_AVAILABLE: return (StandardEdx() & platform::kCpuidEdxMmx) ? TRUE : FALSE;
        case PF_XMMI_INSTRUCTIONS_AVAILABLE: return (StandardEdx() & platform::kCpuidEdxSse) ? TRUE : FALSE;
        case PF_XMMI64_INSTRUCTIONS_AVAILABLE: return (StandardEdx() & platform::kCpuidEdxSse2) ? TRUE : FALSE;
        case PF_3DNOW_INSTRUCTIONS_AVAILABLE: return (ExtendedEdx() & platform::kCpuidExtEdx3DNow) ? TRUE : FALSE;
        default: return FALSE;
    }
}

void GetSystemInfo(SYSTEM_INFO* info) {
    if (!info) return;
    unsigned cores = std::thread::hardware_concurrency();
    info->dwNumberOfProcessors = cores ? cores : 1;
    if (platform::g_simulated.load(std::memory_order_acquire)) {
        info->wProcessorArchitecture = platform::g_processor.architecture;
        info->wProcessorLevel = platform::g_processor.level;
        return;
    }
#if defined(__x86_64__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__i386__)
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
#else
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
#endif
    // The level is the processor family, extended family included.
    platform::CpuidRegisters r;
    WORD level = 0;
    if (platform::QueryCpuid(0, &r) && r.eax >= 1) {
        platform::QueryCpuid(1, &r);
        uint32_t family = (r.eax >> 8) & 0xF;
        if (family == 0xF) family += (r.eax >> 20) & 0xFF;
        level = static_cast<WORD>(family);
    }
    info->wProcessorLevel = level;
}
