// Builds one comment block of shader bytecode: the comment token, a
// four-character tag and a list of data chunks. Chunks are placed in the order
// they are added; every offset handed back counts in bytes from the start of the
// data (the byte after the tag), which is how the blocks refer to their parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/wintypes.h"

// Flags of CommentBlockBuilder::Add.
enum CommentChunkFlags : uint32_t {
    kChunkReference = 0x1,  // refer to the caller's memory instead of copying it
    kChunkShared = 0x2,     // reuse an earlier shared chunk with the same bytes
    kChunkUnaligned = 0x4,  // start right after the previous chunk (else at a 4-byte boundary)
    kChunkTakeOwnership = 0x8,  // with kChunkReference: free() the memory when done
};

// Largest block in tokens: the comment token's length field holds 15 bits.
constexpr uint32_t kMaxCommentBlockTokens = 0x8000;
// Filler for alignment gaps and the tail of a block.
constexpr uint8_t kCommentFillByte = 0xAB;

constexpr uint32_t MakeCommentTag(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kTagConstantTable = MakeCommentTag('C', 'T', 'A', 'B');
constexpr uint32_t kTagFragmentInfo = MakeCommentTag('F', 'I', 'N', 'F');
constexpr uint32_t kTagDebugInfo = MakeCommentTag('D', 'B', 'U', 'G');

class CommentBlockBuilder {
public:
    explicit CommentBlockBuilder(uint32_t tag);
    ~CommentBlockBuilder();
    CommentBlockBuilder(const CommentBlockBuilder&) = delete;
    CommentBlockBuilder& operator=(const CommentBlockBuilder&) = delete;

    // Appends a chunk of `size` bytes (size -1: a NUL-terminated string with its
    // NUL) and reports its data offset. With kChunkTakeOwnership the memory was
    // obtained with malloc and is freed by the builder even when Add fails.
    HRESULT Add(const void* data, ptrdiff_t size, uint32_t flags, uint32_t* offset);

    // Size of the block in tokens: comment token, tag, data rounded up.
    uint32_t Size() const;
    // Bytes of data added so far (without the tail filler).
    uint32_t DataBytes() const { return dataBytes_; }

    // Writes the block into `destination`, which holds `tokenCount` tokens;
    // E_FAIL when that is less than Size() or the block exceeds the limit.
    HRESULT Write(uint32_t* destination, uint32_t tokenCount) const;

private:
    struct Chunk {
        const uint8_t* data;
        uint32_t size;
        uint32_t offset;
        bool shared;
        bool owned;  // data is freed by the builder
    };
    uint32_t tag_;
    std::vector<Chunk> chunks_;
    // Shared chunks by a hash of their bytes, so finding an equal one stays
    // cheap for large tables.
    std::unordered_multimap<uint64_t, size_t> shared_;
    uint32_t dataBytes_ = 0;
};
