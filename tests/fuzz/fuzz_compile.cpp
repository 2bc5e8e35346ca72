// Fuzz target: the whole compiler, from source text to bytecode, for every
// profile it generates code for. The first byte picks the profile, the rest
// is the source of the entry point "main". Any input must end in a result
// and messages; a compile that succeeds must hand back code the device
// accepts (up to the size of its constant tables in the software profiles,
// whose models address more constants than this device holds), and one that
// fails must hand back none.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "gfx/exports.h"
#include "gfx/shaders/shader_program.h"
#include "shader/compiler.h"

namespace {

struct Profile {
    const char* name;
    gfx::ShaderKind kind;
    bool software = false;
};

constexpr Profile kProfiles[] = {
    {"vs_1_1", gfx::ShaderKind::Vertex}, {"vs_2_0", gfx::ShaderKind::Vertex}, {"vs_2_sw", gfx::ShaderKind::Vertex, true},
    {"ps_1_1", gfx::ShaderKind::Pixel},  {"ps_1_3", gfx::ShaderKind::Pixel},  {"ps_1_4", gfx::ShaderKind::Pixel},
    {"ps_2_0", gfx::ShaderKind::Pixel},  {"ps_2_sw", gfx::ShaderKind::Pixel, true},
    {"vs_3_0", gfx::ShaderKind::Vertex}, {"ps_3_0", gfx::ShaderKind::Pixel},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 16 * 1024) return 0;  // large inputs only slow the search
    const Profile& profile = kProfiles[data[0] % (sizeof kProfiles / sizeof kProfiles[0])];
    KilnGfxRegisterExports();  // compiles are checked by the platform's validator
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShader(reinterpret_cast<const char*>(data + 1), UINT(size - 1), nullptr, nullptr,
                                       "main", profile.name, 0, &code, &errors, nullptr);
    if (errors) errors->Release();
    if (FAILED(hr)) {
        if (code) __builtin_trap();
        return 0;
    }
    if (!code) __builtin_trap();
    const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
    const size_t count = code->GetBufferSize() / 4;
    // The validator holds a compile to its model's register files, so the
    // device refuses nothing that compiled, except constants of a software
    // profile beyond the device's own tables.
    std::string message;
    std::unique_ptr<gfx::ShaderProgram> program;
    const bool checked = SUCCEEDED(gfx::CheckShaderTokens(tokens, count, profile.kind, &message));
    if (!checked && !(profile.software && message == "the shader uses registers beyond the device's constant tables"))
        __builtin_trap();
    if (checked != SUCCEEDED(gfx::ShaderProgram::Create(tokens, count, profile.kind, &program))) __builtin_trap();
    code->Release();
    return 0;
}
