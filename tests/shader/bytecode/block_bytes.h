// Writes expected block bytes field by field, so tests spell out the layout
// instead of copying what the writer produced.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class ExpectedBytes {
public:
    ExpectedBytes& u16(uint16_t v) { return raw(&v, 2); }
    ExpectedBytes& u32(uint32_t v) { return raw(&v, 4); }
    ExpectedBytes& f32(float v) { return raw(&v, 4); }
    ExpectedBytes& str(const std::string& s) { return raw(s.c_str(), s.size() + 1); }
    // Pads with the filler byte 0xAB up to the next multiple of four.
    ExpectedBytes& align() {
        while (bytes_.size() % 4) bytes_.push_back(0xAB);
        return *this;
    }
    ExpectedBytes& raw(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
        return *this;
    }
    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // The whole block: comment token, tag, data padded to a token boundary.
    std::vector<uint32_t> Block(uint32_t tag) const {
        std::vector<uint8_t> data = bytes_;
        while (data.size() % 4) data.push_back(0xAB);
        std::vector<uint32_t> tokens(data.size() / 4 + 2);
        tokens[0] = 0xFFFEu | uint32_t(tokens.size() - 1) << 16;
        tokens[1] = tag;
        if (!data.empty()) std::memcpy(tokens.data() + 2, data.data(), data.size());
        return tokens;
    }

private:
    std::vector<uint8_t> bytes_;
};
