// Path selection: registry switches, processor kinds, which slots each path
// fills, the lazy first call and the reset.
#include <gtest/gtest.h>

#include <set>

#include "math/dispatch/dispatch_table.h"
#include "platform/registry.h"

namespace klmath {
namespace {

using platform::SimulatedProcessor;

std::set<int> Range(int from, int to) {
    std::set<int> s;
    for (int i = from; i <= to; ++i) s.insert(i);
    return s;
}
std::set<int> Union(std::initializer_list<std::set<int>> parts) {
    std::set<int> s;
    for (auto& p : parts) s.insert(p.begin(), p.end());
    return s;
}

const std::set<int> kX86Slots = Union({Range(0, 7), {34}});
const std::set<int> kSseSlots = Union({Range(0, 11), {13}, Range(16, 22), {24, 25, 27, 28, 34, 44}, Range(47, 54),
                                       Range(58, 65), {68, 69}});
const std::set<int> kSse3DNowArraySlots = Union({Range(59, 65), {68}});

std::set<int> SlotsOf(std::span<const SlotEntry> set) {
    std::set<int> s;
    for (auto& e : set) s.insert(e.slot);
    return s;
}

MathOp OpOf(std::span<const SlotEntry> set, int slot) {
    for (auto& e : set)
        if (e.slot == slot) return e.op;
    return nullptr;
}

// Processors by kind.
SimulatedProcessor Cpu(uint32_t edx, uint32_t extEdx = 0) {
    SimulatedProcessor p;
    p.leaf1Edx = edx;
    if (extEdx) {
        p.maxExtendedLeaf = 0x80000001u;
        p.extendedLeaf1Edx = extEdx;
    }
    return p;
}
using namespace platform;
const SimulatedProcessor kNoCpuid = [] {
    SimulatedProcessor p;
    p.cpuidFaults = true;
    return p;
}();
const SimulatedProcessor kLeafZero = [] {
    SimulatedProcessor p;
    p.maxStandardLeaf = 0;
    p.leaf1Edx = kCpuidEdxMmx | kCpuidEdxSse | kCpuidEdxSse2;  // unreachable behind leaf 0
    return p;
}();
const SimulatedProcessor kMmx = Cpu(kCpuidEdxMmx);
const SimulatedProcessor kSse = Cpu(kCpuidEdxMmx | kCpuidEdxSse);
const SimulatedProcessor kSse2 = Cpu(kCpuidEdxMmx | kCpuidEdxSse | kCpuidEdxSse2);
const SimulatedProcessor k3DNow = Cpu(kCpuidEdxMmx, kCpuidExtEdx3DNow);
const SimulatedProcessor k3DNowExt = Cpu(kCpuidEdxMmx, kCpuidExtEdx3DNow | kCpuidExtEdx3DNowExt | kCpuidExtEdxMmxExt);
const SimulatedProcessor k3DNowSse =
    Cpu(kCpuidEdxMmx | kCpuidEdxSse, kCpuidExtEdx3DNow | kCpuidExtEdx3DNowExt | kCpuidExtEdxMmxExt);
const SimulatedProcessor k3DNowSse2 = Cpu(kCpuidEdxMmx | kCpuidEdxSse | kCpuidEdxSse2,
                                          kCpuidExtEdx3DNow | kCpuidExtEdx3DNowExt | kCpuidExtEdxMmxExt);

class Dispatch : public testing::Test {
protected:
    void SetUp() override {
        platform::ResetRegistryValues();
        for (const char* name : {"DisablePSGP", "DisableKLPSGP", "DisableMMX"})
            platform::SetRegistryValue(name, std::nullopt);
        MathPathSelect(0);
    }
    void TearDown() override {
        MathPathSelect(0);
        platform::UseRealProcessor();
        platform::ResetRegistryValues();
        MmxAvailableReset();
    }
    int Select(const SimulatedProcessor& p) {
        platform::SimulateProcessor(p);
        MathPathSelect(0);
        return MathPathSelect(1);
    }
    // The table must hold, slot by slot, the variant of the highest family
    // that covers it: `primary`, else x86 in its slots, else plain.
    void ExpectTable(std::span<const SlotEntry> primary) {
        for (int slot = 0; slot < kSlotCount; ++slot) {
            MathOp want = MathPlainTable[slot];
            if (kX86Slots.count(slot)) want = OpOf(X86Variants(), slot);
            if (MathOp op = OpOf(primary, slot)) want = op;
            EXPECT_EQ(MathDispatchTable[slot], want) << "slot " << slot;
        }
    }
};

TEST_F(Dispatch, VariantSetsCoverTheirSlots) {
    EXPECT_EQ(SlotsOf(X86Variants()), kX86Slots);
    EXPECT_EQ(SlotsOf(SseVariants()), kSseSlots);
    std::set<int> sse2 = kSseSlots;
    sse2.erase(kSlotQuaternionInverse);
    EXPECT_EQ(SlotsOf(Sse2Variants()), sse2);
    EXPECT_EQ(SlotsOf(Sse3DNowArrays()), kSse3DNowArraySlots);
    for (auto& e : Sse3DNowArrays()) EXPECT_EQ(e.op, OpOf(SseVariants(), e.slot));
    // SSE2 has its own code for these slots and shares the rest with SSE.
    const std::set<int> own = Union({Range(1, 4), {6, 7, 10, 11, 13, 16, 18, 21, 24, 25, 27, 28, 34}, Range(58, 65),
                                     {68}});
    for (auto& e : Sse2Variants())
        EXPECT_EQ(own.count(e.slot) == 1, e.op != OpOf(SseVariants(), e.slot)) << "slot " << e.slot;
}

struct ProcessorCase {
    const char* name;
    SimulatedProcessor cpu;
    int path;
};

TEST_F(Dispatch, EachProcessorKindGetsItsPath) {
    const ProcessorCase cases[] = {
        {"no CPUID", kNoCpuid, PathPlain},        {"leaf 0 only", kLeafZero, PathPlain},
        {"MMX", kMmx, PathPlain},                 {"SSE", kSse, PathSse},
        {"SSE2", kSse2, PathSse2},                {"3DNow!", k3DNow, Path3DNow},
        {"extended 3DNow!", k3DNowExt, Path3DNow}, {"3DNow! and SSE", k3DNowSse, Path3DNow},
        {"3DNow! and SSE2", k3DNowSse2, Path3DNow},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Select(c.cpu), c.path);
        EXPECT_EQ(MathPathCurrent(), c.path);
        switch (c.path) {
            case PathPlain: ExpectTable({}); break;
            case PathSse: ExpectTable(SseVariants()); break;
            case PathSse2: ExpectTable(Sse2Variants()); break;
            // No 3DNow! code in this build: only the SSE array variants join.
            case Path3DNow:
                ExpectTable((c.cpu.leaf1Edx & platform::kCpuidEdxSse) ? Sse3DNowArrays()
                                                                      : std::span<const SlotEntry>{});
                break;
        }
    }
}

struct RegistryCase {
    const char* name;
    std::optional<std::string> disablePsgp, disableKlPsgp;
    SimulatedProcessor cpu;
    int path;
};

TEST_F(Dispatch, RegistrySwitchesHoldTheChoiceBack) {
    const RegistryCase cases[] = {
        {"level 1 stops at plain", "1", std::nullopt, kSse2, PathPlain},
        {"level 1 from DisableKLPSGP", std::nullopt, "1", k3DNowSse2, PathPlain},
        {"DisableKLPSGP 0 overrides DisablePSGP 1", "1", "0", kSse2, PathSse2},
        {"DisableKLPSGP 1 overrides DisablePSGP 0", "0", "1", kSse2, PathPlain},
        {"level 2 rules out 3DNow! only (SSE)", "2", std::nullopt, k3DNowSse, PathSse},
        {"level 2 rules out 3DNow! only (SSE2)", std::nullopt, "2", k3DNowSse2, PathSse2},
        {"level 2 on a 3DNow!-only processor", "2", std::nullopt, k3DNowExt, PathPlain},
        {"other levels allow everything", "3", std::nullopt, k3DNowSse2, Path3DNow},
        {"a text value counts as absent", "off", std::nullopt, kSse2, PathSse2},
        {"a text DisableKLPSGP does not override", "1", "zero", kSse2, PathPlain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SetRegistryValue("DisablePSGP", c.disablePsgp);
        platform::SetRegistryValue("DisableKLPSGP", c.disableKlPsgp);
        EXPECT_EQ(Select(c.cpu), c.path);
        if (c.path == PathPlain) ExpectTable({});
    }
}

TEST_F(Dispatch, SelectionHappensOnceUntilReset) {
    EXPECT_EQ(Select(kSse), PathSse);
    // Neither a new processor nor a new switch changes a made choice.
    platform::SimulateProcessor(kSse2);
    platform::SetRegistryValue("DisablePSGP", "1");
    EXPECT_EQ(MathPathSelect(1), PathSse);
    ExpectTable(SseVariants());
    // The reset puts the plain table back and leaves no lazy entries.
    EXPECT_EQ(MathPathSelect(0), PathUnselected);
    for (int slot = 0; slot < kSlotCount; ++slot) EXPECT_EQ(MathDispatchTable[slot], MathPlainTable[slot]);
    KLVECTOR3 v{3, 0, 4}, n;
    KLVec3Normalize(&n, &v);
    EXPECT_EQ(MathPathCurrent(), PathUnselected);
}

TEST_F(Dispatch, FirstCallOfAnyOperationSelectsForAllSlots) {
    platform::SimulateProcessor(kSse2);
    ResetToLazyEntries();
    EXPECT_EQ(MathDispatchTable[kSlotVec3Normalize], MathLazyTable[kSlotVec3Normalize]);
    KLMATRIX m;
    KLMatrixRotationZ(&m, 0.5f);  // a plain-only slot still triggers the selection
    EXPECT_EQ(MathPathCurrent(), PathSse2);
    ExpectTable(Sse2Variants());
    EXPECT_NEAR(m._11, std::cos(0.5f), 1e-7);

    // The lazy entry passes the caller's arguments on unchanged.
    ResetToLazyEntries();
    KLVECTOR3 v{3, 0, 4}, n;
    EXPECT_EQ(KLVec3Normalize(&n, &v), &n);
    EXPECT_NEAR(n.x, 0.6f, 1e-6);
    EXPECT_NEAR(n.z, 0.8f, 1e-6);
    float det = 0;
    KLMATRIX s, inv;
    KLMatrixScaling(&s, 2, 4, 8);
    ResetToLazyEntries();
    EXPECT_EQ(KLMatrixInverse(&inv, &det, &s), &inv);
    EXPECT_FLOAT_EQ(det, 64.0f);
    EXPECT_FLOAT_EQ(inv._33, 0.125f);
}

TEST_F(Dispatch, MmxProbe) {
    struct Case {
        const char* name;
        SimulatedProcessor cpu;
        WORD architecture, level;
        int expected;
    } cases[] = {
        {"Pentium MMX", kMmx, PROCESSOR_ARCHITECTURE_INTEL, 5, 1},
        {"64-bit x86", kSse2, PROCESSOR_ARCHITECTURE_AMD64, 6, 1},
        {"level 4", kMmx, PROCESSOR_ARCHITECTURE_INTEL, 4, 0},
        {"no MMX bit", Cpu(0), PROCESSOR_ARCHITECTURE_INTEL, 6, 0},
        {"no CPUID", kNoCpuid, PROCESSOR_ARCHITECTURE_INTEL, 6, 0},
        {"other architecture", kMmx, PROCESSOR_ARCHITECTURE_UNKNOWN, 6, 0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        c.cpu.architecture = c.architecture;
        c.cpu.level = c.level;
        platform::SimulateProcessor(c.cpu);
        MmxAvailableReset();
        EXPECT_EQ(MmxAvailable(), c.expected);
    }
}

TEST_F(Dispatch, DisableMmxIsReadOnEveryCall) {
    platform::SimulateProcessor(kMmx);
    MmxAvailableReset();
    platform::SetRegistryValue("DisableMMX", "0");
    EXPECT_EQ(MmxAvailable(), 1);
    platform::SetRegistryValue("DisableMMX", "1");
    EXPECT_EQ(MmxAvailable(), 0);
    // The switch leaves the state at "no MMX"; the processor is not probed again.
    platform::SetRegistryValue("DisableMMX", std::nullopt);
    EXPECT_EQ(MmxAvailable(), 0);
    MmxAvailableReset();
    EXPECT_EQ(MmxAvailable(), 1);
}

TEST_F(Dispatch, ReadDirect3DSwitchChecksTheType) {
    DWORD value = 0;
    EXPECT_FALSE(ReadDirect3DSwitch(REG_DWORD, "DisablePSGP", &value, 4));
    platform::SetRegistryValue("DisablePSGP", "0x2A");
    EXPECT_TRUE(ReadDirect3DSwitch(REG_DWORD, "DisablePSGP", &value, 4));
    EXPECT_EQ(value, 42u);
    EXPECT_FALSE(ReadDirect3DSwitch(REG_SZ, "DisablePSGP", &value, 4));
    platform::SetRegistryValue("DisablePSGP", "some text");
    EXPECT_FALSE(ReadDirect3DSwitch(REG_DWORD, "DisablePSGP", &value, 4));
    EXPECT_FALSE(ReadDirect3DSwitch(REG_DWORD, nullptr, &value, 4));
}

}  // namespace
}  // namespace klmath
