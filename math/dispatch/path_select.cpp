// Chooses the variant family for the whole process and fills the dispatch
// table with it.
#include <algorithm>

#include "math/dispatch/dispatch_table.h"
#include "platform/registry.h"

namespace klmath {
namespace {

int g_mathPath = PathUnselected;

void Install(std::span<const SlotEntry> variants) {
    for (const SlotEntry& e : variants) MathDispatchTable[e.slot] = e.op;
}

// "DisablePSGP", overridden by "DisableKLPSGP" whenever that exists (even as 0).
DWORD DisableLevel() {
    DWORD level = 0, value = 0;
    if (ReadDirect3DSwitch(REG_DWORD, "DisablePSGP", &value, sizeof(value))) level = value;
    if (ReadDirect3DSwitch(REG_DWORD, "DisableKLPSGP", &value, sizeof(value))) level = value;
    return level;
}

bool CpuidReportsSse2() {
    platform::CpuidRegisters r;
    if (!platform::QueryCpuid(0, &r) || r.eax == 0) return false;
    platform::QueryCpuid(1, &r);
    return (r.edx & platform::kCpuidEdxSse2) != 0;
}

void Install3DNow() {
    DWORD flags = CpuFeatureFlags();
    if ((flags & kCpuFeatureMmx) && (flags & kCpuFeature3DNow)) {
        Install(ThreeDNowVariants());
        if ((flags & kCpuFeature3DNowExt) && (flags & kCpuFeatureMmxExt)) Install(ThreeDNowExtVariants());
    }
    if (flags & kCpuFeatureSse) Install(Sse3DNowArrays());
}

}  // namespace

void ResetToLazyEntries() {
    std::copy(std::begin(MathLazyTable), std::end(MathLazyTable), std::begin(MathDispatchTable));
    g_mathPath = PathUnselected;
}

}  // namespace klmath

int MathPathSelect(int select) {
    using namespace klmath;
    if (select == 0) {
        std::copy(std::begin(MathPlainTable), std::end(MathPlainTable), std::begin(MathDispatchTable));
        g_mathPath = PathUnselected;
        return g_mathPath;
    }
    if (g_mathPath != PathUnselected) return g_mathPath;
    g_mathPath = PathPlain;
    std::copy(std::begin(MathPlainTable), std::end(MathPlainTable), std::begin(MathDispatchTable));
    Install(X86Variants());
    DWORD level = DisableLevel();
    if (level == 1) return g_mathPath;
    if (level != 2 && IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE)) {
        Install3DNow();
        g_mathPath = Path3DNow;
    } else if (CpuidReportsSse2()) {
        Install(Sse2Variants());
        g_mathPath = PathSse2;
    } else if (IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) {
        Install(SseVariants());
        g_mathPath = PathSse;
    }
    return g_mathPath;
}

int MathPathCurrent() { return klmath::g_mathPath; }
