#include "shader/bytecode/constant_table_block.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "shader/bytecode/constant_default_layout.h"

HRESULT WriteBlock(const CommentBlockBuilder& builder, std::vector<uint32_t>* block) {
    if (builder.Size() > kMaxCommentBlockTokens) return E_FAIL;
    try {
        block->assign(builder.Size(), 0u);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return builder.Write(block->data(), uint32_t(block->size()));
}

uint32_t CtabScalarCount(const CtabType& type) {
    if (type.parameterClass != ParameterClass::Struct) return uint32_t(type.rows) * type.columns;
    uint32_t sum = 0;
    for (const CtabMember& member : type.members)
        sum += CtabScalarCount(member.type) * member.type.elements;
    return sum;
}

HRESULT AddTypeDescription(CommentBlockBuilder& builder, const CtabType& type, uint32_t* offset) {
    CtabTypeRecord record{};
    record.parameterClass = uint16_t(type.parameterClass);
    record.parameterType = uint16_t(type.parameterType);
    record.rows = type.rows;
    record.columns = type.columns;
    record.elements = type.elements;
    if (type.parameterClass == ParameterClass::Struct) {
        record.parameterType = uint16_t(ParameterType::Void);
        record.rows = 1;
        record.columns = uint16_t(CtabScalarCount(type));
        record.structMembers = uint16_t(type.members.size());
        std::vector<CtabMemberRecord> members(type.members.size());
        for (size_t i = 0; i < type.members.size(); ++i) {
            HRESULT hr = builder.Add(type.members[i].name.c_str(), -1,
                                     kChunkReference | kChunkShared | kChunkUnaligned, &members[i].nameOffset);
            if (FAILED(hr)) return hr;
            hr = AddTypeDescription(builder, type.members[i].type, &members[i].typeOffset);
            if (FAILED(hr)) return hr;
        }
        if (!members.empty()) {
            HRESULT hr = builder.Add(members.data(), ptrdiff_t(members.size() * sizeof(CtabMemberRecord)),
                                     kChunkShared, &record.structMemberOffset);
            if (FAILED(hr)) return hr;
        }
    }
    return builder.Add(&record, sizeof(record), kChunkShared, offset);
}

HRESULT BuildConstantTable(const ConstantTableOptions& options, std::vector<CtabConstant> constants,
                           const std::vector<CtabConstant>& extras, std::vector<uint32_t>* block) {
    CommentBlockBuilder builder(options.tag);
    std::stable_sort(constants.begin(), constants.end(), [](const CtabConstant& a, const CtabConstant& b) {
        return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    if (options.fragmentNames) {
        for (CtabConstant& constant : constants) constant.name = ("c_" + constant.name).substr(0, 254);
    }

    // The header and the record array are referenced, so fields filled in
    // after adding them still reach the block.
    CtabHeader header{};
    header.size = sizeof(CtabHeader);
    header.version = options.version;
    HRESULT hr = builder.Add(&header, sizeof(CtabHeader), kChunkReference, nullptr);
    if (FAILED(hr)) return hr;

    const size_t total = constants.size() + extras.size();
    std::vector<CtabConstantRecord> records(total);
    if (total) {
        header.constantCount = uint32_t(total);
        hr = builder.Add(records.data(), ptrdiff_t(total * sizeof(CtabConstantRecord)), kChunkReference,
                         &header.constantsOffset);
        if (FAILED(hr)) return hr;
    }

    auto fill = [&builder](const CtabConstant& constant, CtabConstantRecord& record) -> HRESULT {
        HRESULT r = builder.Add(constant.name.c_str(), -1, kChunkShared | kChunkUnaligned, &record.nameOffset);
        if (FAILED(r)) return r;
        record.registerSet = uint16_t(constant.registerSet);
        record.registerIndex = constant.registerIndex;
        record.registerCount = constant.registerCount;
        r = AddTypeDescription(builder, constant.type, &record.typeOffset);
        if (FAILED(r)) return r;
        record.reserved = constant.reserved;
        if (!constant.defaultValue.empty()) {
            // Bool registers hold one value each; the other sets four per
            // register, as loading the defaults reads them.
            std::vector<float> laid = constant.defaultValue;
            if (constant.registerSet != RegisterSet::Bool)
                laid = LayDefaultByRegister(constant.type, constant.defaultValue, constant.registerCount);
            const size_t count = std::max<size_t>(1, (laid.size() + 3) / 4) * 4;
            float* values = static_cast<float*>(std::calloc(count, sizeof(float)));
            if (!values) return E_OUTOFMEMORY;
            std::memcpy(values, laid.data(), laid.size() * sizeof(float));
            r = builder.Add(values, ptrdiff_t(count * sizeof(float)),
                            kChunkReference | kChunkShared | kChunkTakeOwnership, &record.defaultValueOffset);
            if (FAILED(r)) return r;
        }
        return S_OK;
    };
    for (size_t i = 0; i < constants.size(); ++i) {
        hr = fill(constants[i], records[i]);
        if (FAILED(hr)) return hr;
    }
    for (size_t i = 0; i < extras.size(); ++i) {
        hr = fill(extras[i], records[constants.size() + i]);
        if (FAILED(hr)) return hr;
    }
    hr = builder.Add(options.creator, -1, kChunkReference | kChunkUnaligned, &header.creatorOffset);
    if (FAILED(hr)) return hr;
    return WriteBlock(builder, block);
}
