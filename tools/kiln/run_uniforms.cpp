#include "run_uniforms.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "run_inputs.h"
#include "shader/bytecode/constant_table_layout.h"

namespace {

std::string At(const std::string& file, const json::Value& v) {
    return file + ":" + std::to_string(v.line) + ":" + std::to_string(v.column) + ": ";
}

// Register limits of the device's constant banks.
int FloatRegisters(bool pixel) {
    return pixel ? gfx::ShaderConstants::kPixelFloatCount : gfx::ShaderConstants::kVertexFloatCount;
}

class ConstantsSink final : public ShaderConstantSink {
public:
    explicit ConstantsSink(gfx::ShaderConstants* c) : c_(c) {}
    HRESULT SetFloat(bool pixel, UINT start, const float* data, UINT count) override {
        if (uint64_t(start) + count > uint64_t(FloatRegisters(pixel))) return D3DERR_INVALIDCALL;
        std::memcpy(c_->f[start], data, size_t(count) * 16);
        return S_OK;
    }
    HRESULT SetInt(bool, UINT start, const int* data, UINT count) override {
        if (uint64_t(start) + count > gfx::ShaderConstants::kIntCount) return D3DERR_INVALIDCALL;
        std::memcpy(c_->i[start], data, size_t(count) * 16);
        return S_OK;
    }
    HRESULT SetBool(bool, UINT start, const BOOL* data, UINT count) override {
        if (uint64_t(start) + count > gfx::ShaderConstants::kBoolCount) return D3DERR_INVALIDCALL;
        std::memcpy(&c_->b[start], data, size_t(count) * sizeof(BOOL));
        return S_OK;
    }

private:
    gfx::ShaderConstants* c_;
};

// Flattens a number, a boolean or (nested) arrays of them into scalars.
bool Flatten(const json::Value& v, std::vector<float>* out, int depth = 0) {
    if (v.IsArray()) {
        if (depth > 3) return false;
        for (size_t i = 0; i < v.Size(); ++i)
            if (!Flatten(v.Item(i), out, depth + 1)) return false;
        return true;
    }
    float f;
    if (!ToFloat(v, &f)) return false;
    out->push_back(f);
    return true;
}

// Parses "c12", "i3", "b0" into a bank letter and a register number.
bool ParseRegister(const std::string& name, char* bank, int* index) {
    if (name.size() < 2 || name.size() > 4 || (name[0] != 'c' && name[0] != 'i' && name[0] != 'b')) return false;
    int v = 0;
    for (size_t i = 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        v = v * 10 + (name[i] - '0');
    }
    *bank = name[0];
    *index = v;
    return true;
}

int32_t ToInt(float f) {
    if (std::isnan(f)) return 0;
    return int32_t(std::fmax(-2147483648.0f, std::fmin(f, 2147483520.0f)));
}

std::string WriteRegisters(char bank, int first, const std::vector<float>& values, bool pixel,
                           gfx::ShaderConstants* c) {
    if (bank == 'b') {
        if (first + values.size() > size_t(gfx::ShaderConstants::kBoolCount))
            return "bool registers end at b" + std::to_string(gfx::ShaderConstants::kBoolCount - 1);
        for (size_t k = 0; k < values.size(); ++k) c->b[first + k] = values[k] != 0.0f;
        return "";
    }
    const size_t registers = (values.size() + 3) / 4;
    const int limit = bank == 'c' ? FloatRegisters(pixel) : gfx::ShaderConstants::kIntCount;
    if (first + registers > size_t(limit))
        return std::string(1, bank) + " registers end at " + bank + std::to_string(limit - 1);
    for (size_t r = 0; r < registers; ++r) {
        for (size_t k = 0; k < 4; ++k) {
            const size_t at = r * 4 + k;
            const float v = at < values.size() ? values[at] : 0.0f;
            if (bank == 'c')
                c->f[first + r][k] = v;
            else
                c->i[first + r][k] = ToInt(v);
        }
    }
    return "";
}

// Places `values` (row by row, element after element) into the registers of
// a described constant.
std::string WriteConstant(const KLCONSTANT_DESC& d, const std::vector<float>& values, bool pixel,
                          gfx::ShaderConstants* c) {
    const UINT rows = d.Rows, cols = d.Columns, elements = d.Elements ? d.Elements : 1;
    const bool byColumns = d.Class == UINT(ParameterClass::MatrixColumns);
    if (d.RegisterSet == UINT(RegisterSet::Bool)) {
        for (size_t k = 0; k < values.size() && k < d.RegisterCount; ++k) {
            if (d.RegisterIndex + k >= size_t(gfx::ShaderConstants::kBoolCount)) break;
            c->b[d.RegisterIndex + k] = values[k] != 0.0f;
        }
        return "";
    }
    const bool ints = d.RegisterSet == UINT(RegisterSet::Int4);
    const int limit = ints ? gfx::ShaderConstants::kIntCount : FloatRegisters(pixel);
    // Each register holds one row (or, packed by columns, one column).
    const UINT perElement = byColumns ? cols : rows;
    for (UINT e = 0; e < elements; ++e) {
        for (UINT r = 0; r < perElement; ++r) {
            const UINT reg = e * perElement + r;
            if (reg >= d.RegisterCount) return "";
            const UINT index = d.RegisterIndex + reg;
            if (index >= UINT(limit)) return "register " + std::to_string(index) + " is out of range";
            const UINT lanes = byColumns ? rows : cols;
            for (UINT k = 0; k < 4; ++k) {
                float v = 0.0f;
                if (k < lanes) {
                    const UINT row = byColumns ? k : r, col = byColumns ? r : k;
                    v = values[size_t(e) * rows * cols + size_t(row) * cols + col];
                }
                if (ints)
                    c->i[index][k] = ToInt(v);
                else
                    c->f[index][k] = v;
            }
        }
    }
    return "";
}

}  // namespace

void LoadUniformDefaults(IKLConstantTable* table, gfx::ShaderConstants* constants) {
    ConstantsSink sink(constants);
    LoadConstantDefaults(table, sink);
}

void ReadUniforms(const json::Value& doc, const std::string& file, IKLConstantTable* table, bool pixel,
                  gfx::ShaderConstants* constants, std::vector<std::string>* errors) {
    if (!doc.IsObject()) {
        errors->push_back(At(file, doc) + "the uniforms file must hold an object {\"name\": [values]}");
        return;
    }
    for (size_t m = 0; m < doc.Size(); ++m) {
        const std::string name(doc.Key(m));
        const json::Value& value = doc.Item(m);
        std::vector<float> values;
        if (!Flatten(value, &values)) {
            errors->push_back(At(file, value) + "\"" + name +
                              "\": expected numbers (or arrays of them) that fit in a 32-bit float");
            continue;
        }
        KLHANDLE handle = table ? table->ConstantByName(nullptr, name.c_str()) : nullptr;
        if (!handle) {
            char bank;
            int first;
            if (!ParseRegister(name, &bank, &first)) {
                errors->push_back(At(file, value) + "unknown uniform \"" + name + "\"");
                continue;
            }
            std::string problem = WriteRegisters(bank, first, values, pixel, constants);
            if (!problem.empty()) errors->push_back(At(file, value) + "\"" + name + "\": " + problem);
            continue;
        }
        // A variable in several register sets has a record per set (at most
        // bool, int and float).
        KLCONSTANT_DESC records[3]{};
        UINT count = 3;
        const KLCONSTANT_DESC& desc = records[0];
        if (FAILED(table->DescribeConstant(handle, records, &count)) || count == 0) {
            errors->push_back(At(file, value) + "cannot describe uniform \"" + name + "\"");
            continue;
        }
        if (desc.RegisterSet == UINT(RegisterSet::Sampler)) {
            errors->push_back(At(file, value) + "\"" + name + "\" is a sampler; bind a texture with --texture " + name +
                              "=IMAGE");
            continue;
        }
        if (desc.Class == UINT(ParameterClass::Struct) || desc.Class == UINT(ParameterClass::Object)) {
            errors->push_back(At(file, value) + "\"" + name + "\" is a structure; give its members as \"" + name +
                              ".member\"");
            continue;
        }
        const size_t expected = size_t(desc.Rows) * desc.Columns * (desc.Elements ? desc.Elements : 1);
        if (values.size() != expected) {
            errors->push_back(At(file, value) + "\"" + name + "\" takes " + std::to_string(expected) + " values (" +
                              std::to_string(desc.Rows) + "x" + std::to_string(desc.Columns) +
                              (desc.Elements > 1 ? " x " + std::to_string(desc.Elements) + " elements" : "") +
                              "), got " + std::to_string(values.size()));
            continue;
        }
        for (UINT r = 0; r < std::min<UINT>(count, 3); ++r) {
            std::string problem = WriteConstant(records[r], values, pixel, constants);
            if (!problem.empty()) errors->push_back(At(file, value) + "\"" + name + "\": " + problem);
        }
    }
}

int SamplerRegister(IKLConstantTable* table, const std::string& name) {
    if (name.size() >= 2 && name.size() <= 3 && name[0] == 's') {
        int v = 0;
        bool digits = true;
        for (size_t i = 1; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9') digits = false;
            v = v * 10 + (name[i] - '0');
        }
        if (digits) return v < gfx::kMaxSamplers ? v : -1;
    }
    if (!table) return -1;
    KLHANDLE handle = table->ConstantByName(nullptr, name.c_str());
    KLCONSTANT_DESC desc{};
    UINT count = 1;
    if (!handle || FAILED(table->DescribeConstant(handle, &desc, &count)) || count == 0 ||
        desc.RegisterSet != UINT(RegisterSet::Sampler))
        return -1;
    return int(desc.RegisterIndex);
}
