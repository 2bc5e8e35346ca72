// kiln run FILE -p PROFILE -e ENTRY --inputs IN.json [--uniforms U.json]
// [--texture sN=IMAGE]... [--bytecode]: runs a shader over given inputs on
// the software device and prints its outputs as JSON.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "command.h"
#include "gfx/shaders/shader_isa.h"
#include "gfx/shaders/shader_program.h"
#include "json.h"
#include "macro_arguments.h"
#include "result_names.h"
#include "run_execute.h"
#include "run_inputs.h"
#include "run_uniforms.h"
#include "shader/compiler.h"
#include "shader_source.h"

namespace {

const char kUsage[] =
    "usage: kiln run FILE -p PROFILE -e ENTRY [-D NAME[=VALUE]]... --inputs IN.json\n"
    "                [--uniforms U.json] [--texture sN=IMAGE]... [--filter point|linear]\n"
    "                [--texture-defaults] [--bytecode]\n"
    "\n"
    "Runs a vertex or pixel shader on the software device and prints what it\n"
    "writes as JSON on standard output.\n"
    "\n"
    "  FILE              HLSL source, compiled for PROFILE with ENTRY; with\n"
    "                    --bytecode, compiled shader bytecode (-p, -e optional)\n"
    "  -p PROFILE        target profile (vs_1_1, vs_2_0, ps_2_0, ps_1_4, ...)\n"
    "  -e ENTRY          entry point function\n"
    "  -D NAME[=VALUE]   define a macro (VALUE defaults to 1)\n"
    "  --inputs IN.json  {\"n\": N, \"inputs\": {\"SEMANTIC\": [[x, y, z, w], ...]}}\n"
    "                    one vector per vertex (vertex shaders) or per pixel\n"
    "                    (pixel shaders, which see exactly the given values);\n"
    "                    semantics as the shader declares them (POSITION,\n"
    "                    NORMAL, COLOR0, TEXCOORD0, ...). Missing components\n"
    "                    are 0 (w is 1 for a vertex POSITION), missing inputs 0;\n"
    "                    inputs the shader does not read are ignored (warning).\n"
    "                    At most 262144 vectors per input, 64 MiB per file.\n"
    "  --uniforms U.json {\"name\": [values...], \"c5\": [x, y, z, w]}: uniforms by\n"
    "                    their name in the constant table (\"s.member\",\n"
    "                    \"a[2]\" work too); matrices row by row as the source\n"
    "                    writes them, flat or nested; cN, iN and bN write\n"
    "                    registers directly. Initialised globals keep their\n"
    "                    values unless given.\n"
    "  --texture sN=IMAGE  bind an image file (PNG, JPEG, BMP, TGA, DDS, PPM) to\n"
    "                    sampler sN, or to the sampler the shader names; the\n"
    "                    image is used as it is: its own size, one level, its\n"
    "                    texels unfiltered\n"
    "  --texture-defaults  load textures as KLCreateTextureFromFileA does instead:\n"
    "                    sizes rounded up to powers of two, filtered, mip-mapped\n"
    "  --filter MODE     point (default) or linear filtering on every sampler\n"
    "  --bytecode        FILE is compiled bytecode\n"
    "\n"
    "Vertex shaders print {\"POSITION\": [[x, y, z, w], ...], \"COLOR0\": ...} for\n"
    "every output they write; pixel shaders print COLOR0-COLOR3 and DEPTH as\n"
    "32-bit floats before blending or format conversion (null for a pixel\n"
    "discarded by texkill). FOG, PSIZE and DEPTH are single numbers.\n"
    "Exit code: 0 success, 1 a problem with the shader or the files, 2 bad usage.\n";

constexpr size_t kMaxFileBytes = 64u << 20;

bool ReadFile(const std::string& path, std::string* out, std::string* error) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        *error = "cannot open '" + path + "'";
        return false;
    }
    f.seekg(0, std::ios::end);
    const std::streamoff size = f.tellg();
    if (size < 0 || size_t(size) > kMaxFileBytes) {
        *error = "'" + path + "' is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        return false;
    }
    f.seekg(0);
    out->resize(size_t(size));
    if (size && !f.read(out->data(), size)) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

struct Options {
    std::string file, profile, entry, inputs, uniforms;
    std::vector<std::pair<std::string, std::string>> textures;  // sampler name, image
    bool bytecode = false;
    bool linear = false;
    bool textureDefaults = false;
};

// Returns -1 when the arguments are fine, otherwise the exit code.
int ParseArguments(const std::vector<std::string>& args, Options* o, MacroArguments* macros) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        int used = macros->Take(args, i);
        if (used < 0) {
            std::fprintf(stderr, "kiln run: %s\n", macros->Error().c_str());
            return 2;
        }
        if (used > 0) {
            i += size_t(used) - 1;
            continue;
        }
        if (a == "--bytecode") {
            o->bytecode = true;
            continue;
        }
        if (a == "--texture-defaults") {
            o->textureDefaults = true;
            continue;
        }
        const bool valued = a == "-p" || a == "-e" || a == "--inputs" || a == "--uniforms" || a == "--texture" ||
                            a == "--filter";
        if (valued) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "kiln run: %s needs a value\n", a.c_str());
                return 2;
            }
            const std::string& v = args[++i];
            if (a == "-p") o->profile = v;
            if (a == "-e") o->entry = v;
            if (a == "--inputs") o->inputs = v;
            if (a == "--uniforms") o->uniforms = v;
            if (a == "--filter") {
                if (v != "point" && v != "linear") {
                    std::fprintf(stderr, "kiln run: --filter takes point or linear, not '%s'\n", v.c_str());
                    return 2;
                }
                o->linear = v == "linear";
            }
            if (a == "--texture") {
                const size_t eq = v.find('=');
                if (eq == std::string::npos || eq == 0 || eq + 1 == v.size()) {
                    std::fprintf(stderr, "kiln run: --texture takes SAMPLER=IMAGE (e.g. s0=wood.png), not '%s'\n",
                                 v.c_str());
                    return 2;
                }
                o->textures.emplace_back(v.substr(0, eq), v.substr(eq + 1));
            }
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "kiln run: unknown option '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
        if (!o->file.empty()) {
            std::fprintf(stderr, "kiln run: more than one input file\n");
            return 2;
        }
        o->file = a;
    }
    if (o->file.empty()) return MissingOption("run", "the input FILE", kUsage);
    if (!o->bytecode && o->profile.empty()) return MissingOption("run", "-p PROFILE", kUsage);
    if (!o->bytecode && o->entry.empty()) return MissingOption("run", "-e ENTRY", kUsage);
    if (o->inputs.empty()) return MissingOption("run", "--inputs IN.json", kUsage);
    return -1;
}

// Compiles or reads the bytecode; messages go to standard error.
bool LoadBytecode(const Options& o, MacroArguments& macros, std::vector<DWORD>* tokens) {
    std::string bytes, error;
    if (o.bytecode) {
        if (!ReadFile(o.file, &bytes, &error)) {
            std::fprintf(stderr, "kiln run: %s\n", error.c_str());
            return false;
        }
    } else {
        IKLBuffer* code = nullptr;
        IKLBuffer* errors = nullptr;
        HRESULT hr = KLCompileShaderFromFileA(o.file.c_str(), macros.Macros(), nullptr, o.entry.c_str(),
                                              o.profile.c_str(), 0, &code, &errors, nullptr);
        if (errors) {
            std::fputs(static_cast<const char*>(errors->GetBufferPointer()), stderr);
            errors->Release();
        }
        if (FAILED(hr) || !code) {
            if (code) code->Release();
            ExplainUnknownProfile("run", o.profile);
            std::fprintf(stderr, "kiln run: '%s' did not compile: %s\n", o.file.c_str(), DescribeResult(hr).c_str());
            return false;
        }
        bytes.assign(static_cast<const char*>(code->GetBufferPointer()), code->GetBufferSize());
        code->Release();
    }
    if (bytes.size() < 4 || bytes.size() % 4) {
        std::fprintf(stderr, "kiln run: '%s' is not shader bytecode (its size is not a whole number of tokens)\n",
                     o.file.c_str());
        return false;
    }
    tokens->resize(bytes.size() / 4);
    std::memcpy(tokens->data(), bytes.data(), bytes.size());
    return true;
}

bool ParseJsonFile(const std::string& path, json::Document* doc) {
    std::string text, error;
    if (!ReadFile(path, &text, &error)) {
        std::fprintf(stderr, "kiln run: %s\n", error.c_str());
        return false;
    }
    if (!json::Parse(text, doc, &error)) {
        std::fprintf(stderr, "kiln run: %s:%s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

// Warnings for a texture bound to a sampler the shader never samples, and for
// a sampler it samples that has no texture (it reads (0, 0, 0, 1)).
// `bindings` holds each bound sampler with its "--texture" argument.
void WarnAboutSamplers(const gfx::ShaderProgram& program, const std::vector<std::pair<int, std::string>>& bindings) {
    auto used = [&](int sampler) {
        for (const gfx::ShaderSamplerUse& u : program.Samplers())
            if (u.sampler == sampler) return true;
        return false;
    };
    for (const auto& [sampler, argument] : bindings) {
        if (!used(sampler))
            std::fprintf(stderr, "kiln run: warning: --texture %s: the shader does not sample s%d\n",
                         argument.c_str(), sampler);
    }
    for (const gfx::ShaderSamplerUse& u : program.Samplers()) {
        auto bound = [&](const std::pair<int, std::string>& b) { return b.first == int(u.sampler); };
        if (std::none_of(bindings.begin(), bindings.end(), bound))
            std::fprintf(stderr,
                         "kiln run: warning: the shader samples s%d, which has no texture (--texture s%d=IMAGE); "
                         "it reads (0, 0, 0, 1)\n",
                         int(u.sampler), int(u.sampler));
    }
}

void PrintResults(const RunResults& r, size_t count) {
    std::string out = "{";
    bool firstOutput = true;
    for (const RunOutput& o : r.outputs) {
        out += firstOutput ? "\n  \"" : ",\n  \"";
        firstOutput = false;
        out += o.name + "\": [";
        for (size_t i = 0; i < count; ++i) {
            if (i) out += ", ";
            if (r.killed[i]) {
                out += "null";
            } else if (o.scalar) {
                out += json::FormatFloat(o.values[i][0]);
            } else {
                out += "[";
                for (int c = 0; c < 4; ++c) out += (c ? ", " : "") + json::FormatFloat(o.values[i][c]);
                out += "]";
            }
        }
        out += "]";
    }
    out += firstOutput ? "}\n" : "\n}\n";
    std::fputs(out.c_str(), stdout);
}

int RunRun(const std::vector<std::string>& args) {
    Options o;
    MacroArguments macros;
    if (int status = ParseArguments(args, &o, &macros); status >= 0) return status;

    std::vector<DWORD> tokens;
    if (!LoadBytecode(o, macros, &tokens)) return 1;
    const DWORD kind = tokens[0] >> 16;
    if (kind != 0xFFFE && kind != 0xFFFF) {
        std::fprintf(stderr, "kiln run: '%s' is not a vertex or pixel shader (version token 0x%08X)\n",
                     o.file.c_str(), unsigned(tokens[0]));
        return 1;
    }
    const gfx::ShaderKind shaderKind = kind == 0xFFFE ? gfx::ShaderKind::Vertex : gfx::ShaderKind::Pixel;
    std::unique_ptr<gfx::ShaderProgram> program;
    if (FAILED(gfx::ShaderProgram::Create(tokens.data(), tokens.size(), shaderKind, &program))) {
        std::string message;
        gfx::CheckShaderTokens(tokens.data(), tokens.size(), shaderKind, &message);
        std::fprintf(stderr, "kiln run: the device refuses '%s': %s\n", o.file.c_str(),
                     message.empty() ? "malformed bytecode" : message.c_str());
        return 1;
    }
    const char* profileName = gfx::isa::GetProfileInfo(program->Profile()).name;
    if (o.bytecode && !o.profile.empty() && o.profile != profileName) {
        std::fprintf(stderr, "kiln run: '%s' is %s bytecode, not %s\n", o.file.c_str(), profileName,
                     o.profile.c_str());
        return 1;
    }
    const bool pixel = shaderKind == gfx::ShaderKind::Pixel;

    IKLConstantTable* rawTable = nullptr;
    ExtractConstantTable(tokens.data(), tokens.size() * 4, &rawTable);
    std::unique_ptr<IKLConstantTable, void (*)(IKLConstantTable*)> table(rawTable, [](IKLConstantTable* t) {
        if (t) t->Release();
    });

    std::vector<std::string> errors, warnings;
    json::Document inputsDoc, uniformsDoc;
    if (!ParseJsonFile(o.inputs, &inputsDoc)) return 1;
    if (!o.uniforms.empty() && !ParseJsonFile(o.uniforms, &uniformsDoc)) return 1;
    RunInputs inputs;
    ReadInputs(inputsDoc.Root(), o.inputs, *program, &inputs, &errors, &warnings);
    for (const std::string& w : warnings) std::fprintf(stderr, "kiln run: warning: %s\n", w.c_str());
    auto constants = std::make_unique<gfx::ShaderConstants>();
    if (table) LoadUniformDefaults(table.get(), constants.get());
    if (!o.uniforms.empty()) ReadUniforms(uniformsDoc.Root(), o.uniforms, table.get(), pixel, constants.get(), &errors);

    RunDevice device;
    std::string problem = device.Create();
    if (!problem.empty()) errors.push_back(problem);
    std::vector<std::pair<int, std::string>> bindings;  // sampler and argument of each --texture
    if (problem.empty()) {
        device.SetFilter(o.linear);
        for (const auto& [name, image] : o.textures) {
            const int sampler = SamplerRegister(table.get(), name);
            if (sampler < 0) {
                errors.push_back("--texture " + name + "=" + image + ": \"" + name +
                                 "\" is no sampler (use s0-s15 or a sampler's name)");
                continue;
            }
            std::string bound = device.BindTexture(sampler, image, !pixel, o.textureDefaults);
            if (!bound.empty()) errors.push_back("--texture " + name + "=" + image + ": " + bound);
            bindings.emplace_back(sampler, name + "=" + image);
        }
        WarnAboutSamplers(*program, bindings);
    }
    if (!errors.empty()) {
        for (const std::string& e : errors) std::fprintf(stderr, "kiln run: %s\n", e.c_str());
        return 1;
    }

    RunResults results;
    if (pixel)
        device.RunPixels(*program, *constants, inputs, &results);
    else
        device.RunVertices(*program, *constants, inputs, &results);
    PrintResults(results, inputs.count);
    return 0;
}

KilnCommand cmd("run", "run a shader on given inputs and print its outputs as JSON", &RunRun);

}  // namespace
