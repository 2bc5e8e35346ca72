#include "shader/bytecode/debug_info_reader.h"

#include <cstring>

namespace {

class BlockReader {
public:
    BlockReader(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

    template <typename T>
    bool Read(uint64_t offset, T* out) {
        if (offset + sizeof(T) > size_) return Fail("record at offset " + std::to_string(offset) + " lies outside the block");
        std::memcpy(out, data_ + offset, sizeof(T));
        return true;
    }
    // An array of `count` records; the count is checked against the block
    // first, so a hostile count allocates nothing.
    template <typename T>
    bool ReadArray(uint32_t offset, uint32_t count, std::vector<T>* out) {
        out->clear();
        if (uint64_t(offset) + uint64_t(count) * sizeof(T) > size_)
            return Fail(std::to_string(count) + " records at offset " + std::to_string(offset) + " do not fit in the block");
        out->resize(count);
        if (count) std::memcpy(out->data(), data_ + offset, size_t(count) * sizeof(T));
        return true;
    }
    // A NUL-terminated string; offset 0 is "none".
    bool String(uint32_t offset, std::string* out) {
        out->clear();
        if (offset == 0) return true;
        if (offset >= size_) return Fail("string offset " + std::to_string(offset) + " lies outside the block");
        const void* end = std::memchr(data_ + offset, 0, size_ - offset);
        if (!end) return Fail("string at offset " + std::to_string(offset) + " is not terminated");
        out->assign(reinterpret_cast<const char*>(data_ + offset), static_cast<const uint8_t*>(end) - data_ - offset);
        return true;
    }
    bool Fail(const std::string& what) {
        if (error_.empty()) error_ = what;
        return false;
    }
    const std::string& error() const { return error_; }

private:
    const uint8_t* data_;
    uint32_t size_;
    std::string error_;
};

}  // namespace

HRESULT ReadDebugInfo(const void* data, uint32_t size, DebugInfoView* info, std::string* error) {
    if (!data || !info) return D3DERR_INVALIDCALL;
    *info = DebugInfoView{};
    BlockReader r(static_cast<const uint8_t*>(data), size);
    auto fail = [&] {
        if (error) *error = "debug information: " + r.error();
        *info = DebugInfoView{};
        return ERR_INVALID_DATA;
    };
    DbugHeader header;
    if (!r.Read(0, &header)) return fail();
    if (header.size < sizeof(DbugHeader)) {
        r.Fail("header size " + std::to_string(header.size) + " is below 40");
        return fail();
    }
    if (!r.String(header.creatorOffset, &info->creator)) return fail();
    info->hasSource = header.sourceOffset != 0;
    if (!r.String(header.sourceOffset, &info->source)) return fail();
    std::vector<uint32_t> files;
    if (!r.ReadArray(header.filesOffset, header.fileCount, &files)) return fail();
    for (uint32_t offset : files) {
        std::string name;
        if (!r.String(offset, &name)) return fail();
        info->files.push_back(std::move(name));
    }
    if (!r.ReadArray(header.instructionsOffset, header.instructionCount, &info->instructions)) return fail();
    std::vector<DbugVariableRecord> variables;
    if (!r.ReadArray(header.variablesOffset, header.variableCount, &variables)) return fail();
    for (const DbugVariableRecord& record : variables) {
        DebugVariableView v;
        if (!r.String(record.declarationOffset, &v.declaration) || !r.String(record.nameOffset, &v.name)) return fail();
        v.hasType = record.typeOffset != 0;
        if (v.hasType && !r.Read(record.typeOffset, &v.type)) return fail();
        if (!r.ReadArray(record.writesOffset, record.writeCount, &v.writes)) return fail();
        for (const DbugWriteRecord& w : v.writes)
            if (w.instruction >= header.instructionCount) {
                r.Fail("write record names instruction " + std::to_string(w.instruction) + " of " +
                       std::to_string(header.instructionCount));
                return fail();
            }
        info->variables.push_back(std::move(v));
    }
    if (!r.String(header.entryNameOffset, &info->entryName)) return fail();
    return S_OK;
}
