#include "shader/bytecode/bytecode_reader.h"

#include <cstring>
#include <new>

#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table_layout.h"
#include "shader/bytecode/instruction_walker.h"

namespace {

// Token view of the caller's bytes; copies them when they are not aligned, so
// no read ever goes through a misaligned pointer.
class TokenView {
public:
    TokenView(const void* bytes, size_t byteSize) : base_(static_cast<const uint8_t*>(bytes)), count_(byteSize / 4) {
        if (reinterpret_cast<uintptr_t>(bytes) % alignof(uint32_t) == 0) {
            tokens_ = static_cast<const uint32_t*>(bytes);
        } else {
            copy_.resize(count_);
            if (count_) std::memcpy(copy_.data(), bytes, count_ * 4);
            tokens_ = copy_.data();
        }
    }
    const uint32_t* tokens() const { return tokens_; }
    size_t count() const { return count_; }
    // Address in the caller's bytes of token `index`.
    const uint8_t* original(size_t index) const { return base_ + index * 4; }

private:
    const uint8_t* base_;
    size_t count_;
    const uint32_t* tokens_ = nullptr;
    std::vector<uint32_t> copy_;
};

using namespace gfx::isa;


uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t ReadU16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

bool IsPs1TextureOpcode(uint32_t opcode) {
    return (opcode >= 64 && opcode <= 74) || opcode == 76 || opcode == 77 || (opcode >= 82 && opcode <= 87);
}

// Walks every instruction, handing it to `visit`; ERR_INVALID_DATA when the
// program is cut short.
template <typename Visit>
HRESULT WalkProgram(const TokenView& view, Visit visit) {
    InstructionWalker walker(view.tokens(), view.count());
    WalkedInstruction w;
    for (;;) {
        switch (walker.Next(&w)) {
        case WalkStatus::End:
            return S_OK;
        case WalkStatus::Truncated:
        case WalkStatus::BadToken:
            return ERR_INVALID_DATA;
        case WalkStatus::Ok:
            if (!w.comment) {
                HRESULT hr = visit(w);
                if (hr != S_OK) return hr;
            }
            break;
        }
    }
}

void Emit(std::vector<ShaderSemantic>* out, uint32_t* count, uint32_t usage, uint32_t index) {
    if (out) out->push_back({usage, index});
    ++*count;
}

HRESULT CopyBlock(const void* bytecode, size_t byteSize, uint32_t tag, std::vector<uint8_t>* out,
                  const std::vector<uint8_t>& fallback) {
    if (!bytecode || !out) return D3DERR_INVALIDCALL;
    const void* data = nullptr;
    uint32_t size = 0;
    HRESULT hr = FindCommentBlock(bytecode, byteSize, tag, &data, &size);
    if (FAILED(hr)) return hr;
    try {
        if (hr == S_OK) {
            const uint8_t* bytes = static_cast<const uint8_t*>(data);
            out->assign(bytes, bytes + size);
        } else {
            *out = fallback;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace

HRESULT FindCommentBlock(const void* bytecode, size_t byteSize, uint32_t tag, const void** data, uint32_t* size) {
    if (data) *data = nullptr;
    if (size) *size = 0;
    if (!bytecode || !data || !size) return D3DERR_INVALIDCALL;
    TokenView view(bytecode, byteSize);
    if (view.count() == 0 || !IsKnownVersionKind(view.tokens()[0] >> 16)) return ERR_INVALID_DATA;
    InstructionWalker walker(view.tokens(), view.count());
    WalkedInstruction w;
    for (;;) {
        switch (walker.Next(&w)) {
        case WalkStatus::End:
            return S_FALSE;
        case WalkStatus::Truncated:
            return ERR_INVALID_DATA;
        case WalkStatus::BadToken:
            walker.SkipToken();
            break;
        case WalkStatus::Ok:
            if (w.comment && w.paramCount > 1 && w.params[0] == tag) {
                *data = view.original(w.index + 2);
                *size = uint32_t(w.paramCount * 4 - 4);
                return S_OK;
            }
            break;
        }
    }
}

HRESULT ListSamplerNames(const void* bytecode, size_t byteSize, std::vector<const char*>* names) {
    if (!bytecode || !names) return D3DERR_INVALIDCALL;
    names->clear();
    if (byteSize < 4) return ERR_INVALID_DATA;
    const uint32_t version = ReadU32(static_cast<const uint8_t*>(bytecode));
    if ((version >> 16) != kVersionKindPixel) return IsKnownVersionKind(version >> 16) ? S_OK : ERR_INVALID_DATA;
    const void* data = nullptr;
    uint32_t size = 0;
    HRESULT hr = FindCommentBlock(bytecode, byteSize, kTagConstantTable, &data, &size);
    if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
    const uint8_t* table = static_cast<const uint8_t*>(data);
    if (size < sizeof(CtabHeader)) return ERR_INVALID_DATA;
    const uint32_t constants = ReadU32(table + offsetof(CtabHeader, constantCount));
    const uint32_t recordsAt = ReadU32(table + offsetof(CtabHeader, constantsOffset));
    if (uint64_t(constants) * sizeof(CtabConstantRecord) + sizeof(CtabHeader) > size) return ERR_INVALID_DATA;
    if (constants && uint64_t(recordsAt) + uint64_t(constants) * sizeof(CtabConstantRecord) > size)
        return ERR_INVALID_DATA;
    for (uint32_t i = 0; i < constants; ++i) {
        const uint8_t* record = table + recordsAt + size_t(i) * sizeof(CtabConstantRecord);
        if (ReadU16(record + offsetof(CtabConstantRecord, registerSet)) != uint16_t(RegisterSet::Sampler)) continue;
        const uint32_t nameAt = ReadU32(record + offsetof(CtabConstantRecord, nameOffset));
        if (nameAt >= size || names->size() == 16) return ERR_INVALID_DATA;
        // The name must end inside the block.
        if (!std::memchr(table + nameAt, 0, size - nameAt)) return ERR_INVALID_DATA;
        names->push_back(reinterpret_cast<const char*>(table + nameAt));
    }
    return S_OK;
}

HRESULT ListInputSemantics(const void* bytecode, size_t byteSize, std::vector<ShaderSemantic>* semantics,
                           uint32_t* count) {
    if (!bytecode || !count) return D3DERR_INVALIDCALL;
    if (semantics) semantics->clear();
    TokenView view(bytecode, byteSize);
    if (view.count() == 0) return ERR_INVALID_DATA;
    const uint32_t version = view.tokens()[0];
    const uint32_t kind = version >> 16, minor = version & 0xFFFF;
    if (kind == kVersionKindEffect) return S_OK;
    if (kind != kVersionKindVertex && kind != kVersionKindPixel) return ERR_INVALID_DATA;
    *count = 0;

    if (kind == kVersionKindVertex || minor >= 0x0300) {
        return WalkProgram(view, [&](const WalkedInstruction& w) -> HRESULT {
            if ((w.token & 0xFFFF) == OP_DCL && w.paramCount >= 2 && RegisterTypeOf(w.params[1]) == REG_INPUT)
                Emit(semantics, count, w.params[0] & 0xFFFF, (w.params[0] >> 16) & 0x7FFF);
            return S_OK;
        });
    }
    if (minor >= 0x0200) {
        return WalkProgram(view, [&](const WalkedInstruction& w) -> HRESULT {
            if ((w.token & 0xFFFF) != OP_DCL || w.paramCount < 2) return S_OK;
            const uint32_t type = RegisterTypeOf(w.params[1]), number = RegisterNumberOf(w.params[1]);
            if (type == REG_INPUT && number <= 1) Emit(semantics, count, 10, number);
            else if (type == REG_TEXTURE) Emit(semantics, count, 5, number);
            else if (type != REG_SAMPLER) return E_FAIL;
            return S_OK;
        });
    }
    // ps_1_x: note every colour input and texture register in use.
    uint32_t textures = 0;
    bool colour[2] = {false, false};
    HRESULT hr = WalkProgram(view, [&](const WalkedInstruction& w) -> HRESULT {
        const uint32_t opcode = w.token & 0xFFFF;
        if (opcode == OP_DEF) return S_OK;
        for (size_t i = 0; i < w.paramCount; ++i) {
            const uint32_t type = RegisterTypeOf(w.params[i]), number = RegisterNumberOf(w.params[i]);
            if (type == REG_INPUT && number <= 1) colour[number] = true;
            bool textureUse = minor >= 0x0104 || (i == 0 && IsPs1TextureOpcode(opcode));
            if (type == REG_TEXTURE && number < 8 && textureUse) textures |= 1u << number;
        }
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    for (uint32_t n = 0; n < 8; ++n)
        if (textures & (1u << n)) Emit(semantics, count, 5, n);
    if (colour[0]) Emit(semantics, count, 10, 0);
    if (colour[1]) Emit(semantics, count, 10, 1);
    return S_OK;
}

HRESULT ListOutputSemantics(const void* bytecode, size_t byteSize, std::vector<ShaderSemantic>* semantics,
                            uint32_t* count) {
    if (!bytecode || !count) return D3DERR_INVALIDCALL;
    if (semantics) semantics->clear();
    TokenView view(bytecode, byteSize);
    if (view.count() == 0) return ERR_INVALID_DATA;
    const uint32_t version = view.tokens()[0];
    const uint32_t kind = version >> 16, minor = version & 0xFFFF;
    if (kind == kVersionKindEffect) return S_OK;
    if (kind != kVersionKindVertex && kind != kVersionKindPixel) return ERR_INVALID_DATA;
    *count = 0;

    if (kind == kVersionKindVertex && minor >= 0x0300) {
        return WalkProgram(view, [&](const WalkedInstruction& w) -> HRESULT {
            if ((w.token & 0xFFFF) == OP_DCL && w.paramCount >= 2 && RegisterTypeOf(w.params[1]) == REG_OUTPUT)
                Emit(semantics, count, w.params[0] & 0xFFFF, (w.params[0] >> 16) & 0x7FFF);
            return S_OK;
        });
    }
    if (kind == kVersionKindPixel && minor < 0x0200) {
        Emit(semantics, count, 10, 0);
        return S_OK;
    }
    // Registers written: the first parameter of every instruction but dcl and def.
    uint32_t texcoords = 0, colours = 0, raster = 0, depth = 0;
    HRESULT hr = WalkProgram(view, [&](const WalkedInstruction& w) -> HRESULT {
        const uint32_t opcode = w.token & 0xFFFF;
        if (opcode == OP_DCL || opcode == OP_DEF || w.paramCount == 0) return S_OK;
        const uint32_t type = RegisterTypeOf(w.params[0]), number = RegisterNumberOf(w.params[0]);
        if (kind == kVersionKindVertex) {
            if (type == REG_OUTPUT && number < 8) texcoords |= 1u << number;
            if (type == REG_ATTROUT && number < 2) colours |= 1u << number;
            if (type == REG_RASTOUT && number < 3) raster |= 1u << number;
        } else {
            if (type == REG_COLOROUT && number < 16) colours |= 1u << number;
            if (type == REG_DEPTHOUT && number < 16) depth |= 1u << number;
        }
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    if (kind == kVersionKindVertex) {
        for (uint32_t n = 0; n < 8; ++n)
            if (texcoords & (1u << n)) Emit(semantics, count, 5, n);
        for (uint32_t n = 0; n < 2; ++n)
            if (colours & (1u << n)) Emit(semantics, count, 10, n);
        if (raster & 1) Emit(semantics, count, 0, 0);
        if (raster & 2) Emit(semantics, count, 11, 0);
        if (raster & 4) Emit(semantics, count, 4, 0);
    } else {
        for (uint32_t n = 0; n < 16; ++n)
            if (colours & (1u << n)) Emit(semantics, count, 10, n);
        for (uint32_t n = 0; n < 16; ++n)
            if (depth & (1u << n)) Emit(semantics, count, 12, n);
    }
    return S_OK;
}

HRESULT ExtractConstantTableBytes(const void* bytecode, size_t byteSize, std::vector<uint8_t>* table) {
    if (!bytecode || !table) return D3DERR_INVALIDCALL;
    std::vector<uint8_t> empty(sizeof(CtabHeader), 0);
    if (byteSize >= 4) {
        CtabHeader header{};
        header.size = sizeof(CtabHeader);
        header.version = ReadU32(static_cast<const uint8_t*>(bytecode));
        std::memcpy(empty.data(), &header, sizeof(header));
    }
    return CopyBlock(bytecode, byteSize, kTagConstantTable, table, empty);
}

HRESULT ExtractDebugInfoBytes(const void* bytecode, size_t byteSize, std::vector<uint8_t>* info) {
    std::vector<uint8_t> empty(sizeof(DbugHeader), 0);
    empty[0] = sizeof(DbugHeader);
    return CopyBlock(bytecode, byteSize, kTagDebugInfo, info, empty);
}
