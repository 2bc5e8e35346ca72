// Reads records and strings out of a comment block whose contents may be
// hostile: every offset and count is checked against the block's size, and
// the first failure is kept as a message naming the `region` ("block",
// "table").
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class BoundedReader {
public:
    BoundedReader(const uint8_t* data, uint32_t size, const char* region) : data_(data), size_(size), region_(region) {}

    template <typename T>
    bool Read(uint64_t offset, T* out) {
        if (offset + sizeof(T) > size_)
            return Fail("record at offset " + std::to_string(offset) + " lies outside the " + region_);
        std::memcpy(out, data_ + offset, sizeof(T));
        return true;
    }
    // An array of `count` records; the count is checked against the block
    // first, so a hostile count allocates nothing.
    template <typename T>
    bool ReadArray(uint32_t offset, uint32_t count, std::vector<T>* out) {
        out->clear();
        if (uint64_t(offset) + uint64_t(count) * sizeof(T) > size_)
            return Fail(std::to_string(count) + " records at offset " + std::to_string(offset) + " do not fit in the " +
                        region_);
        out->resize(count);
        if (count) std::memcpy(out->data(), data_ + offset, size_t(count) * sizeof(T));
        return true;
    }
    // A NUL-terminated string.
    bool String(uint32_t offset, std::string* out) {
        if (offset >= size_) return Fail("string offset " + std::to_string(offset) + " lies outside the " + region_);
        const void* end = std::memchr(data_ + offset, 0, size_ - offset);
        if (!end) return Fail("string at offset " + std::to_string(offset) + " is not terminated");
        out->assign(reinterpret_cast<const char*>(data_ + offset), static_cast<const uint8_t*>(end) - data_ - offset);
        return true;
    }
    // The same, where offset 0 means "none" (an empty string).
    bool OptionalString(uint32_t offset, std::string* out) {
        out->clear();
        return offset == 0 || String(offset, out);
    }
    bool Fail(const std::string& what) {
        if (error_.empty()) error_ = what;
        return false;
    }
    const std::string& error() const { return error_; }

private:
    const uint8_t* data_;
    uint32_t size_;
    const char* region_;
    std::string error_;
};
