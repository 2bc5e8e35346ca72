// Processor identification: the CPUID query, the feature word of the vector
// math library, feature presence and system information in the shapes the
// toolkit expects. Every query goes through one seam, so tests can present any
// processor (none, MMX, SSE, SSE2, 3DNow!, extended 3DNow! and MMX, a processor
// whose CPUID faults) without the hardware.
#pragma once

#include <cstdint>

#include "platform/wintypes.h"

// Bits of the feature word returned by CpuFeatureFlags.
constexpr DWORD kCpuFeatureBase = 0x1;          // always set
constexpr DWORD kCpuFeatureCpuid = 0x2;         // the maximum standard leaf is not 0
constexpr DWORD kCpuFeatureExtended = 0x4;      // extended leaves above 0x80000000 exist
constexpr DWORD kCpuFeatureMmx = 0x20;          // leaf 1 EDX bit 23
constexpr DWORD kCpuFeatureSse = 0x40;          // leaf 1 EDX bit 25
constexpr DWORD kCpuFeature3DNow = 0x80;        // leaf 0x80000001 EDX bit 31
constexpr DWORD kCpuFeature3DNowExt = 0x100;    // leaf 0x80000001 EDX bit 30
constexpr DWORD kCpuFeatureMmxExt = 0x200;      // leaf 0x80000001 EDX bit 22

// Feature numbers for IsProcessorFeaturePresent.
constexpr DWORD PF_MMX_INSTRUCTIONS_AVAILABLE = 3;
constexpr DWORD PF_XMMI_INSTRUCTIONS_AVAILABLE = 6;
constexpr DWORD PF_3DNOW_INSTRUCTIONS_AVAILABLE = 7;
constexpr DWORD PF_XMMI64_INSTRUCTIONS_AVAILABLE = 10;

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

// The part of the system information that the toolkit reads.
struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    DWORD dwNumberOfProcessors;
    WORD wProcessorLevel;  // the processor family (5 and up: MMX-capable generations)
};

// The feature word: see the kCpuFeature bits.
DWORD CpuFeatureFlags();
BOOL IsProcessorFeaturePresent(DWORD feature);
void GetSystemInfo(SYSTEM_INFO* info);

namespace platform {

// The four registers of one CPUID answer.
struct CpuidRegisters {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// Runs CPUID for a leaf. Returns false, with all registers 0, when the
// instruction faults (a processor without CPUID).
bool QueryCpuid(uint32_t leaf, CpuidRegisters* out);

// A processor described by the few CPUID answers the toolkit reads. Leaves
// not covered here answer zeros.
struct SimulatedProcessor {
    bool cpuidFaults = false;
    uint32_t maxStandardLeaf = 1;
    uint32_t leaf1Edx = 0;
    uint32_t maxExtendedLeaf = 0;  // 0 or 0x80000000: no extended leaves
    uint32_t extendedLeaf1Edx = 0;
    WORD architecture = PROCESSOR_ARCHITECTURE_INTEL;
    WORD level = 6;
};

// CPUID feature bits used to describe processors.
constexpr uint32_t kCpuidEdxMmx = 1u << 23;
constexpr uint32_t kCpuidEdxSse = 1u << 25;
constexpr uint32_t kCpuidEdxSse2 = 1u << 26;
constexpr uint32_t kCpuidExtEdxMmxExt = 1u << 22;
constexpr uint32_t kCpuidExtEdx3DNowExt = 1u << 30;
constexpr uint32_t kCpuidExtEdx3DNow = 1u << 31;

// From now on every query answers for this processor instead of the real one.
void SimulateProcessor(const SimulatedProcessor& processor);
// Goes back to the real processor.
void UseRealProcessor();

}  // namespace platform
