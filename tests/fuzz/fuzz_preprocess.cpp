// Fuzz target: the tokenizer in every mode and the preprocessor over arbitrary
// source text, with an include handler that serves two fixed files.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "shader/preprocess/preprocessor.h"
#include "shader/preprocess/tokenizer.h"

namespace {

class FixedInclude : public IKLInclude {
public:
    HRESULT Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID, LPCVOID* data, UINT* bytes) override {
        static const char kA[] = "#define A(x, y) x ## y #x\n#define B A(1, 2)\n#pragma pack_matrix(row_major)\n";
        static const char kB[] = "#include \"a.h\"\n#if defined(A) && B == 1\nB\n#else\n#include <b.h>\n#endif\n";
        const char* text = std::strcmp(name, "a.h") == 0 ? kA : std::strcmp(name, "b.h") == 0 ? kB : nullptr;
        if (!text) return E_FAIL;
        *data = text;
        *bytes = static_cast<UINT>(std::strlen(text));
        return S_OK;
    }
    HRESULT Close(LPCVOID) override { return S_OK; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    for (uint32_t mode : {uint32_t{kModeHlsl}, uint32_t{kModeAssembler}, uint32_t{kModeRawStrings | kModeAngleNames}}) {
        StringPool pool;
        ErrorLog log;
        Tokenizer tokenizer;
        tokenizer.Initialize(text, size, "fuzz", 1, &pool, &log);
        for (;;) {
            Token token;
            tokenizer.Next(mode, &token);
            if (token.kind == TokenKind::EndOfFile) break;
        }
    }
    FixedInclude include;
    const KLMACRO macros[] = {{"FUZZ", "1"}, {"F(x)", "x"}, {nullptr, nullptr}};
    Preprocessor preprocessor;
    if (FAILED(preprocessor.OpenMemory(text, size, "fuzz.fx", macros, &include))) return 0;
    preprocessor.Begin(kModeHlsl);
    for (;;) {
        Token token;
        if (FAILED(preprocessor.NextToken(&token)) || token.kind == TokenKind::EndOfFile) break;
    }
    preprocessor.End();
    return 0;
}
