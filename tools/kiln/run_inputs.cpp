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
    if (!v.IsNumber() || std::fabs(v.Number()) > double(FLT_MAX)) return false;
    *out = float(v.Number());
    return true;
}

void ReadInputs(const json::Value& doc, const std::string& file, const gfx::ShaderProgram& program, RunInputs* out,
                std::vector<std::string>* errors, std::vector<std::string>* warnings) {
    *out = RunInputs();
    if (!doc.IsObject()) {
        errors->push_back(At(file, doc) + "the inputs file must hold an object {\"n\": N, \"inputs\": {...}}");
        return;
    }
    for (size_t i = 0; i < doc.Size(); ++i) {
        if (doc.Key(i) != "n" && doc.Key(i) != "inputs")
            errors->push_back(At(file, doc.Item(i)) + "unknown member \"" + std::string(doc.Key(i)) +
                              "\" (expected \"n\" and \"inputs\")");
    }
    const json::Value* n = doc.Find("n");
    const json::Value* inputs = doc.Find("inputs");
    bool haveCount = false;
    if (n) {
        const double count = n->Number();
        if (!n->IsNumber() || count < 0 || count != std::floor(count) || count > double(kMaxRunItems)) {
            errors->push_back(At(file, *n) + "\"n\" must be a whole number from 0 to " + std::to_string(kMaxRunItems));
        } else {
            out->count = size_t(count);
            haveCount = true;
        }
    }
    if (!inputs) {
        if (!n) errors->push_back(At(file, doc) + "missing \"n\" and \"inputs\"");
    } else if (!inputs->IsObject()) {
        errors->push_back(At(file, *inputs) + "\"inputs\" must be an object of SEMANTIC: [vectors]");
        inputs = nullptr;
    }
    // Without "n", the first input given as an array sets the count.
    for (size_t m = 0; !haveCount && !n && inputs && m < inputs->Size(); ++m) {
        if (!inputs->Item(m).IsArray()) continue;
        out->count = std::min(inputs->Item(m).Size(), kMaxRunItems);
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
    for (size_t m = 0; m < inputs->Size(); ++m) {
        const std::string name(inputs->Key(m));
        const json::Value& value = inputs->Item(m);
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
        if (!haveCount) continue;  // "n" was wrong, and that is the one fault to report
        if (value.Size() != out->count) {
            errors->push_back(At(file, value) + name + ": " + std::to_string(value.Size()) +
                              " vectors, but n is " + std::to_string(out->count));
            continue;
        }
        const bool position = vertex && usage == isa::USAGE_POSITION;
        for (size_t i = 0; i < value.Size(); ++i) {
            const json::Value& vec = value.Item(i);
            Float4 f{0, 0, 0, position ? 1.0f : 0.0f};
            if (vec.IsNumber()) {
                ToFloat(vec, &f[0]);
            } else if (!vec.IsArray() || vec.Size() == 0 || vec.Size() > 4) {
                errors->push_back(At(file, vec) + name + "[" + std::to_string(i) + "]: expected 1 to 4 numbers");
                continue;
            }
            bool ok = true;
            for (size_t c = 0; c < vec.Size(); ++c) ok = ok && ToFloat(vec.Item(c), &f[c]);
            if (!ok || (vec.IsNumber() && !ToFloat(vec, &f[0]))) {
                errors->push_back(At(file, vec) + name + "[" + std::to_string(i) +
                                  "]: components must be numbers that fit in a 32-bit float");
                continue;
            }
            stream->values[i] = f;
        }
    }
}
