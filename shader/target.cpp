#include "shader/target.h"

#include <cstring>
#include <iterator>

#include "shader/target_slots.h"

namespace {

// Feature sets of the models, spelled short for the table.
constexpr uint32_t D = kFeatureDerivatives, S = kFeatureArbitrarySwizzle, P = kFeaturePredication,
                   F = kFeatureFlowControl;

// Sorted by name in byte order: '.' (0x2E) sorts before '_' (0x5F). The 2_x
// rows share one version token; ps_2_b lacks the derivatives, swizzles,
// predication and flow control that ps_2_a and ps_2_x have.
constexpr TargetDesc kTargets[] = {
    {"ps", 0xFFFF0000, 0, kFeatureNone},
    {"ps.1.0", 0xFFFF0100, 3, kFeatureNone},
    {"ps.1.1", 0xFFFF0101, 3, kFeatureNone},
    {"ps.1.2", 0xFFFF0102, 3, kFeatureNone},
    {"ps.1.3", 0xFFFF0103, 3, kFeatureNone},
    {"ps.1.4", 0xFFFF0104, 3, kFeatureNone},
    {"ps.2.0", 0xFFFF0200, 3, kFeatureNone},
    {"ps.2.sw", 0xFFFF02FF, 3, D | S | P | F},
    {"ps.2.x", 0xFFFF0201, 3, D | S | P | F},
    {"ps.3.0", 0xFFFF0300, 3, D | S | P | F},
    {"ps.3.sw", 0xFFFF03FF, 3, D | S | P | F},
    {"ps_1_0", 0xFFFF0100, 3, kFeatureNone},
    {"ps_1_1", 0xFFFF0101, 3, kFeatureNone},
    {"ps_1_2", 0xFFFF0102, 3, kFeatureNone},
    {"ps_1_3", 0xFFFF0103, 3, kFeatureNone},
    {"ps_1_4", 0xFFFF0104, 3, kFeatureNone},
    {"ps_2_0", 0xFFFF0200, 3, kFeatureNone},
    {"ps_2_a", 0xFFFF0201, 2, D | S | P | F},
    {"ps_2_b", 0xFFFF0201, 2, kFeatureNone},
    {"ps_2_sw", 0xFFFF02FF, 3, D | S | P | F},
    {"ps_2_x", 0xFFFF0201, 3, D | S | P | F},
    {"ps_3_0", 0xFFFF0300, 3, D | S | P | F},
    {"ps_3_sw", 0xFFFF03FF, 3, D | S | P | F},
    {"tx", 0x54580000, 0, kFeatureNone},
    {"tx_1_0", 0x54580100, 6, kFeatureNone},
    {"vs", 0xFFFE0000, 0, S},
    {"vs.1.0", 0xFFFE0100, 3, S},
    {"vs.1.1", 0xFFFE0101, 3, S},
    {"vs.2.0", 0xFFFE0200, 3, S | F},
    {"vs.2.sw", 0xFFFE02FF, 3, S | P | F},
    {"vs.2.x", 0xFFFE0201, 3, S | P | F},
    {"vs.3.0", 0xFFFE0300, 3, S | P | F},
    {"vs.3.sw", 0xFFFE03FF, 3, S | P | F},
    {"vs_1_0", 0xFFFE0100, 3, S},
    {"vs_1_1", 0xFFFE0101, 3, S},
    {"vs_2_0", 0xFFFE0200, 3, S | F},
    {"vs_2_a", 0xFFFE0201, 2, S | P | F},
    {"vs_2_sw", 0xFFFE02FF, 3, S | P | F},
    {"vs_2_x", 0xFFFE0201, 3, S | P | F},
    {"vs_3_0", 0xFFFE0300, 3, S | P | F},
    {"vs_3_sw", 0xFFFE03FF, 3, S | P | F},
};
static_assert(std::size(kTargets) == 41);

bool HasCaps(const TargetDesc& row, uint32_t required) { return (row.caps & required) == required; }

}  // namespace

HRESULT FindTargetByName(const char* name, uint32_t requiredCaps, TargetDesc* out) {
    if (!name) return D3DERR_INVALIDCALL;
    size_t low = 0, high = std::size(kTargets);
    while (low < high) {
        size_t mid = (low + high) / 2;
        int order = std::strcmp(name, kTargets[mid].name);
        if (order == 0) {
            if (!HasCaps(kTargets[mid], requiredCaps)) return E_FAIL;
            if (out) *out = kTargets[mid];
            return S_OK;
        }
        if (order < 0) high = mid;
        else low = mid + 1;
    }
    return E_FAIL;
}

HRESULT FindTargetByVersion(uint32_t version, uint32_t requiredCaps, TargetDesc* out) {
    for (size_t i = std::size(kTargets); i-- > 0;) {
        if (kTargets[i].version == version && HasCaps(kTargets[i], requiredCaps)) {
            if (out) *out = kTargets[i];
            return S_OK;
        }
    }
    return E_FAIL;
}

const TargetDesc* TargetTable(size_t* count) {
    if (count) *count = std::size(kTargets);
    return kTargets;
}

HRESULT TargetSlotLimits(uint32_t version, gfx::isa::SlotLimits* out) {
    gfx::isa::Profile profile;
    // vs_1_0 and ps_1_0 programs are written as vs_1_1 and ps_1_1.
    if ((version & 0xFFFEFFFF) == 0xFFFE0100) version |= 1;
    if (!gfx::isa::ProfileFromVersionToken(version, &profile)) return E_FAIL;
    if (out) *out = gfx::isa::GetSlotLimits(profile);
    return S_OK;
}
