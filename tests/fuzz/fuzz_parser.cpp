// Fuzz target: the preprocessor and the HLSL parser over arbitrary source
// text held in memory. Any input must end in a result and messages, never a
// crash, a hang or unbounded memory.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "shader/frontend/parse_stage.h"
#include "shader/preprocess/preprocessor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;  // large inputs only slow the search
    Preprocessor pp;
    HRESULT hr = pp.OpenMemory(reinterpret_cast<const char*>(data), size, "fuzz.hlsl", nullptr, nullptr);
    if (FAILED(hr)) return 0;
    std::unique_ptr<hlsl::ProgramTree> tree;
    hr = hlsl::ParseProgram(pp, 0, &tree);
    // A successful parse has no error in the log and a tree; a failed one neither.
    if (SUCCEEDED(hr) != (tree != nullptr)) __builtin_trap();
    return 0;
}
