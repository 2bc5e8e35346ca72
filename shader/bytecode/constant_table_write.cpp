// Writing values into shader constant registers through the constant table:
// the common write routine that converts the caller's data shape into the
// constant's register layout, LoadDefaults, and the device-facing writers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "shader/bytecode/constant_table_object.h"

namespace {

constexpr uint32_t kTypeVoid = 0, kTypeBool = 1, kTypeInt = 2, kTypeFloat = 3;

class DeviceSink final : public ShaderConstantSink {
public:
    explicit DeviceSink(IDirect3DDevice9* device) : device_(device) {}
    HRESULT SetFloat(bool pixel, UINT start, const float* data, UINT count) override {
        return pixel ? device_->SetPixelShaderConstantF(start, data, count)
                     : device_->SetVertexShaderConstantF(start, data, count);
    }
    HRESULT SetInt(bool pixel, UINT start, const int* data, UINT count) override {
        return pixel ? device_->SetPixelShaderConstantI(start, data, count)
                     : device_->SetVertexShaderConstantI(start, data, count);
    }
    HRESULT SetBool(bool pixel, UINT start, const BOOL* data, UINT count) override {
        return pixel ? device_->SetPixelShaderConstantB(start, data, count)
                     : device_->SetVertexShaderConstantB(start, data, count);
    }

private:
    IDirect3DDevice9* device_;
};

uint32_t Word(const void* data, size_t index) {
    uint32_t w;
    std::memcpy(&w, static_cast<const uint8_t*>(data) + index * 4, 4);
    return w;
}

float ToFloat(uint32_t word, uint32_t type) {
    switch (type) {
    case kTypeBool: return word ? 1.0f : 0.0f;
    case kTypeInt: return float(int32_t(word));
    case kTypeFloat: {
        float f;
        std::memcpy(&f, &word, 4);
        return f;
    }
    default: return 0.0f;
    }
}

int32_t ToInt(uint32_t word, uint32_t type) {
    switch (type) {
    case kTypeBool: return word ? 1 : 0;
    case kTypeInt: return int32_t(word);
    case kTypeFloat: {
        const float f = ToFloat(word, kTypeFloat);
        if (std::isnan(f)) return 0;
        return int32_t(std::clamp(f, -2147483648.0f, 2147483520.0f));
    }
    default: return 0;
    }
}

// Whether the table belongs to a pixel or a vertex program; other tables
// (effects) hold no registers to write.
HRESULT ProgramKind(ConstantTable* table, bool* pixel) {
    const HRESULT hr = table->CheckValid();
    if (FAILED(hr)) return hr;
    const uint32_t kind = table->Version() >> 16;
    if (kind != 0xFFFE && kind != 0xFFFF) return ERR_INVALID_DATA;
    *pixel = kind == 0xFFFF;
    return S_OK;
}

// Writes the value into the registers of one record of the constant.
HRESULT WriteRecord(ConstantTable* table, ShaderConstantSink& sink, const ResolvedConstant& c, const ValueShape& given,
                    const void* data, const void* const* elementPointers, bool pixel) {
    HRESULT hr = S_OK;
    const uint32_t k = c.type.parameterClass;
    uint32_t n = c.type.elements;
    const bool byColumns = k == uint32_t(ParameterClass::MatrixColumns);
    const uint32_t e = byColumns ? c.type.columns : c.type.rows;
    const uint32_t f = byColumns ? c.type.rows : c.type.columns;

    ValueShape s = given;
    if (s.type == kTypeVoid) {
        if (e * f == 0) return D3DERR_INVALIDCALL;
        const uint32_t words = s.rows * s.columns;
        s = {k, c.type.parameterType, e, f, words / (e * f)};
    }
    const uint16_t set = c.record.registerSet;
    bool colour = false;
    if (set == uint16_t(RegisterSet::Float4)) {
        if (k == uint32_t(ParameterClass::Vector) && e == 1 && f <= 4 && s.parameterClass == 0 && s.type == kTypeInt) {
            colour = true;
            s = {uint32_t(ParameterClass::Vector), kTypeFloat, 1, 4, s.elements};
        }
    } else if (set == uint16_t(RegisterSet::Int4) || set == uint16_t(RegisterSet::Bool)) {
        if ((table->Version() & 0xFFFF) < 0x200) return ERR_INVALID_DATA;
    } else {
        return ERR_INVALID_DATA;
    }
    n = std::min(n, s.elements);
    if (s.rows < e || s.columns < f) return D3DERR_INVALIDCALL;
    const bool transpose = (s.parameterClass == uint32_t(ParameterClass::MatrixColumns)) != byColumns;
    const uint32_t perRow = set == uint16_t(RegisterSet::Bool) ? f : (f + 3) / 4;
    const uint32_t total = std::min<uint32_t>(perRow * e * n, c.record.registerCount);
    const uint32_t first = c.record.registerIndex;
    const uint32_t elementWords = s.rows * s.columns;
    auto element = [&](uint32_t index) -> const void* {
        return elementPointers ? elementPointers[index]
                               : static_cast<const uint8_t*>(data) + size_t(index) * elementWords * 4;
    };
    auto word = [&](const void* base, uint32_t r, uint32_t comp) {
        return Word(base, transpose ? size_t(comp) * s.rows + r : size_t(s.columns) * r + comp);
    };
    if (total == 0) return S_OK;
    if (elementPointers) {
        for (uint32_t i = 0; i < n; ++i)
            if (!elementPointers[i]) return D3DERR_INVALIDCALL;
    }

    if (set == uint16_t(RegisterSet::Float4)) {
        if (colour) {
            std::vector<float> values(size_t(total) * 4);
            constexpr float kScale = 1.0f / 255.0f;
            for (uint32_t i = 0; i < total; ++i) {
                const uint32_t w = Word(element(0), i);
                values[i * 4 + 0] = float((w >> 16) & 0xFF) * kScale;
                values[i * 4 + 1] = float((w >> 8) & 0xFF) * kScale;
                values[i * 4 + 2] = float(w & 0xFF) * kScale;
                values[i * 4 + 3] = float(w >> 24) * kScale;
            }
            return sink.SetFloat(pixel, first, values.data(), total);
        }
        if (!elementPointers && s.rows == e && s.columns == f && f % 4 == 0 && !transpose && s.type == kTypeFloat)
            return sink.SetFloat(pixel, first, static_cast<const float*>(data), total);
    } else if (set == uint16_t(RegisterSet::Int4)) {
        if (!elementPointers && s.rows == e && s.columns == f && f % 4 == 0 && !transpose && s.type == kTypeInt)
            return sink.SetInt(pixel, first, static_cast<const int*>(data), total);
    } else if (!elementPointers && !transpose && s.rows == e && s.columns == f) {
        return sink.SetBool(pixel, first, static_cast<const BOOL*>(data), total);
    }

    uint32_t written = 0;
    for (uint32_t el = 0; el < n && written < total; ++el) {
        const void* base = element(el);
        for (uint32_t r = 0; r < e && written < total; ++r) {
            if (set == uint16_t(RegisterSet::Bool)) {
                for (uint32_t comp = 0; comp < f && written < total; ++comp) {
                    const BOOL value = BOOL(word(base, r, comp));
                    hr = sink.SetBool(pixel, first + written++, &value, 1);
                    if (FAILED(hr)) return hr;
                }
                continue;
            }
            for (uint32_t reg = 0; reg < perRow && written < total; ++reg) {
                float floats[4] = {0, 0, 0, 0};
                int ints[4] = {0, 0, 0, 0};
                for (uint32_t i = 0; i < 4; ++i) {
                    const uint32_t comp = reg * 4 + i;
                    if (comp >= f) break;
                    const uint32_t w = word(base, r, comp);
                    floats[i] = ToFloat(w, s.type);
                    ints[i] = ToInt(w, s.type);
                }
                hr = set == uint16_t(RegisterSet::Float4) ? sink.SetFloat(pixel, first + written, floats, 1)
                                                          : sink.SetInt(pixel, first + written, ints, 1);
                if (FAILED(hr)) return hr;
                ++written;
            }
        }
    }
    return S_OK;
}

}  // namespace

HRESULT WriteConstantValue(IKLConstantTable* tableInterface, ShaderConstantSink& sink, KLHANDLE constant,
                           const ValueShape& given, const void* data, const void* const* elementPointers) {
    if (!tableInterface || (!data && !elementPointers)) return D3DERR_INVALIDCALL;
    auto* table = static_cast<ConstantTable*>(tableInterface);
    bool pixel = false;
    HRESULT hr = ProgramKind(table, &pixel);
    if (FAILED(hr)) return hr;

    std::vector<ResolvedConstant> run;
    hr = table->ResolveRun(constant, &run);
    if (FAILED(hr)) return hr;
    // A variable in several register sets (an int that is both a loop count
    // and a value) gets the value in each.
    for (const ResolvedConstant& c : run) {
        hr = WriteRecord(table, sink, c, given, data, elementPointers, pixel);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT LoadConstantDefaults(IKLConstantTable* tableInterface, ShaderConstantSink& sink) {
    auto* table = static_cast<ConstantTable*>(tableInterface);
    bool pixel = false;
    HRESULT hr = ProgramKind(table, &pixel);
    if (FAILED(hr)) return hr;
    CtabHeader header;
    std::memcpy(&header, table->Bytes(), sizeof(header));
    if (uint64_t(header.constantsOffset) + uint64_t(header.constantCount) * sizeof(CtabConstantRecord) > table->Size())
        return ERR_INVALID_DATA;
    for (uint32_t i = 0; i < header.constantCount; ++i) {
        CtabConstantRecord record;
        hr = table->ReadRecord(i, &record);
        if (FAILED(hr)) return hr;
        if (!record.defaultValueOffset) continue;
        // The default holds four words per register.
        if (uint64_t(record.defaultValueOffset) + uint64_t(record.registerCount) * 16 > table->Size())
            return ERR_INVALID_DATA;
        std::vector<uint32_t> words(size_t(record.registerCount) * 4);
        if (!words.empty()) std::memcpy(words.data(), table->Bytes() + record.defaultValueOffset, words.size() * 4);
        switch (record.registerSet) {
        case uint16_t(RegisterSet::Float4):
            hr = sink.SetFloat(pixel, record.registerIndex, reinterpret_cast<const float*>(words.data()),
                               record.registerCount);
            break;
        case uint16_t(RegisterSet::Int4):
        case uint16_t(RegisterSet::Bool): {
            // Defaults are stored as floats whatever the register set.
            if ((table->Version() & 0xFFFF) < 0x200) return ERR_INVALID_DATA;
            std::vector<int> ints(words.size());
            for (size_t w = 0; w < words.size(); ++w) ints[w] = ToInt(words[w], kTypeFloat);
            if (record.registerSet == uint16_t(RegisterSet::Int4)) {
                hr = sink.SetInt(pixel, record.registerIndex, ints.data(), record.registerCount);
            } else {
                // One bool per register: the first float of each group of four.
                std::vector<BOOL> bools(record.registerCount);
                for (size_t r = 0; r < bools.size(); ++r) bools[r] = ints[r * 4] != 0;
                hr = sink.SetBool(pixel, record.registerIndex, bools.data(), record.registerCount);
            }
            break;
        }
        default:
            return ERR_INVALID_DATA;
        }
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT ConstantTable::Write(IDirect3DDevice9* device, KLHANDLE constant, const ValueShape& shape, const void* data,
                             const void* const* pointers) {
    if (!device) return D3DERR_INVALIDCALL;
    DeviceSink sink(device);
    return WriteConstantValue(this, sink, constant, shape, data, pointers);
}

HRESULT ConstantTable::LoadDefaults(IDirect3DDevice9* device) {
    if (!device) return D3DERR_INVALIDCALL;
    DeviceSink sink(device);
    return LoadConstantDefaults(this, sink);
}

HRESULT ConstantTable::WriteValue(IDirect3DDevice9* d, KLHANDLE h, LPCVOID data, UINT bytes) {
    return Write(d, h, {5, kTypeVoid, 1, bytes / 4, 1}, data);
}
HRESULT ConstantTable::WriteBool(IDirect3DDevice9* d, KLHANDLE h, BOOL value) {
    return Write(d, h, {0, kTypeBool, 1, 1, 1}, &value);
}
HRESULT ConstantTable::WriteBoolArray(IDirect3DDevice9* d, KLHANDLE h, const BOOL* values, UINT count) {
    return Write(d, h, {0, kTypeBool, 1, 1, count}, values);
}
HRESULT ConstantTable::WriteInt(IDirect3DDevice9* d, KLHANDLE h, INT value) {
    return Write(d, h, {0, kTypeInt, 1, 1, 1}, &value);
}
HRESULT ConstantTable::WriteIntArray(IDirect3DDevice9* d, KLHANDLE h, const INT* values, UINT count) {
    return Write(d, h, {0, kTypeInt, 1, 1, count}, values);
}
HRESULT ConstantTable::WriteFloat(IDirect3DDevice9* d, KLHANDLE h, FLOAT value) {
    return Write(d, h, {0, kTypeFloat, 1, 1, 1}, &value);
}
HRESULT ConstantTable::WriteFloatArray(IDirect3DDevice9* d, KLHANDLE h, const FLOAT* values, UINT count) {
    return Write(d, h, {0, kTypeFloat, 1, 1, count}, values);
}
HRESULT ConstantTable::WriteVector(IDirect3DDevice9* d, KLHANDLE h, const KLVECTOR4* v) {
    return Write(d, h, {1, kTypeFloat, 1, 4, 1}, v);
}
HRESULT ConstantTable::WriteVectorArray(IDirect3DDevice9* d, KLHANDLE h, const KLVECTOR4* v, UINT count) {
    return Write(d, h, {1, kTypeFloat, 1, 4, count}, v);
}
HRESULT ConstantTable::WriteMatrix(IDirect3DDevice9* d, KLHANDLE h, const KLMATRIX* m) {
    return Write(d, h, {2, kTypeFloat, 4, 4, 1}, m);
}
HRESULT ConstantTable::WriteMatrixArray(IDirect3DDevice9* d, KLHANDLE h, const KLMATRIX* m, UINT count) {
    return Write(d, h, {2, kTypeFloat, 4, 4, count}, m);
}
HRESULT ConstantTable::WriteMatrixPointerArray(IDirect3DDevice9* d, KLHANDLE h, const KLMATRIX** m, UINT count) {
    if (!m) return D3DERR_INVALIDCALL;
    return Write(d, h, {2, kTypeFloat, 4, 4, count}, nullptr, reinterpret_cast<const void* const*>(m));
}
HRESULT ConstantTable::WriteMatrixTransposed(IDirect3DDevice9* d, KLHANDLE h, const KLMATRIX* m) {
    return Write(d, h, {3, kTypeFloat, 4, 4, 1}, m);
}
HRESULT ConstantTable::WriteMatrixTransposedArray(IDirect3DDevice9* d, KLHANDLE h, const KLMATRIX* m, UINT count) {
    return Write(d, h, {3, kTypeFloat, 4, 4, count}, m);
}
HRESULT ConstantTable::WriteMatrixTransposedPointerArray(IDirect3DDevice9* d, KLHANDLE h, const KLMATRIX** m,
                                                         UINT count) {
    if (!m) return D3DERR_INVALIDCALL;
    return Write(d, h, {3, kTypeFloat, 4, 4, count}, nullptr, reinterpret_cast<const void* const*>(m));
}
