#include "shader/bytecode/comment_block_builder.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

uint64_t HashBytes(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint64_t h = 0xCBF29CE484222325ull ^ size;
    for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 0x100000001B3ull;
    return h;
}

}  // namespace

CommentBlockBuilder::CommentBlockBuilder(uint32_t tag) : tag_(tag) {}

CommentBlockBuilder::~CommentBlockBuilder() {
    for (const Chunk& chunk : chunks_)
        if (chunk.owned) std::free(const_cast<uint8_t*>(chunk.data));
}

HRESULT CommentBlockBuilder::Add(const void* data, ptrdiff_t size, uint32_t flags, uint32_t* offset) {
    const bool reference = (flags & kChunkReference) != 0;
    const bool ownsCaller = reference && (flags & kChunkTakeOwnership) != 0;
    auto release = [&] {
        if (ownsCaller) std::free(const_cast<void*>(data));
    };
    if (data == nullptr && size != 0) {
        release();
        return E_FAIL;
    }
    size_t bytes = size < 0 ? std::strlen(static_cast<const char*>(data)) + 1 : size_t(size);
    if (bytes > kMaxCommentBlockTokens * 4u) {
        release();
        return E_OUTOFMEMORY;
    }
    // Copies are always shareable; references only on request.
    bool shared = (flags & kChunkShared) != 0 || !reference;
    const uint64_t hash = shared ? HashBytes(data, bytes) : 0;
    if (shared) {
        auto [first, last] = shared_.equal_range(hash);
        for (auto it = first; it != last; ++it) {
            const Chunk& chunk = chunks_[it->second];
            if (chunk.size == bytes && (bytes == 0 || std::memcmp(chunk.data, data, bytes) == 0)) {
                release();
                if (offset) *offset = chunk.offset;
                return S_OK;
            }
        }
    }
    uint32_t start = dataBytes_;
    if (!(flags & kChunkUnaligned)) start = (start + 3u) & ~3u;

    Chunk chunk{static_cast<const uint8_t*>(data), uint32_t(bytes), start, shared, ownsCaller};
    if (!reference) {
        void* copy = std::malloc(bytes ? bytes : 1);
        if (!copy) return E_OUTOFMEMORY;
        if (bytes) std::memcpy(copy, data, bytes);
        chunk.data = static_cast<const uint8_t*>(copy);
        chunk.owned = true;
    }
    try {
        chunks_.push_back(chunk);
        if (shared) shared_.emplace(hash, chunks_.size() - 1);
    } catch (const std::bad_alloc&) {
        if (chunk.owned) std::free(const_cast<uint8_t*>(chunk.data));
        return E_OUTOFMEMORY;
    }
    dataBytes_ = start + uint32_t(bytes);
    if (offset) *offset = start;
    return S_OK;
}

uint32_t CommentBlockBuilder::Size() const { return (dataBytes_ + 3u) / 4u + 2u; }

HRESULT CommentBlockBuilder::Write(uint32_t* destination, uint32_t tokenCount) const {
    const uint32_t size = Size();
    if (!destination || tokenCount < size || size > kMaxCommentBlockTokens) return E_FAIL;
    destination[0] = 0xFFFEu | ((size - 1u) << 16);
    destination[1] = tag_;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(destination + 2);
    std::memset(bytes, kCommentFillByte, size_t(size - 2) * 4u);
    for (const Chunk& chunk : chunks_)
        if (chunk.size) std::memcpy(bytes + chunk.offset, chunk.data, chunk.size);
    return S_OK;
}
