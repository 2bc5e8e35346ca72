// The growing array of 32-bit tokens that a code generator or the assembler
// writes a program into. Besides plain appends it knows where the current
// instruction began (to fill in its length field), can insert comment blocks
// right after the version token, keeps one debug record per instruction when
// asked to, and tracks which tokens have not yet been handed to a validator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

// One emitted instruction as the debug information block lists it.
struct DebugInstructionRecord {
    uint16_t line = 0;
    uint16_t fileIndex = 0xFFFF;  // 0xFFFF: no source position
    uint32_t byteOffset = 0;      // of the instruction token in the finished program
    // Variable component written into each destination component, 0xFFFF: none.
    uint16_t components[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
};

class TokenStream {
public:
    static constexpr size_t kInitialCapacity = 1024;

    // writeLengths: EndInstruction stores the parameter count in bits 24-27.
    explicit TokenStream(bool writeLengths = true) : writeLengths_(writeLengths) {}

    void SetWriteLengths(bool writeLengths) { writeLengths_ = writeLengths; }
    bool WritesLengths() const { return writeLengths_; }

    HRESULT Append(uint32_t token);
    HRESULT Append(const uint32_t* tokens, size_t count);

    // Starts an instruction: remembers where its token is and appends it; in
    // debug mode also appends a debug record for the current source position.
    HRESULT BeginInstruction(uint32_t token);
    // Ends the current instruction: stores its length when lengths are written.
    void EndInstruction();

    // Inserts a finished comment block (its tokens, comment token first) right
    // after the version token.
    HRESULT InsertComment(const std::vector<uint32_t>& block);
    // Tokens inserted after the version token so far.
    uint32_t InsertedTokens() const { return inserted_; }

    // Debug records: enabled with room for `expected` records (doubled as needed).
    HRESULT EnableDebugRecords(size_t expected);
    bool DebugEnabled() const { return debug_; }
    // Source position that the next BeginInstruction records.
    void SetSourcePosition(uint16_t fileIndex, uint16_t line) {
        fileIndex_ = fileIndex;
        line_ = line;
    }
    std::vector<DebugInstructionRecord>& DebugRecords() { return records_; }
    const std::vector<DebugInstructionRecord>& DebugRecords() const { return records_; }

    // Tokens written since the last call (for the validator hand-off).
    void TakeUnvalidated(const uint32_t** tokens, uint32_t* count);

    const uint32_t* Data() const { return tokens_.data(); }
    uint32_t* Data() { return tokens_.data(); }
    size_t Size() const { return tokens_.size(); }
    size_t CurrentInstruction() const { return current_; }
    void Clear();

private:
    HRESULT Reserve(size_t needed);

    std::vector<uint32_t> tokens_;
    std::vector<DebugInstructionRecord> records_;
    size_t current_ = 0;
    size_t validated_ = 0;
    uint32_t inserted_ = 0;
    uint16_t fileIndex_ = 0xFFFF;
    uint16_t line_ = 0;
    bool writeLengths_;
    bool debug_ = false;
};
