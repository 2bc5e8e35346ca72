// Which variant each instruction family puts in which slot.
#include "math/dispatch/dispatch_table.h"
#include "math/sse/sse_slots.h"
#include "math/x86/x86_ops.h"

#include <vector>

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

namespace {

std::vector<SlotEntry> Gather(simd::Family family) {
    std::vector<SlotEntry> all;
    for (auto part : {simd::VectorSlots, simd::MatrixSlots, simd::QuaternionSlots, simd::PlaneSlots,
                      simd::ArraySlots, simd::HalfSlots}) {
        std::span<const SlotEntry> s = part(family);
        all.insert(all.end(), s.begin(), s.end());
    }
    return all;
}

}  // namespace

std::span<const SlotEntry> SseVariants() {
    static const std::vector<SlotEntry> set = Gather(simd::Family::Sse);
    return set;
}

std::span<const SlotEntry> Sse2Variants() {
    static const std::vector<SlotEntry> set = Gather(simd::Family::Sse2);
    return set;
}

// The array transforms of the 3DNow! path on processors that also have SSE.
std::span<const SlotEntry> Sse3DNowArrays() {
    static const std::vector<SlotEntry> set = [] {
        std::vector<SlotEntry> arrays;
        for (const SlotEntry& e : simd::ArraySlots(simd::Family::Sse))
            if (e.slot != kSlotVec3BlendArray) arrays.push_back(e);
        return arrays;
    }();
    return set;
}
std::span<const SlotEntry> ThreeDNowVariants() { return {}; }
std::span<const SlotEntry> ThreeDNowExtVariants() { return {}; }

}  // namespace klmath
