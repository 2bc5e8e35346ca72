// Whether the MMX integer routines of the image code may run.
#include "math/klmath.h"
#include "platform/registry.h"

namespace {

// -1 not yet probed, 0 no MMX, 1 MMX.
int g_mmxState = -1;

}  // namespace

int MmxAvailable() {
    DWORD disabled = 0;
    if (ReadDirect3DSwitch(REG_DWORD, "DisableMMX", &disabled, sizeof(disabled)) && disabled != 0) {
        g_mmxState = 0;
        return 0;
    }
    if (g_mmxState == -1) {
        g_mmxState = 0;
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        // The 64-bit x86 architecture keeps the MMX instructions, so it counts
        // as x86 here.
        bool x86 = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_INTEL ||
                   info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
        platform::CpuidRegisters r;
        if (x86 && info.wProcessorLevel >= 5 && platform::QueryCpuid(0, &r) && r.eax >= 1) {
            platform::QueryCpuid(1, &r);
            if (r.edx & platform::kCpuidEdxMmx) g_mmxState = 1;
        }
    }
    return g_mmxState;
}

void MmxAvailableReset() { g_mmxState = -1; }
