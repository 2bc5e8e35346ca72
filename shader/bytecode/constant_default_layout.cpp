#include "shader/bytecode/constant_default_layout.h"

namespace {

// Walks a type in source order, handing each scalar to its register slot.
class DefaultLayout {
public:
    DefaultLayout(const std::vector<float>& scalars, std::vector<float>* registers)
        : scalars_(scalars), registers_(*registers) {}

    // Lays out every element of `type` from register `first`; returns the
    // register after them.
    uint64_t Place(const CtabType& type, uint64_t first) {
        for (uint32_t e = 0; e < type.elements && next_ < scalars_.size(); ++e) first = PlaceElement(type, first);
        return first;
    }

private:
    uint64_t PlaceElement(const CtabType& type, uint64_t first) {
        if (type.parameterClass == ParameterClass::Struct) {
            for (const CtabMember& member : type.members) first = Place(member.type, first);
            return first;
        }
        const bool byColumns = type.parameterClass == ParameterClass::MatrixColumns;
        // Registers one row (or one column) of the element takes.
        const uint32_t lineLength = byColumns ? type.rows : type.columns;
        const uint32_t perLine = (lineLength + 3) / 4;
        for (uint32_t row = 0; row < type.rows; ++row) {
            for (uint32_t column = 0; column < type.columns; ++column) {
                const uint32_t line = byColumns ? column : row;
                const uint32_t along = byColumns ? row : column;
                Put(first + uint64_t(line) * perLine + along / 4, along % 4);
            }
        }
        return first + uint64_t(byColumns ? type.columns : type.rows) * perLine;
    }

    void Put(uint64_t reg, uint32_t component) {
        const size_t index = next_++;
        if (index >= scalars_.size()) return;
        const uint64_t slot = reg * 4 + component;
        if (slot < registers_.size()) registers_[size_t(slot)] = scalars_[index];
    }

    const std::vector<float>& scalars_;
    std::vector<float>& registers_;
    size_t next_ = 0;
};

}  // namespace

std::vector<float> LayDefaultByRegister(const CtabType& type, const std::vector<float>& scalars,
                                        uint32_t registerCount) {
    std::vector<float> registers(size_t(registerCount) * 4, 0.0f);
    DefaultLayout(scalars, &registers).Place(type, 0);
    return registers;
}
