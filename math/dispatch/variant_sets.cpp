// Which variant each instruction family puts in which slot.
#include "math/dispatch/dispatch_table.h"
#include "math/x86/x86_ops.h"

namespace klmath {

std::span<const SlotEntry> X86Variants() {
    static const SlotEntry set[] = {
        Use<kSlotVec2Transform>(&x86::Vec2Transform),
        Use<kSlotVec3Transform>(&x86::Vec3Transform),
        Use<kSlotVec4Transform>(&x86::Vec4Transform),
        Use<kSlotMatrixMultiply>(&x86::MatrixMultiply),
        Use<kSlotMatrixMultiplyTranspose>(&x86::MatrixMultiplyTranspose),
        Use<kSlotVec2TransformNormal>(&x86::Vec2TransformNormal),
        Use<kSlotVec3TransformNormal>(&x86::Vec3TransformNormal),
        Use<kSlotVec3Normalize>(&x86::Vec3Normalize),
        Use<kSlotPlaneTransform>(&x86::PlaneTransform),
    };
    return set;
}

std::span<const SlotEntry> SseVariants() { return {}; }
std::span<const SlotEntry> Sse2Variants() { return {}; }
std::span<const SlotEntry> Sse3DNowArrays() { return {}; }
std::span<const SlotEntry> ThreeDNowVariants() { return {}; }
std::span<const SlotEntry> ThreeDNowExtVariants() { return {}; }

}  // namespace klmath
