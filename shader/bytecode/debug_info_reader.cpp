#include "shader/bytecode/debug_info_reader.h"

#include <cstring>

#include "shader/bytecode/block_reader.h"

HRESULT ReadDebugInfo(const void* data, uint32_t size, DebugInfoView* info, std::string* error) {
    if (!data || !info) return D3DERR_INVALIDCALL;
    *info = DebugInfoView{};
    BoundedReader r(static_cast<const uint8_t*>(data), size, "block");
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
    if (!r.OptionalString(header.creatorOffset, &info->creator)) return fail();
    info->hasSource = header.sourceOffset != 0;
    if (!r.OptionalString(header.sourceOffset, &info->source)) return fail();
    std::vector<uint32_t> files;
    if (!r.ReadArray(header.filesOffset, header.fileCount, &files)) return fail();
    for (uint32_t offset : files) {
        std::string name;
        if (!r.OptionalString(offset, &name)) return fail();
        info->files.push_back(std::move(name));
    }
    if (!r.ReadArray(header.instructionsOffset, header.instructionCount, &info->instructions)) return fail();
    std::vector<DbugVariableRecord> variables;
    if (!r.ReadArray(header.variablesOffset, header.variableCount, &variables)) return fail();
    for (const DbugVariableRecord& record : variables) {
        DebugVariableView v;
        if (!r.OptionalString(record.declarationOffset, &v.declaration) || !r.OptionalString(record.nameOffset, &v.name))
            return fail();
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
    if (!r.OptionalString(header.entryNameOffset, &info->entryName)) return fail();
    return S_OK;
}
