#include "asm_test_support.h"

#include <memory>

#include "shader/bytecode/disassembler.h"
#include "shader/bytecode/instruction_walker.h"
#include "shader/compiler.h"

namespace {

std::string WithoutFileNames(const std::string& messages) {
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

// Texture lookups return their coordinates scaled, so a test can tell the
// coordinates a lookup used: (u + sampler, 2v, w + 0.25, 0.5).
class CoordinateSampler : public gfx::TextureSampler {
public:
    void Sample(UINT sampler, const gfx::SampleLanes& lanes, float (*out)[4]) override {
        for (int lane = 0; lane < gfx::kLanes; ++lane) {
            if (!(lanes.laneMask & (1u << lane))) continue;
            const float* c = lanes.coord[lane];
            out[lane][0] = c[0] + float(sampler);
            out[lane][1] = 2.0f * c[1];
            out[lane][2] = c[2] + 0.25f;
            out[lane][3] = 0.5f;
        }
    }
};

bool CreateProgram(const std::vector<DWORD>& code, gfx::ShaderKind kind, std::unique_ptr<gfx::ShaderProgram>* program,
                   std::string* problem) {
    std::string message;
    if (FAILED(gfx::CheckShaderTokens(code.data(), code.size(), kind, &message)) ||
        FAILED(gfx::ShaderProgram::Create(code.data(), code.size(), kind, program))) {
        *problem = "device refused the program: " + message;
        return false;
    }
    return true;
}

}  // namespace

Assembled AssembleText(const std::string& text, DWORD flags) {
    Assembled result;
    IKLBuffer* code = nullptr;
    IKLBuffer* errors = nullptr;
    result.hr = KLAssembleShader(text.data(), UINT(text.size()), nullptr, nullptr, flags, &code, &errors);
    if (code) {
        const DWORD* tokens = static_cast<const DWORD*>(code->GetBufferPointer());
        result.code.assign(tokens, tokens + code->GetBufferSize() / 4);
        code->Release();
    }
    if (errors) {
        result.messages = WithoutFileNames(static_cast<const char*>(errors->GetBufferPointer()));
        errors->Release();
    }
    return result;
}

std::vector<DWORD> InstructionTokens(const std::vector<DWORD>& code) {
    std::vector<DWORD> out;
    if (code.empty()) return out;
    out.push_back(code[0]);
    InstructionWalker walker(code.data(), code.size());
    WalkedInstruction w;
    for (;;) {
        const WalkStatus status = walker.Next(&w);
        if (status != WalkStatus::Ok && status != WalkStatus::End) break;
        if (!w.comment) {
            out.push_back(w.token);
            out.insert(out.end(), w.params, w.params + w.paramCount);
        }
        if (status == WalkStatus::End) break;
    }
    return out;
}

std::string DisassembleCode(const std::vector<DWORD>& code, std::string* problem) {
    std::string text;
    DisassemblyError error;
    if (FAILED(DisassembleShader(code.data(), code.size() * 4, DisassemblyOptions{}, &text, &error))) {
        *problem = error.message + " at token " + std::to_string(error.token);
        return "";
    }
    return text;
}

DeviceRun RunVertexProgram(const std::vector<DWORD>& code, const gfx::ShaderConstants& constants,
                           const std::map<int, Vec4>& inputs) {
    DeviceRun run;
    std::unique_ptr<gfx::ShaderProgram> program;
    if (!CreateProgram(code, gfx::ShaderKind::Vertex, &program, &run.problem)) return run;
    auto batch = std::make_unique<gfx::VertexBatch>();
    batch->count = 1;
    for (const auto& [slot, value] : inputs)
        for (int c = 0; c < 4; ++c) batch->input[slot].v[c][0] = value[c];
    auto results = std::make_unique<gfx::VertexResults>();
    CoordinateSampler sampler;
    program->RunVertices(constants, &sampler, *batch, results.get());
    for (const gfx::ShaderSemantic& s : program->Outputs()) {
        Vec4 v;
        for (int c = 0; c < 4; ++c) v[c] = results->output[s.slot].v[c][0];
        run.outputs[s.slot] = v;
    }
    run.ok = true;
    return run;
}

DeviceRun RunPixelProgram(const std::vector<DWORD>& code, const gfx::ShaderConstants& constants,
                          const std::map<int, Vec4>& inputs) {
    DeviceRun run;
    std::unique_ptr<gfx::ShaderProgram> program;
    if (!CreateProgram(code, gfx::ShaderKind::Pixel, &program, &run.problem)) return run;
    auto batch = std::make_unique<gfx::PixelBatch>();
    batch->quads = 1;
    batch->coverage = 0xF;
    for (const auto& [slot, value] : inputs)
        for (int c = 0; c < 4; ++c)
            for (int lane = 0; lane < 4; ++lane) batch->input[slot].v[c][lane] = value[c];
    CoordinateSampler sampler;
    auto results = std::make_unique<gfx::PixelResults>();
    program->RunPixels(constants, &sampler, *batch, results.get());
    for (const gfx::ShaderSemantic& s : program->Outputs()) {
        Vec4 v{};
        if (s.usage == 12) v[0] = results->depth[0];
        else
            for (int c = 0; c < 4; ++c) v[c] = results->color[s.slot].v[c][0];
        run.outputs[s.usage == 12 ? gfx::kMaxColorOutputs : s.slot] = v;
    }
    run.killed = (results->killed & 1) != 0;
    run.ok = true;
    return run;
}
