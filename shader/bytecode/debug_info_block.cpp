#include "shader/bytecode/debug_info_block.h"

#include "shader/bytecode/comment_block_builder.h"

namespace {

constexpr uint32_t kNameFlags = kChunkReference | kChunkShared | kChunkUnaligned;

HRESULT AddOptionalString(CommentBlockBuilder& builder, const std::string& text, uint32_t* offset) {
    *offset = 0;
    if (text.empty()) return S_OK;
    return builder.Add(text.c_str(), -1, kNameFlags, offset);
}

}  // namespace

HRESULT BuildDebugInfo(const DebugInfo& info, uint32_t tokensInsertedBefore, std::vector<uint32_t>* block) {
    // A source that alone exceeds a comment makes the block too large, not
    // the memory short.
    if (info.source && info.sourceLength >= kMaxCommentBlockTokens * 4u) return E_FAIL;
    CommentBlockBuilder builder(kTagDebugInfo);
    DbugHeader header{};
    header.size = sizeof(DbugHeader);
    HRESULT hr = builder.Add(&header, sizeof(header), kChunkReference, nullptr);
    if (FAILED(hr)) return hr;
    hr = builder.Add(info.creator, -1, kChunkReference | kChunkUnaligned, &header.creatorOffset);
    if (FAILED(hr)) return hr;

    std::string source;
    if (info.source) {
        source.assign(info.source, info.sourceLength);
        hr = builder.Add(source.c_str(), ptrdiff_t(source.size() + 1), kChunkReference | kChunkUnaligned,
                         &header.sourceOffset);
        if (FAILED(hr)) return hr;
    }

    std::vector<uint32_t> fileNames(info.files.size());
    for (size_t i = 0; i < info.files.size(); ++i) {
        hr = builder.Add(info.files[i].c_str(), -1, kNameFlags, &fileNames[i]);
        if (FAILED(hr)) return hr;
    }
    if (!fileNames.empty()) {
        header.fileCount = uint32_t(fileNames.size());
        hr = builder.Add(fileNames.data(), ptrdiff_t(fileNames.size() * 4), kChunkReference, &header.filesOffset);
        if (FAILED(hr)) return hr;
    }

    std::vector<DbugInstructionRecord> instructions(info.instructions.size());
    for (size_t i = 0; i < instructions.size(); ++i) {
        instructions[i].line = info.instructions[i].line;
        instructions[i].fileIndex = info.instructions[i].fileIndex;
        instructions[i].byteOffset = info.instructions[i].byteOffset;
    }
    if (!instructions.empty()) {
        header.instructionCount = uint32_t(instructions.size());
        hr = builder.Add(instructions.data(), ptrdiff_t(instructions.size() * sizeof(DbugInstructionRecord)),
                         kChunkReference, &header.instructionsOffset);
        if (FAILED(hr)) return hr;
    }

    std::vector<DbugVariableRecord> variables(info.variables.size());
    if (!variables.empty()) {
        header.variableCount = uint32_t(variables.size());
        hr = builder.Add(variables.data(), ptrdiff_t(variables.size() * sizeof(DbugVariableRecord)),
                         kChunkReference, &header.variablesOffset);
        if (FAILED(hr)) return hr;
    }
    for (size_t i = 0; i < variables.size(); ++i) {
        const DebugVariable& variable = info.variables[i];
        DbugVariableRecord& record = variables[i];
        hr = AddOptionalString(builder, variable.declaration, &record.declarationOffset);
        if (SUCCEEDED(hr)) hr = AddOptionalString(builder, variable.name, &record.nameOffset);
        if (SUCCEEDED(hr) && variable.hasType) hr = AddTypeDescription(builder, variable.type, &record.typeOffset);
        if (FAILED(hr)) return hr;
        if (!variable.writes.empty()) {
            record.writeCount = uint32_t(variable.writes.size());
            hr = builder.Add(variable.writes.data(), ptrdiff_t(variable.writes.size() * sizeof(DbugWriteRecord)),
                             kChunkShared, &record.writesOffset);
            if (FAILED(hr)) return hr;
        }
    }
    hr = AddOptionalString(builder, info.entryName, &header.entryNameOffset);
    if (FAILED(hr)) return hr;

    const uint32_t shift = (builder.Size() + tokensInsertedBefore) * 4u;
    for (DbugInstructionRecord& record : instructions) record.byteOffset += shift;
    return WriteBlock(builder, block);
}
