// Runs the bytecode block readers and the disassembler over arbitrary bytes.
// Nothing may read outside the input, crash or hang; results are ignored.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shader/bytecode/bytecode_reader.h"
#include "shader/bytecode/comment_block_builder.h"
#include "shader/bytecode/constant_table.h"
#include "shader/bytecode/disassembler.h"

namespace {

// Counts the constant writes instead of sending them to a device.
struct CountingSink : ShaderConstantSink {
    HRESULT SetFloat(bool, UINT, const float* data, UINT count) override { return Touch(data, count * 4); }
    HRESULT SetInt(bool, UINT, const int* data, UINT count) override { return Touch(data, count * 4); }
    HRESULT SetBool(bool, UINT, const BOOL* data, UINT count) override { return Touch(data, count); }
    template <typename T>
    HRESULT Touch(const T* data, UINT words) {
        for (UINT i = 0; i < words; ++i) sum += uint32_t(data[i] != T());
        return S_OK;
    }
    uint32_t sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The readers take the caller's pointer as it is; an odd address must work too.
    std::vector<uint8_t> shifted(size + 1);
    if (size) std::memcpy(shifted.data() + 1, data, size);
    for (const uint8_t* bytes : {data, static_cast<const uint8_t*>(shifted.data() + 1)}) {
        if (!bytes) continue;
        const void* block = nullptr;
        uint32_t blockSize = 0;
        for (uint32_t tag : {kTagConstantTable, kTagDebugInfo, kTagFragmentInfo})
            FindCommentBlock(bytes, size, tag, &block, &blockSize);
        std::vector<const char*> names;
        if (ListSamplerNames(bytes, size, &names) == S_OK) {
            for (const char* name : names) (void)std::strlen(name);
        }
        std::vector<ShaderSemantic> semantics;
        uint32_t count = 0;
        ListInputSemantics(bytes, size, &semantics, &count);
        ListOutputSemantics(bytes, size, nullptr, &count);
        std::vector<uint8_t> copy;
        ExtractConstantTableBytes(bytes, size, &copy);
        ExtractDebugInfoBytes(bytes, size, &copy);
        std::string text;
        DisassemblyError error;
        DisassembleShader(bytes, size, DisassemblyOptions{}, &text, &error);

        // The constant table object over whatever table the bytes hold.
        IKLConstantTable* table = nullptr;
        if (ExtractConstantTable(bytes, size, &table) == S_OK) {
            KLCONSTANTTABLE_DESC desc;
            table->DescribeTable(&desc);
            KLCONSTANT_DESC constants[4];
            for (UINT i = 0; i < 8; ++i) {
                KLHANDLE h = table->ConstantAt(nullptr, i);
                UINT count = 4;
                table->DescribeConstant(h, constants, &count);
                KLHANDLE member = table->ConstantAt(h, 0);
                table->DescribeConstant(member, constants, &count);
                table->DescribeConstant(table->ElementAt(h, 1), constants, &count);
                table->DescribeConstant(table->ElementAt(member, 0), constants, &count);
            }
            table->ConstantByName(nullptr, "a[1].b");
            table->ConstantByName(nullptr, "$x . y [ 0 ]");
            // Writers read at most the data they are given, whatever the table says.
            CountingSink sink;
            LoadConstantDefaults(table, sink);
            const float matrix[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
            for (UINT i = 0; i < 4; ++i) {
                KLHANDLE h = table->ConstantAt(nullptr, i);
                WriteConstantValue(table, sink, h, {2, 3, 4, 4, 1}, matrix);
                WriteConstantValue(table, sink, h, {3, 3, 4, 4, 1}, matrix);
                WriteConstantValue(table, sink, h, {5, 0, 1, 16, 1}, matrix);
                WriteConstantValue(table, sink, h, {0, 2, 1, 1, 1}, matrix);
                WriteConstantValue(table, sink, table->ConstantAt(h, 0), {1, 1, 1, 4, 4}, matrix);
            }
            table->Release();
        }
    }
    return 0;
}
