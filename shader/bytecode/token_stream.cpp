#include "shader/bytecode/token_stream.h"

#include <new>
#include <stdexcept>


HRESULT TokenStream::Reserve(size_t needed) {
    if (needed <= tokens_.capacity()) return S_OK;
    size_t capacity = tokens_.capacity() ? tokens_.capacity() : kInitialCapacity;
    while (capacity < needed) capacity *= 2;
    try {
        tokens_.reserve(capacity);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::length_error&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT TokenStream::Append(uint32_t token) {
    HRESULT hr = Reserve(tokens_.size() + 1);
    if (FAILED(hr)) return hr;
    tokens_.push_back(token);
    return S_OK;
}

HRESULT TokenStream::Append(const uint32_t* tokens, size_t count) {
    HRESULT hr = Reserve(tokens_.size() + count);
    if (FAILED(hr)) return hr;
    tokens_.insert(tokens_.end(), tokens, tokens + count);
    return S_OK;
}

HRESULT TokenStream::BeginInstruction(uint32_t token) {
    if (debug_) {
        DebugInstructionRecord record;
        record.line = line_;
        record.fileIndex = fileIndex_;
        record.byteOffset = uint32_t(tokens_.size() * 4);
        try {
            if (records_.size() == records_.capacity()) records_.reserve(records_.capacity() * 2 + 1);
            records_.push_back(record);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    current_ = tokens_.size();
    return Append(token);
}

void TokenStream::EndInstruction() {
    if (!writeLengths_ || current_ >= tokens_.size()) return;
    const size_t length = tokens_.size() - current_ - 1;
    tokens_[current_] |= uint32_t(length & 0xF) << 24;
}

HRESULT TokenStream::InsertComment(const std::vector<uint32_t>& block) {
    const uint32_t size = uint32_t(block.size());
    if (tokens_.empty()) return E_FAIL;
    HRESULT hr = Reserve(tokens_.size() + size);
    if (FAILED(hr)) return hr;
    tokens_.insert(tokens_.begin() + 1, block.begin(), block.end());
    inserted_ += size;
    if (current_ >= 1) current_ += size;
    if (validated_ >= 1) validated_ += size;
    return S_OK;
}

HRESULT TokenStream::EnableDebugRecords(size_t expected) {
    debug_ = true;
    try {
        records_.reserve(expected * 2);
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void TokenStream::TakeUnvalidated(const uint32_t** tokens, uint32_t* count) {
    *tokens = tokens_.data() + validated_;
    *count = uint32_t(tokens_.size() - validated_);
    validated_ = tokens_.size();
}

void TokenStream::Clear() {
    tokens_.clear();
    records_.clear();
    current_ = validated_ = 0;
    inserted_ = 0;
}
