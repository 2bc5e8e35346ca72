#include "shader/frontend/lowering/register_layout.h"

namespace hlsl::lowering {
namespace {

// Sizes saturate so a malformed type cannot overflow the walk.
constexpr uint32_t kMaxRegisters = 1u << 24;

uint32_t Lay(const Type* t, uint32_t packing, uint32_t first, std::vector<RegisterPlace>* places) {
    if (!t) return 0;
    switch (t->kind) {
        case Type::kArray: {
            uint32_t regs = 0;
            for (uint32_t i = 0; i < t->count && regs < kMaxRegisters; ++i)
                regs += Lay(t->element, packing, first + regs, places);
            return regs;
        }
        case Type::kStruct: {
            uint32_t regs = 0;
            for (const VarDecl* m : t->structure->members) {
                if (regs >= kMaxRegisters) break;
                regs += Lay(m->type, m->packing, first + regs, places);
            }
            return regs;
        }
        case Type::kBase:
            break;
    }
    if (t->cls != kMatrix) {
        if (places)
            for (uint32_t c = 0; c < t->cols; ++c) places->push_back({first, c});
        return 1;
    }
    const bool rowMajor = (packing & kRowMajor) != 0;
    if (places)
        for (uint32_t r = 0; r < t->rows; ++r)
            for (uint32_t c = 0; c < t->cols; ++c)
                places->push_back(rowMajor ? RegisterPlace{first + r, c} : RegisterPlace{first + c, r});
    return rowMajor ? t->rows : t->cols;
}

}  // namespace

uint32_t LayOutRegisters(const Type* type, uint32_t packing, uint32_t firstRegister,
                         std::vector<RegisterPlace>* places) {
    return Lay(type, packing, firstRegister, places);
}

uint32_t RegisterCount(const Type* type, uint32_t packing) { return Lay(type, packing, 0, nullptr); }

bool ContainsObject(const Type* t) {
    if (!t) return false;
    if (t->kind == Type::kArray) return ContainsObject(t->element);
    if (t->kind == Type::kStruct) {
        for (const VarDecl* m : t->structure->members)
            if (ContainsObject(m->type)) return true;
        return false;
    }
    return t->cls == kObject;
}

}  // namespace hlsl::lowering
