#include "lowering_util.h"

#include <cmath>
#include <limits>

#include "shader/frontend/lowering/lowering.h"
#include "shader/preprocess/preprocessor.h"
#include "shader/target.h"

LoweredShader::LoweredShader() : pp(std::make_unique<Preprocessor>()) {}
LoweredShader::~LoweredShader() = default;

size_t LoweredShader::Count(uint32_t code) const {
    size_t n = 0;
    for (const IrInstruction& inst : program.instructions) n += inst.code() == code;
    return n;
}

std::unique_ptr<LoweredShader> LowerSource(const std::string& source, const char* entry, const char* profile,
                                           uint32_t flags) {
    auto r = std::make_unique<LoweredShader>();
    TargetDesc target{};
    if (FAILED(FindTargetByName(profile, kTargetCompile, &target))) return r;
    Preprocessor& pp = *r->pp;
    r->parseResult = pp.OpenMemory(source.data(), source.size(), "t.hlsl", nullptr, nullptr);
    if (SUCCEEDED(r->parseResult)) r->parseResult = hlsl::ParseProgram(pp, flags, &r->tree);
    std::string parseLog = pp.Log().Text();
    if (SUCCEEDED(r->parseResult) && r->tree) {
        r->program.Initialize(r->tree.get(), &r->errors, target.version, flags, entry);
        r->hr = hlsl::LowerShader(*r->tree, entry, r->program);
    } else {
        r->hr = r->parseResult;
    }
    r->log = parseLog + r->errors.Text();
    return r;
}

namespace {

double Component(const Registers& values, const std::string& key, size_t index, bool* found) {
    auto it = values.find(key);
    if (it == values.end() || index >= it->second.size()) {
        *found = false;
        return 0;
    }
    return it->second[index];
}

}  // namespace

Evaluation Evaluate(const IntermediateProgram& p, const Registers& inputs, const Registers& uniforms) {
    Evaluation e;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> value(p.args.size(), nan);
    std::vector<bool> known(p.args.size(), false);

    // The value of an argument that holds one at entry; `index` is the
    // value of its relative index, if it has one.
    auto entryValue = [&](int32_t a, const double* index, double* v) -> bool {
        const IrArgument& arg = p.args[size_t(a)];
        const ArgumentPool& pool = p.pools[arg.pool];
        if (pool.flags & kPoolLiteral) {
            *v = arg.literal;
            return true;
        }
        if (!(pool.flags & kPoolValueAtEntry)) return false;
        int32_t reg = arg.reg;
        if (arg.relative >= 0) {
            if (!index) return false;
            reg += int32_t(std::floor(*index + 0.5));
        }
        if (reg < 0) return false;
        bool found = true;
        if (pool.flags & kPoolSampler) {
            *v = reg;
            return true;
        }
        if (pool.flags & kPoolUniform) {
            const size_t index = size_t(reg) * 4 + size_t(arg.component);
            *v = Component(uniforms, arg.name ? arg.name : "", index, &found);
        } else {
            const char* semantic = hlsl::SemanticOf(arg.semanticNode);
            *v = Component(inputs, semantic ? semantic : "", size_t(reg) * 4 + size_t(arg.component), &found);
        }
        return found;
    };
    auto read = [&](int32_t a, double* v) -> bool {
        if (a < 0 || size_t(a) >= p.args.size()) return false;
        if (known[size_t(a)]) {
            *v = value[size_t(a)];
            return true;
        }
        const int32_t relative = p.args[size_t(a)].relative;
        if (relative < 0) return entryValue(a, nullptr, v);
        // Index arguments are never relatively addressed themselves.
        double index;
        if (known[size_t(relative)]) index = value[size_t(relative)];
        else if (!entryValue(relative, nullptr, &index)) return false;
        return entryValue(a, &index, v);
    };

    for (size_t i = 0; i < p.instructions.size(); ++i) {
        const IrInstruction& inst = p.instructions[i];
        const uint32_t code = inst.code(), n = inst.count();
        std::vector<double> in(inst.inputs.size());
        for (size_t k = 0; k < in.size(); ++k)
            if (!read(inst.inputs[k], &in[k])) {
                e.problem = "instruction " + std::to_string(i) + " reads A" + std::to_string(inst.inputs[k]) +
                            " which holds no value";
                return e;
            }
        std::vector<double> out(inst.outputs.size(), 0.0);
        switch (code) {
            case kOpMove: out = std::vector<double>(in.begin(), in.begin() + n); break;
            case kOpDot: {
                double s = 0;
                for (uint32_t c = 0; c < n; ++c) s += in[c] * in[n + c];
                for (double& o : out) o = s;
                break;
            }
            case kOpLit: {
                const double x = in[0], y = in[1], w = in[3];
                out = {1.0, std::max(x, 0.0), (x > 0 && y > 0) ? std::pow(y, w) : 0.0, 1.0};
                break;
            }
            case kOpClip:
                for (double x : in) e.killed = e.killed || x < 0;
                break;
            default:
                if (IsSampleOp(code)) {
                    const double s = in[0];
                    out = {in[n] + s, n > 1 ? in[n + 1] : 0.0, n > 2 ? in[n + 2] : 0.0, 1.0};
                    break;
                }
                for (uint32_t c = 0; c < n; ++c) {
                    const double a = in[c], b = in.size() >= 2 * n ? in[n + c] : 0, d = in.size() >= 3 * n ? in[2 * n + c] : 0;
                    double r;
                    switch (code) {
                        case kOpNegate: r = -a; break;
                        case kOpReciprocal: r = a == 0 ? std::numeric_limits<double>::infinity() : 1 / a; break;
                        case kOpFraction: r = a - std::floor(a); break;
                        case kOpExp2: r = std::exp2(a); break;
                        case kOpLog2: r = std::log2(a); break;
                        case kOpSqrt: r = std::sqrt(a); break;
                        case kOpSin: r = std::sin(a); break;
                        case kOpCos: r = std::cos(a); break;
                        case kOpMin: r = a < b ? a : b; break;
                        case kOpMax: r = a > b ? a : b; break;
                        case kOpSetLess: r = a < b; break;
                        case kOpSetGreaterEqual: r = a >= b; break;
                        case kOpAdd: r = a + b; break;
                        case kOpMul: r = a * b; break;
                        case kOpSelect: r = a >= 0 ? b : d; break;
                        default:
                            e.problem = std::string("operation ") + OpName(code) + " cannot be evaluated";
                            return e;
                    }
                    out[c] = r;
                }
        }
        for (size_t k = 0; k < inst.outputs.size() && k < out.size(); ++k) {
            const int32_t o = inst.outputs[k];
            if (o < 0) continue;
            value[size_t(o)] = out[k];
            known[size_t(o)] = true;
        }
    }
    for (size_t a = 0; a < p.args.size(); ++a) {
        const IrArgument& arg = p.args[a];
        if (!(p.pools[arg.pool].flags & kPoolMustWrite) || arg.reg < 0 || arg.component < 0) continue;
        const char* semantic = hlsl::SemanticOf(arg.semanticNode);
        std::vector<double>& o = e.outputs[semantic ? semantic : ""];
        const size_t index = size_t(arg.reg) * 4 + size_t(arg.component);
        if (o.size() <= index) o.resize((index / 4 + 1) * 4, nan);
        o[index] = known[a] ? value[a] : nan;
    }
    e.ok = true;
    return e;
}
