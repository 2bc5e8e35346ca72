#include "run_inputs.h"

#include <cfloat>
#include <cmath>

#include "gfx/shaders/shader_isa.h"
#include "run_semantics.h"

namespace isa = gfx::isa;

namespace {

std::string At(const std::string& file, const json::Value& v) {
    return file + ":" + std::to_string(v.line) + ":" + std::to_string(v.column) + ": ";
}

std::string DeclaredList(const gfx::ShaderProgram& program) {
    std::string list;
    for (const auto& s : program.Inputs()) list += (list.empty() ? "" : ", ") + SemanticName(s.usage, s.usageIndex);
    return list.empty() ? "none" : list;
}

}  // namespace

bool ToFloat(const json::Value& v, float* out) {
    if (v.kind == json::Value::Kind::Bool) {
        *out = v.boolean ? 1.0f : 0.0f;
        return true;
    }
    if (!v.IsNumber() || std::fabs(v.number) > double(FLT_MAX)) return false;
    *out = float(v.number);
    return true;
}

void ReadInputs(const json::Value& doc, const std::string& file, const gfx::ShaderProgram& program, RunInputs* out,
                std::vector<std::string>* errors, std::vector<std::string>* warnings) {
    *out = RunInputs();
    if (!doc.IsObject()) {
        errors->push_back(At(file, doc) + "the inputs file must hold an object {\"n\": N, \"inputs\": {...}}");
        return;
    }
    for (size_t i = 0; i < doc.keys.size(); ++i) {
        if (doc.keys[i] != "n" && doc.keys[i] != "inputs")
            errors->push_back(At(file, doc.items[i]) + "unknown member \"" + doc.keys[i] +
                              "\" (expected \"n\" and \"inputs\")");
    }
    const json::Value* n = doc.Find("n");
    const json::Value* inputs = doc.Find("inputs");
    bool haveCount = false;
    if (n) {
        if (!n->IsNumber() || n->number < 0 || n->number != std::floor(n->number) || n->number > double(kMaxRunItems)) {
            errors->push_back(At(file, *n) + "\"n\" must be a whole number from 0 to " + std::to_string(kMaxRunItems));
        } else {
            out->count = size_t(n->number);
            haveCount = true;
        }
    }
    if (!inputs) {
        if (!n) errors->push_back(At(file, doc) + "missing \"n\" and \"inputs\"");
    } else if (!inputs->IsObject()) {
        errors->push_back(At(file, *inputs) + "\"inputs\" must be an object of SEMANTIC: [vectors]");
        inputs = nullptr;
    }
    if (!haveCount && inputs && !n && !inputs->items.empty() && inputs->items[0].IsArray()) {
        out->count = std::min(inputs->items[0].items.size(), kMaxRunItems);
        haveCount = true;
    }

    const bool vertex = program.Kind() == gfx::ShaderKind::Vertex;
    for (const auto& s : program.Inputs()) {
        InputStream stream;
        stream.semantic = s;
        stream.values.assign(out->count, Float4{0, 0, 0, 0});
        out->streams.push_back(std::move(stream));
    }
    if (!inputs) return;
    for (size_t m = 0; m < inputs->keys.size(); ++m) {
        const std::string& name = inputs->keys[m];
        const json::Value& value = inputs->items[m];
        uint8_t usage = 0, index = 0;
        if (!ParseSemantic(name, &usage, &index)) {
            errors->push_back(At(file, value) + "unknown semantic \"" + name + "\"");
            continue;
        }
        InputStream* stream = nullptr;
        for (auto& st : out->streams)
            if (st.semantic.usage == usage && st.semantic.usageIndex == index) stream = &st;
        if (!stream) {
            warnings->push_back(At(file, value) + "the shader does not read " + SemanticName(usage, index) +
                                " (it reads: " + DeclaredList(program) + "); ignored");
            continue;
        }
        if (!value.IsArray()) {
            errors->push_back(At(file, value) + name + ": expected an array of vectors");
            continue;
        }
        if (value.items.size() != out->count) {
            errors->push_back(At(file, value) + name + ": " + std::to_string(value.items.size()) +
                              " vectors, but n is " + std::to_string(out->count));
            continue;
        }
        const bool position = vertex && usage == isa::USAGE_POSITION;
        for (size_t i = 0; i < value.items.size(); ++i) {
            const json::Value& vec = value.items[i];
            Float4 f{0, 0, 0, position ? 1.0f : 0.0f};
            if (vec.IsNumber()) {
                ToFloat(vec, &f[0]);
            } else if (!vec.IsArray() || vec.items.empty() || vec.items.size() > 4) {
                errors->push_back(At(file, vec) + name + "[" + std::to_string(i) + "]: expected 1 to 4 numbers");
                continue;
            }
            bool ok = true;
            for (size_t c = 0; c < vec.items.size(); ++c) ok = ok && ToFloat(vec.items[c], &f[c]);
            if (!ok || (vec.IsNumber() && !ToFloat(vec, &f[0]))) {
                errors->push_back(At(file, vec) + name + "[" + std::to_string(i) +
                                  "]: components must be numbers that fit in a 32-bit float");
                continue;
            }
            stream->values[i] = f;
        }
    }
}
