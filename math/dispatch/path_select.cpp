// Chooses the variant family for the whole process and fills the dispatch
// table with it.
#include <algorithm>

#include "math/dispatch/dispatch_table.h"
#include "platform/registry.h"

namespace klmath {
namespace {

// The chosen path (PathUnselected until the first selection).
int MathPath = PathUnselected;

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
    MathPath = PathUnselected;
}

}  // namespace klmath

int MathPathSelect(int select) {
    using namespace klmath;
    if (select == 0) {
        std::copy(std::begin(MathPlainTable), std::end(MathPlainTable), std::begin(MathDispatchTable));
        MathPath = PathUnselected;
        return MathPath;
    }
    if (MathPath != PathUnselected) return MathPath;
    MathPath = PathPlain;
    std::copy(std::begin(MathPlainTable), std::end(MathPlainTable), std::begin(MathDispatchTable));
    Install(X86Variants());
    DWORD level = DisableLevel();
    if (level == 1) return MathPath;
    if (level != 2 && IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE)) {
        Install3DNow();
        MathPath = Path3DNow;
    } else if (CpuidReportsSse2()) {
        Install(Sse2Variants());
        MathPath = PathSse2;
    } else if (IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) {
        Install(SseVariants());
        MathPath = PathSse;
    }
    return MathPath;
}

int MathPathCurrent() { return klmath::MathPath; }
