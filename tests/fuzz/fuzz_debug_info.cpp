// Fuzz target: the reader of the debug information block over arbitrary
// payload bytes, at an aligned and an odd address. Everything it returns is
// touched so that a wrong length shows up under the sanitizers.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shader/bytecode/debug_info_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    std::vector<uint8_t> shifted(size + 1);
    if (size) std::memcpy(shifted.data() + 1, data, size);
    for (const uint8_t* bytes : {data, static_cast<const uint8_t*>(shifted.data() + 1)}) {
        if (!bytes) continue;
        DebugInfoView view;
        std::string error;
        if (ReadDebugInfo(bytes, uint32_t(size), &view, &error) != S_OK) continue;
        size_t sum = view.creator.size() + view.source.size() + view.entryName.size();
        for (const std::string& file : view.files) sum += file.size();
        for (const DebugVariableView& v : view.variables) sum += v.name.size() + v.declaration.size() + v.writes.size();
        sum += view.instructions.size();
        (void)sum;
    }
    return 0;
}
