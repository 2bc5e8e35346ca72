#include <gtest/gtest.h>

#include "platform/cpu_features.h"

namespace {

using namespace platform;

class CpuFeatures : public testing::Test {
protected:
    void TearDown() override { UseRealProcessor(); }
};

SimulatedProcessor Cpu(uint32_t maxLeaf, uint32_t edx, uint32_t maxExt = 0, uint32_t extEdx = 0) {
    SimulatedProcessor p;
    p.maxStandardLeaf = maxLeaf;
    p.leaf1Edx = edx;
    p.maxExtendedLeaf = maxExt;
    p.extendedLeaf1Edx = extEdx;
    return p;
}

TEST_F(CpuFeatures, FeatureWordForEachProcessorKind) {
    SimulatedProcessor faults;
    faults.cpuidFaults = true;
    const uint32_t all3DNow = kCpuidExtEdx3DNow | kCpuidExtEdx3DNowExt | kCpuidExtEdxMmxExt;
    const struct {
        const char* name;
        SimulatedProcessor cpu;
        DWORD flags;
    } cases[] = {
        {"CPUID faults", faults, 0x1},
        {"maximum leaf 0", Cpu(0, kCpuidEdxMmx | kCpuidEdxSse, 0x80000001u, all3DNow), 0x1},
        {"no features", Cpu(1, 0), 0x3},
        {"MMX", Cpu(1, kCpuidEdxMmx), 0x23},
        {"SSE2 (not in the word)", Cpu(1, kCpuidEdxMmx | kCpuidEdxSse | kCpuidEdxSse2), 0x63},
        {"extended leaf 0x80000000 only", Cpu(1, kCpuidEdxMmx, 0x80000000u, all3DNow), 0x23},
        {"3DNow!", Cpu(1, kCpuidEdxMmx, 0x80000001u, kCpuidExtEdx3DNow), 0xA7},
        {"extended 3DNow! and MMX", Cpu(1, kCpuidEdxMmx | kCpuidEdxSse, 0x80000001u, all3DNow), 0x3E7},
    };
    for (const auto& c : cases) {
        SimulateProcessor(c.cpu);
        EXPECT_EQ(CpuFeatureFlags(), c.flags) << c.name;
    }
}

TEST_F(CpuFeatures, FeaturePresenceAndSystemInfo) {
    SimulatedProcessor p = Cpu(1, kCpuidEdxMmx | kCpuidEdxSse, 0x80000001u, kCpuidExtEdx3DNow);
    p.architecture = PROCESSOR_ARCHITECTURE_INTEL;
    p.level = 5;
    SimulateProcessor(p);
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE));
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE));
    EXPECT_FALSE(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE));
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE));
    EXPECT_FALSE(IsProcessorFeaturePresent(12345));
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    EXPECT_EQ(info.wProcessorLevel, 5);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    // A faulting CPUID reports nothing at all.
    p.cpuidFaults = true;
    SimulateProcessor(p);
    CpuidRegisters r{1, 2, 3, 4};
    EXPECT_FALSE(QueryCpuid(0, &r));
    EXPECT_EQ(r.eax | r.ebx | r.ecx | r.edx, 0u);
    EXPECT_FALSE(IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE));
}

TEST_F(CpuFeatures, RealProcessorComesBack) {
    SimulateProcessor(Cpu(0, 0));
    EXPECT_EQ(CpuFeatureFlags(), 0x1u);
    UseRealProcessor();
#if defined(__x86_64__)
    // Every 64-bit x86 processor has CPUID, extended leaves, MMX, SSE and SSE2.
    DWORD flags = CpuFeatureFlags();
    EXPECT_EQ(flags & 0x67u, 0x67u);
    EXPECT_TRUE(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE));
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_GE(info.wProcessorLevel, 6);
#endif
}

}  // namespace
