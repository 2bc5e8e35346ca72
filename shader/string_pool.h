// Per-compile storage for texts and small records. Allocations are never freed
// one by one: the pool is a chain of blocks released together when the compile
// ends, so tokens can point at their texts without owning them.
#pragma once

#include <cstddef>
#include <cstring>

class StringPool {
public:
    StringPool() = default;
    ~StringPool();
    StringPool(const StringPool&) = delete;
    StringPool& operator=(const StringPool&) = delete;

    // Raw storage aligned for any scalar; null when memory is exhausted.
    void* Allocate(size_t bytes);

    // Copies `length` bytes of `text` and appends a NUL; null when out of memory.
    const char* Copy(const char* text, size_t length);
    const char* Copy(const char* text) { return Copy(text, text ? std::strlen(text) : 0); }

    // Bytes held by the pool (blocks included), for tests and limits.
    size_t BytesReserved() const { return reserved_; }

private:
    struct Block;
    Block* head_ = nullptr;  // newest block; each links to the previous one
    size_t used_ = 0;        // bytes used in head_
    size_t reserved_ = 0;
};
