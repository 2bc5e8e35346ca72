#include "codegen_harness.h"

#include <cstring>
#include <sstream>

#include "gfx/exports.h"
#include "shader/bytecode/constant_table.h"
#include "shader/bytecode/disassembler.h"
#include "shader/compiler.h"

int BodyInstructions(const Compiled& shader) {
    std::istringstream lines(Disassembly(shader));
    int count = 0;
    bool body = false;
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, 2, "//") == 0) continue;
        const std::string op = line.substr(first, line.find(' ', first) - first);
        if (op.rfind("ps_", 0) == 0 || op.rfind("vs_", 0) == 0) {
            body = true;
            continue;
        }
        if (body && op.rfind("dcl", 0) != 0 && op != "def") ++count;
    }
    return count;
}

Compiled TakeCompileResult(HRESULT hr, IKLBuffer* code, IKLBuffer* errors) {
    Compiled c;
    c.hr = hr;
    if (errors) {
        c.messages.assign(static_cast<const char*>(errors->GetBufferPointer()));
        errors->Release();
    }
    if (code) {
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        c.code.assign(tokens, tokens + code->GetBufferSize() / 4);
        code->Release();
    }
    return c;
}

std::string Disassembly(const Compiled& shader) {
    std::string text;
    DisassemblyError error;
    if (FAILED(DisassembleShader(shader.code.data(), shader.code.size() * 4, DisassemblyOptions{false}, &text, &error)))
        return "disassembly failed: " + error.message;
    return text;
}

Compiled CompileHlsl(const std::string& source, const char* profile, const char* entry, DWORD flags) {
    KilnGfxRegisterExports();  // compiles are checked by the platform's validator
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr = KLCompileShader(source.c_str(), UINT(source.size()), nullptr, nullptr, entry, profile, flags,
                                       &code, &errors, nullptr);
    return TakeCompileResult(hr, code, errors);
}

namespace {

Compiled CompileFile(const std::string& path, const char* profile, const char* entry, DWORD flags) {
    KilnGfxRegisterExports();
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    const HRESULT hr =
        KLCompileShaderFromFileA(path.c_str(), nullptr, nullptr, entry, profile, flags, &code, &errors, nullptr);
    return TakeCompileResult(hr, code, errors);
}

// Refused by the validator for its instruction slots and nothing else.
bool OnlySlotsRefused(const Compiled& shader) {
    if (shader.Ok() || shader.messages.find("error X5037") == std::string::npos) return false;
    for (size_t at = shader.messages.find("error X"); at != std::string::npos; at = shader.messages.find("error X", at + 1))
        if (shader.messages.compare(at, 11, "error X5037") != 0) return false;
    return true;
}

Compiled WithoutSlotBudget(const Compiled& refused, Compiled unchecked, bool* overBudget) {
    if (overBudget) *overBudget = true;
    if (!unchecked.Ok()) return unchecked;
    unchecked.code[0] |= 0xFF;  // minor version 0xFF: the software model
    unchecked.messages = refused.messages + unchecked.messages;
    return unchecked;
}

constexpr DWORD kSkipValidation = 0x04;

}  // namespace

Compiled CompileHlslFile(const std::string& path, const char* profile, const char* entry) {
    return CompileFile(path, profile, entry, 0);
}

Compiled CompileBeyondSlotBudget(const std::string& source, const char* profile, const char* entry, bool* overBudget) {
    if (overBudget) *overBudget = false;
    const Compiled shader = CompileHlsl(source, profile, entry);
    if (!OnlySlotsRefused(shader)) return shader;
    return WithoutSlotBudget(shader, CompileHlsl(source, profile, entry, kSkipValidation), overBudget);
}

Compiled CompileFileBeyondSlotBudget(const std::string& path, const char* profile, const char* entry, bool* overBudget) {
    if (overBudget) *overBudget = false;
    const Compiled shader = CompileFile(path, profile, entry, 0);
    if (!OnlySlotsRefused(shader)) return shader;
    return WithoutSlotBudget(shader, CompileFile(path, profile, entry, kSkipValidation), overBudget);
}

namespace {

bool PlaceUniforms(const Compiled& shader, const Uniforms& uniforms, gfx::ShaderConstants* constants,
                   std::string* problem) {
    IKLConstantTable* table = nullptr;
    if (FAILED(ExtractConstantTable(shader.code.data(), shader.code.size() * 4, &table))) {
        *problem = "no constant table";
        return false;
    }
    bool ok = true;
    for (const auto& [name, values] : uniforms) {
        KLHANDLE handle = table->ConstantByName(nullptr, name.c_str());
        KLCONSTANT_DESC desc{};
        UINT count = 1;
        if (!handle || FAILED(table->DescribeConstant(handle, &desc, &count))) continue;  // not read by the program
        if (desc.RegisterSet == 0) {  // boolean registers: one value each
            for (size_t k = 0; k < values.size() && k < desc.RegisterCount; ++k)
                if (desc.RegisterIndex + k < size_t(gfx::ShaderConstants::kBoolCount))
                    constants->b[desc.RegisterIndex + k] = values[k] != 0;
            continue;
        }
        if (desc.RegisterSet == 1) {  // integer registers: the values as integers
            for (size_t k = 0; k < values.size() && k / 4 < desc.RegisterCount; ++k) {
                const size_t reg = desc.RegisterIndex + k / 4;
                if (reg >= size_t(gfx::ShaderConstants::kIntCount)) break;
                constants->i[reg][k % 4] = int32_t(values[k]);
            }
            continue;
        }
        for (size_t k = 0; k < values.size(); ++k) {
            const size_t reg = desc.RegisterIndex + k / 4;
            if (k / 4 >= desc.RegisterCount) break;
            if (reg >= gfx::ShaderConstants::kVertexFloatCount) {
                *problem = "constant register out of range";
                ok = false;
                break;
            }
            constants->f[reg][k % 4] = values[k];
        }
    }
    table->Release();
    return ok;
}

class FakeSampler : public gfx::TextureSampler {
public:
    void Sample(UINT sampler, const gfx::SampleLanes& lanes, float (*out)[4]) override {
        for (int lane = 0; lane < gfx::kLanes; ++lane) {
            if (!(lanes.laneMask & (1u << lane))) continue;
            const Vec4 t = FakeTexel(sampler, lanes.coord[lane]);
            for (int c = 0; c < 4; ++c) out[lane][c] = t[c];
        }
    }
};

}  // namespace

Vec4 FakeTexel(UINT sampler, const float* c) { return {c[0] + float(sampler), 2.0f * c[1], c[2] + 0.25f, 0.5f}; }

ShaderRun RunVertex(const Compiled& shader, const std::map<Semantic, Vec4>& inputs, const Uniforms& uniforms) {
    ShaderRun run;
    std::unique_ptr<gfx::ShaderProgram> program;
    std::string message;
    if (FAILED(gfx::CheckShaderTokens(shader.code.data(), shader.code.size(), gfx::ShaderKind::Vertex, &message)) ||
        FAILED(gfx::ShaderProgram::Create(shader.code.data(), shader.code.size(), gfx::ShaderKind::Vertex, &program))) {
        run.problem = "device refused the shader: " + message;
        return run;
    }
    auto constants = std::make_unique<gfx::ShaderConstants>();
    if (!PlaceUniforms(shader, uniforms, constants.get(), &run.problem)) return run;
    auto batch = std::make_unique<gfx::VertexBatch>();
    batch->count = 1;
    for (const gfx::ShaderSemantic& s : program->Inputs()) {
        auto it = inputs.find({s.usage, s.usageIndex});
        if (it == inputs.end()) {
            run.problem = "no value for input " + std::to_string(s.usage) + "/" + std::to_string(s.usageIndex);
            return run;
        }
        for (int c = 0; c < 4; ++c) batch->input[s.slot].v[c][0] = it->second[c];
    }
    auto results = std::make_unique<gfx::VertexResults>();
    program->RunVertices(*constants, nullptr, *batch, results.get());
    for (const gfx::ShaderSemantic& s : program->Outputs()) {
        Vec4 v;
        for (int c = 0; c < 4; ++c) v[c] = results->output[s.slot].v[c][0];
        run.outputs[{s.usage, s.usageIndex}] = v;
    }
    run.ok = true;
    return run;
}

ShaderRun RunPixel(const Compiled& shader, const std::map<Semantic, Vec4>& inputs, const Uniforms& uniforms) {
    ShaderRun run;
    std::unique_ptr<gfx::ShaderProgram> program;
    std::string message;
    if (FAILED(gfx::CheckShaderTokens(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &message)) ||
        FAILED(gfx::ShaderProgram::Create(shader.code.data(), shader.code.size(), gfx::ShaderKind::Pixel, &program))) {
        run.problem = "device refused the shader: " + message;
        return run;
    }
    auto constants = std::make_unique<gfx::ShaderConstants>();
    if (!PlaceUniforms(shader, uniforms, constants.get(), &run.problem)) return run;
    auto batch = std::make_unique<gfx::PixelBatch>();
    batch->quads = 1;
    batch->coverage = 0xF;
    // Before 3.0 the input slots are fixed (colours, then texture
    // coordinates); from 3.0 on each declared v register is its own slot.
    const bool declared = gfx::isa::ProfileMajor(program->Profile()) >= 3;
    for (const auto& [semantic, value] : inputs) {
        if (semantic == kVpos || semantic == kVface) {
            for (int lane = 0; lane < 4; ++lane) {
                if (semantic == kVface) batch->face[lane] = value[0];
                else
                    for (int c = 0; c < 4; ++c) batch->position.v[c][lane] = value[c];
            }
            continue;
        }
        int slot = semantic.first == kColor ? semantic.second : gfx::kPixelSlotTexcoord0 + semantic.second;
        if (declared) {
            slot = -1;
            for (const gfx::ShaderSemantic& s : program->Inputs())
                if (s.usage == semantic.first && s.usageIndex == semantic.second) slot = s.slot;
        }
        if (slot < 0 || slot >= gfx::kMaxPixelInputs) continue;
        for (int c = 0; c < 4; ++c)
            for (int lane = 0; lane < 4; ++lane) batch->input[slot].v[c][lane] = value[c];
    }
    FakeSampler sampler;
    auto results = std::make_unique<gfx::PixelResults>();
    program->RunPixels(*constants, &sampler, *batch, results.get());
    for (const gfx::ShaderSemantic& s : program->Outputs()) {
        Vec4 v{};
        if (s.usage == 12) v[0] = results->depth[0];
        else
            for (int c = 0; c < 4; ++c) v[c] = results->color[s.slot].v[c][0];
        run.outputs[{s.usage, s.usageIndex}] = v;
    }
    run.killed = (results->killed & 1) != 0;
    run.ok = true;
    return run;
}

std::string MessagesWithoutFile(const std::string& messages) {
    std::string out;
    size_t start = 0;
    while (start < messages.size()) {
        size_t end = messages.find('\n', start);
        if (end == std::string::npos) end = messages.size();
        std::string line = messages.substr(start, end - start);
        const size_t paren = line.find("): ");
        const size_t open = paren == std::string::npos ? std::string::npos : line.rfind('(', paren);
        if (open != std::string::npos) line = line.substr(open);
        out += line + "\n";
        start = end + 1;
    }
    return out;
}
