#include "shader/string_pool.h"

#include <cstdint>
#include <cstdlib>
#include <new>

struct StringPool::Block {
    Block* previous;
    size_t capacity;
    alignas(std::max_align_t) unsigned char bytes[1];
};

namespace {
constexpr size_t kBlockSize = 16 * 1024;
constexpr size_t kAlign = alignof(std::max_align_t);
}  // namespace

StringPool::~StringPool() {
    while (head_) {
        Block* previous = head_->previous;
        std::free(head_);
        head_ = previous;
    }
}

void* StringPool::Allocate(size_t bytes) {
    size_t rounded = (bytes + kAlign - 1) & ~(kAlign - 1);
    if (rounded < bytes) return nullptr;
    if (!head_ || head_->capacity - used_ < rounded) {
        // Large requests get a block of their own so the tail of the current
        // block is not wasted on them.
        size_t capacity = rounded > kBlockSize / 4 ? rounded : kBlockSize;
        if (capacity > SIZE_MAX - sizeof(Block)) return nullptr;
        auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + capacity));
        if (!block) return nullptr;
        block->capacity = capacity;
        reserved_ += capacity;
        if (rounded > kBlockSize / 4 && head_) {
            // Keep filling the current block: slip the big one in behind it.
            block->previous = head_->previous;
            head_->previous = block;
            return block->bytes;
        }
        block->previous = head_;
        head_ = block;
        used_ = 0;
    }
    void* result = head_->bytes + used_;
    used_ += rounded;
    return result;
}

const char* StringPool::Copy(const char* text, size_t length) {
    if (length == SIZE_MAX) return nullptr;
    auto* copy = static_cast<char*>(Allocate(length + 1));
    if (!copy) return nullptr;
    if (length) std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}
