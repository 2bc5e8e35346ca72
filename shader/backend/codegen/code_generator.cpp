#include "shader/backend/codegen/code_generator.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "gfx/shaders/shader_check_messages.h"
#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/constant_groups.h"
#include "shader/backend/ir_passes.h"
#include "shader/bytecode/constant_table_block.h"
#include "shader/bytecode/debug_info_block.h"
#include "shader/bytecode/program_assembly.h"
#include "shader/frontend/lowering/lowering.h"
#include "shader/frontend/lowering/uniform_description.h"
#include "shader/target.h"

namespace codegen {

using namespace gfx::isa;

SemanticName SplitSemantic(const char* text) {
    SemanticName s;
    if (!text) return s;
    const size_t length = std::strlen(text);
    size_t digits = length;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(text[digits - 1]))) --digits;
    s.letters.assign(text, digits);
    for (char c : s.letters) s.lower += char(std::tolower(static_cast<unsigned char>(c)));
    s.hasNumber = digits < length;
    int64_t index = 0;
    for (size_t i = digits; i < length && index < 0x7FFFFFFF; ++i) index = index * 10 + (text[i] - '0');
    s.index = int32_t(std::min<int64_t>(index, 0x7FFFFFFF));
    return s;
}

std::string CodeGenerator::TargetName() const { return target.name ? target.name : "unknown"; }

CodeGenerator::ArgClass CodeGenerator::PoolClass(uint32_t pool) const {
    if (pool == kPoolDiscard || pool >= pools.size()) return ArgClass::None;
    const uint32_t f = pools[pool].flags;
    if (pools[pool].name == "t") return ArgClass::TextureResult;
    if (pools[pool].name == "i") return ArgClass::Integer;
    if (pools[pool].name == "b") return ArgClass::Boolean;
    if (f & kPoolLiteral) return ArgClass::Literal;
    if (f & kPoolSampler) return ArgClass::Sampler;
    if (f & kPoolUniform) return ArgClass::Constant;
    if (f & kPoolMustWrite) return ArgClass::Output;
    if (f & kPoolAddress) return (f & kPoolBound) ? ArgClass::LoopRegister : ArgClass::Address;
    if ((f & kPoolBound) && (f & kPoolValueAtEntry)) return ArgClass::Input;
    if (f & kPoolWritable) return ArgClass::Temp;
    return ArgClass::None;
}

CodeGenerator::ArgClass CodeGenerator::ClassOf(int32_t arg) const {
    if (arg < 0 || size_t(arg) >= args.size()) return ArgClass::None;
    return PoolClass(args[arg].pool);
}

CodeGenerator::RegRef CodeGenerator::RegisterOf(int32_t arg) const {
    RegRef r;
    if (arg < 0 || size_t(arg) >= args.size()) return r;
    const IrArgument& a = args[arg];
    r.component = uint32_t(std::clamp(a.component, 0, 3));
    r.valid = true;
    switch (ClassOf(arg)) {
        case ArgClass::Temp:
            MapTemp(a.reg, &r.type, &r.number);
            break;
        case ArgClass::TextureResult:
            r.type = TextureResultType();
            r.number = uint32_t(std::max(a.reg, 0));
            break;
        case ArgClass::Literal:
            r.type = REG_CONST;
            r.number = a.reg >= 0 && size_t(a.reg) < literalBase_.size() ? uint32_t(literalBase_[a.reg]) : 0;
            break;
        case ArgClass::Constant:
            r.type = REG_CONST;
            r.number = uint32_t(std::max(a.reg, 0));
            break;
        case ArgClass::Integer:
        case ArgClass::Boolean:
            r.type = ClassOf(arg) == ArgClass::Integer ? REG_CONSTINT : REG_CONSTBOOL;
            r.number = uint32_t(std::max(a.reg, 0));
            r.component = 0;
            break;
        case ArgClass::Sampler:
            r.type = REG_SAMPLER;
            r.number = uint32_t(std::max(a.reg, 0));
            r.component = 0;
            break;
        case ArgClass::Input:
        case ArgClass::Output: {
            auto it = ioRegisters_.find({a.pool, a.reg});
            if (it == ioRegisters_.end() || !it->second.valid) {
                r.valid = false;
                break;
            }
            r.type = it->second.type;
            r.number = it->second.number;
            r.scalar = it->second.scalar;
            break;
        }
        case ArgClass::Address:
            r.type = REG_ADDR;
            r.number = uint32_t(std::max(a.reg, 0));
            break;
        case ArgClass::LoopRegister:
            r.type = REG_LOOP;
            r.number = 0;
            r.component = 0;
            break;
        case ArgClass::None: r.valid = false; break;
    }
    return r;
}

MOperand CodeGenerator::ScalarSource(int32_t arg) const {
    const uint32_t position = 0;
    MOperand o = SourceOf(&arg, 1, &position);
    o.Replicate(RegisterOf(arg).component);
    return o;
}

MOperand CodeGenerator::SourceOf(const int32_t* list, size_t count, const uint32_t* positions) const {
    MOperand o;
    if (count == 0) return o;
    const RegRef r = RegisterOf(list[0]);
    o.type = r.type;
    o.number = r.number;
    o.readMask = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t position = positions[i] & 3;
        o.swizzle[position] = uint8_t(RegisterOf(list[i]).component);
        o.readMask |= 1u << position;
    }
    const IrArgument& a = args[list[0]];
    o.modifier = (a.flags & kValueSourceModifierMask) >> 16;
    if (a.relative >= 0) {
        o.relative = true;
        o.relativeArg = a.relative;
    }
    o.FillSwizzle();
    return o;
}

MOperand CodeGenerator::DestOf(const int32_t* list, size_t count) const {
    MOperand o;
    if (count == 0) return o;
    const RegRef r = RegisterOf(list[0]);
    o.type = r.type;
    o.number = r.number;
    o.mask = 0;
    for (size_t i = 0; i < count; ++i) o.mask |= 1u << RegisterOf(list[i]).component;
    return o;
}

std::vector<std::vector<uint32_t>> CodeGenerator::DestinationGroups(const IrInstruction& inst) const {
    std::vector<std::vector<uint32_t>> groups;
    std::vector<std::pair<uint32_t, uint32_t>> keys;
    for (uint32_t c = 0; c < inst.outputs.size(); ++c) {
        if (inst.outputs[c] < 0) continue;
        const RegRef r = RegisterOf(inst.outputs[c]);
        const std::pair<uint32_t, uint32_t> key{r.type, r.number};
        auto it = std::find(keys.begin(), keys.end(), key);
        if (it == keys.end()) {
            keys.push_back(key);
            groups.push_back({c});
        } else {
            groups[size_t(it - keys.begin())].push_back(c);
        }
    }
    return groups;
}

SourceLocation CodeGenerator::OutputLocation(uint32_t type, uint32_t number) const {
    for (const auto& [key, io] : ioRegisters_) {
        if (!io.valid || io.type != type || io.number != number || PoolClass(key.first) != ArgClass::Output) continue;
        for (const IrArgument& a : args)
            if (a.pool == key.first && a.semanticNode) return hlsl::SemanticLocation(a.semanticNode);
    }
    for (size_t i = instructions.size(); i-- > 0;)
        if (instructions[i].location.file || instructions[i].location.line) return instructions[i].location;
    return SourceLocation{};
}

uint32_t CodeGenerator::Precision(const IrInstruction& inst) const {
    uint32_t lowest = kValuePrecisionFull;
    for (int32_t out : inst.outputs) {
        if (out < 0) continue;
        const uint32_t p = args[out].flags & kValuePrecisionMask;
        if (!p) return kValuePrecisionFull;
        lowest = std::min(lowest, p & (~p + 1));
    }
    return lowest;
}

int32_t CodeGenerator::HeldFrom(int32_t arg) const {
    const IrArgument& a = args[size_t(arg)];
    if (a.firstWriter >= 0 || a.firstUse <= 0) return std::max(a.firstWriter, 0);
    for (int32_t k = std::min(a.firstUse, int32_t(instructions.size())) - 1; k >= 0; --k)
        for (int32_t out : instructions[size_t(k)].outputs)
            if (out >= 0 && ClassOf(out) == ArgClass::Temp && args[out].reg == a.reg && args[out].component == a.component)
                return k;
    return 0;
}

void CodeGenerator::ComputeLiveness() {
    ComputeUses();
    const int temps = std::max(TempLimit(), 1);
    busy_.assign(instructions.size(), std::vector<uint8_t>(size_t(temps), 0));
    for (size_t i = 0; i < args.size(); ++i) {
        const IrArgument& a = args[i];
        if (ClassOf(int32_t(i)) != ArgClass::Temp || a.reg < 0 || a.reg >= temps || a.lastReader < 0) continue;
        const int32_t from = HeldFrom(int32_t(i));
        for (int32_t k = from; k <= a.lastReader && size_t(k) < instructions.size(); ++k) busy_[k][a.reg] = 1;
    }
    for (size_t i = 0; i < instructions.size(); ++i) {
        auto mark = [&](int32_t arg) {
            if (ClassOf(arg) == ArgClass::Temp && args[arg].reg >= 0 && args[arg].reg < temps) busy_[i][args[arg].reg] = 1;
        };
        for (int32_t in : instructions[i].inputs)
            if (in >= 0) mark(in);
        for (int32_t out : instructions[i].outputs)
            if (out >= 0) mark(out);
        // Shared temporaries of a fragment hold their value throughout.
        for (size_t r = 0; r < sharedTemporaries_.size() && r < size_t(temps); ++r) busy_[i][r] = 1;
    }
}

HRESULT CodeGenerator::Scratch(size_t index, uint32_t* number) {
    const int temps = TempLimit();
    for (int r = 0; r < temps; ++r) {
        if (index < busy_.size() && busy_[index][r]) continue;
        if (std::find(scratchTaken_.begin(), scratchTaken_.end(), uint32_t(r)) != scratchTaken_.end()) continue;
        scratchTaken_.push_back(uint32_t(r));
        *number = uint32_t(r);
        return S_OK;
    }
    Report(LocationOf(index), codegen_diag::kTooComplex);
    return E_FAIL;
}

void CodeGenerator::ReleaseScratch(uint32_t number) {
    for (size_t k = 0; k < scratchTaken_.size(); ++k)
        if (scratchTaken_[k] == number) {
            scratchTaken_.erase(scratchTaken_.begin() + std::ptrdiff_t(k));
            return;
        }
}

HRESULT CodeGenerator::EmitComponentWise(size_t index, uint32_t opcode, std::vector<MInst>* out, int operands) {
    return EmitComponentWiseOf(instructions[index], opcode, out, operands);
}

HRESULT CodeGenerator::EmitComponentWiseOf(const IrInstruction& inst, uint32_t opcode, std::vector<MInst>* out,
                                           int operands) {
    const uint32_t n = inst.count();
    if (operands < 0) operands = OperandCount(inst.code());
    for (const std::vector<uint32_t>& group : DestinationGroups(inst)) {
        MInst m;
        m.opcode = opcode;
        std::vector<int32_t> outs;
        std::vector<uint32_t> positions;
        for (uint32_t c : group) {
            outs.push_back(inst.outputs[c]);
            positions.push_back(RegisterOf(inst.outputs[c]).component);
        }
        m.dest = DestOf(outs.data(), outs.size());
        for (int k = 0; k < operands; ++k) {
            std::vector<int32_t> ins;
            for (uint32_t c : group) ins.push_back(inst.inputs[size_t(k) * n + c]);
            m.src.push_back(SourceOf(ins.data(), ins.size(), positions.data()));
        }
        out->push_back(std::move(m));
    }
    return S_OK;
}

HRESULT CodeGenerator::EmitScalarRuns(size_t index, uint32_t opcode, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    for (const std::vector<uint32_t>& group : DestinationGroups(inst)) {
        std::vector<int32_t> outs;
        for (uint32_t c : group) outs.push_back(inst.outputs[c]);
        const MOperand dest = DestOf(outs.data(), outs.size());
        const RegRef source = RegisterOf(inst.inputs[group[0]]);
        // Runs of destination components reading the same source component.
        std::vector<std::pair<uint32_t, uint32_t>> runs;  // source component, destination mask
        for (uint32_t c : group) {
            const uint32_t from = RegisterOf(inst.inputs[c]).component;
            const uint32_t to = 1u << RegisterOf(inst.outputs[c]).component;
            auto it = std::find_if(runs.begin(), runs.end(), [&](const auto& r) { return r.first == from; });
            if (it == runs.end()) runs.push_back({from, to});
            else it->second |= to;
        }
        bool conflict = false;
        if (source.type == dest.type && source.number == dest.number) {
            uint32_t written = 0;
            for (const auto& run : runs) {
                if (written & (1u << run.first)) conflict = true;
                written |= run.second;
            }
        }
        MOperand target = dest;
        if (conflict && !Skip(kCompileSkipOptimization)) {
            uint32_t t;
            HRESULT hr = Scratch(index, &t);
            if (FAILED(hr)) return hr;
            target = Temp(t, dest.mask);
        } else {
            conflict = false;
        }
        for (const auto& run : runs) {
            MInst m;
            m.opcode = opcode;
            m.dest = target;
            m.dest.mask = run.second;
            const int32_t arg = inst.inputs[group[0]];
            MOperand s = SourceOf(&arg, 1, &run.first);
            s.Replicate(run.first);
            m.src.push_back(s);
            out->push_back(std::move(m));
        }
        if (conflict) {
            MInst m;
            m.opcode = OP_MOV;
            m.dest = dest;
            MOperand s = target;
            s.mask = kMaskAll;
            s.readMask = dest.mask;
            m.src.push_back(s);
            out->push_back(std::move(m));
        }
    }
    return S_OK;
}

HRESULT CodeGenerator::EmitSqrt(size_t index, std::vector<MInst>* out) {
    // sqrt x = 1 / rsq x, which also gives 0 for 0 (rsq 0 * 0 would not).
    // Each component's reciprocal square root goes into the destination
    // component itself, unless a later component still reads what that
    // overwrites: then all of them go through a scratch register first.
    const IrInstruction& inst = instructions[index];
    const size_t n = std::min(inst.outputs.size(), inst.inputs.size());
    bool hazard = false;
    for (size_t c = 0; c < n; ++c) {
        const RegRef d = RegisterOf(inst.outputs[c]);
        if (d.type != REG_TEMP) hazard = true;
        for (size_t later = c + 1; later < n; ++later) {
            const RegRef s = RegisterOf(inst.inputs[later]);
            if (s.type == d.type && s.number == d.number && (s.component == d.component || args[inst.inputs[later]].relative >= 0))
                hazard = true;
        }
    }
    uint32_t t = 0;
    if (hazard) {
        HRESULT hr = Scratch(index, &t);
        if (FAILED(hr)) return hr;
    }
    auto stepFor = [&](size_t c) {
        const int32_t o = inst.outputs[c];
        return hazard ? Temp(t, 1u << RegisterOf(o).component) : DestOf(&o, 1);
    };
    for (size_t c = 0; c < n; ++c) {
        const int32_t i = inst.inputs[c];
        const uint32_t component = RegisterOf(inst.outputs[c]).component;
        MOperand src = SourceOf(&i, 1, &component);
        src.Replicate(RegisterOf(i).component);
        out->push_back(MInst{OP_RSQ, true, stepFor(c), {src}});
        if (hazard) continue;
        MOperand r = stepFor(c);
        r.Replicate(component);
        r.mask = kMaskAll;
        out->push_back(MInst{OP_RCP, true, DestOf(&inst.outputs[c], 1), {r}});
    }
    for (size_t c = 0; hazard && c < n; ++c) {
        const uint32_t component = RegisterOf(inst.outputs[c]).component;
        MOperand r = Temp(t);
        r.Replicate(component);
        out->push_back(MInst{OP_RCP, true, DestOf(&inst.outputs[c], 1), {r}});
    }
    return S_OK;
}

HRESULT CodeGenerator::EmitDot(size_t index, std::vector<MInst>* out) {
    const IrInstruction& inst = instructions[index];
    const uint32_t n = inst.count();
    std::vector<int32_t> outs;
    for (int32_t o : inst.outputs)
        if (o >= 0) outs.push_back(o);
    if (outs.empty() || n == 0 || n > 4) return S_OK;
    const MOperand dest = DestOf(outs.data(), outs.size());
    static constexpr uint32_t kPositions[4] = {0, 1, 2, 3};
    MOperand a = SourceOf(&inst.inputs[0], n, kPositions);
    MOperand b = SourceOf(&inst.inputs[n], n, kPositions);
    if (n == 1) {
        a.Replicate(a.swizzle[0]);
        b.Replicate(b.swizzle[0]);
        out->push_back(MInst{OP_MUL, true, dest, {a, b}});
        return S_OK;
    }
    if (n == 2) {
        uint32_t t;
        HRESULT hr = Scratch(index, &t);
        if (FAILED(hr)) return hr;
        out->push_back(MInst{OP_MUL, true, Temp(t, kMaskX | kMaskY), {a, b}});
        MOperand x = Temp(t), y = Temp(t);
        x.Replicate(0);
        y.Replicate(1);
        out->push_back(MInst{OP_ADD, true, dest, {x, y}});
        return S_OK;
    }
    out->push_back(MInst{n == 3 ? uint32_t(OP_DP3) : uint32_t(OP_DP4), true, dest, {a, b}});
    return S_OK;
}

HRESULT CodeGenerator::MoveToScratch(size_t index, MOperand* operand, std::vector<MInst>* out, bool applySwizzle) {
    uint32_t t;
    HRESULT hr = Scratch(index, &t);
    if (FAILED(hr)) return hr;
    MoveInto(t, operand, out, applySwizzle);
    return S_OK;
}

void CodeGenerator::MoveInto(uint32_t t, MOperand* operand, std::vector<MInst>* out, bool applySwizzle) {
    if (!applySwizzle) {
        MOperand s = *operand;
        for (int i = 0; i < 4; ++i) s.swizzle[i] = uint8_t(i);
        s.readMask = kMaskAll;
        s.modifier = SRCMOD_NONE;
        out->push_back(MInst{OP_MOV, true, Temp(t), {s}});
        operand->type = REG_TEMP;
        operand->number = t;
        operand->relative = false;
        operand->relativeArg = -1;
        return;
    }
    // The models that read any swizzle build the operand with one move (the
    // pixel models from 2_x on and the 3.0 vertex models; the earlier vertex
    // models keep the form below).
    if (operand->readMask && ArbitrarySwizzles() && (IsPixelShader() || ((version >> 8) & 0xFF) >= 3)) {
        MOperand s = *operand;
        s.FillSwizzle();
        out->push_back(MInst{OP_MOV, true, Temp(t, operand->readMask), {s}});
        MOperand r = Temp(t);
        r.readMask = operand->readMask;
        r.FillSwizzle();
        *operand = r;
        return;
    }
    // One move per source component, each with a replicated swizzle, so the
    // moves themselves need no swizzle the target lacks.
    uint32_t done = 0;
    for (int i = 0; i < 4; ++i) {
        if (!(operand->readMask & (1u << i)) || (done & (1u << i))) continue;
        const uint32_t component = operand->swizzle[i];
        uint32_t mask = 0;
        for (int j = 0; j < 4; ++j)
            if ((operand->readMask & (1u << j)) && operand->swizzle[j] == component) mask |= 1u << j;
        done |= mask;
        MOperand s = *operand;
        s.Replicate(component);
        out->push_back(MInst{OP_MOV, true, Temp(t, mask), {s}});
    }
    MOperand r = Temp(t);
    r.readMask = operand->readMask;
    r.FillSwizzle();
    *operand = r;
}

HRESULT CodeGenerator::EnforceReadPorts(size_t index, std::vector<MInst>* insts, int constantOperands) {
    for (size_t j = 0; j < insts->size(); ++j) {
        for (int guard = 0; guard < 8; ++guard) {
            MInst& m = (*insts)[j];
            std::vector<const MOperand*> constants, inputs, temps;
            int constantCount = 0;
            int offending = -1;
            for (size_t k = 0; k < m.src.size() && offending < 0; ++k) {
                const MOperand& s = m.src[k];
                auto seen = [&](const std::vector<const MOperand*>& list) {
                    return std::any_of(list.begin(), list.end(), [&](const MOperand* o) { return o->SameRegister(s); });
                };
                if (s.type == REG_CONST) {
                    ++constantCount;
                    if ((!constants.empty() && !seen(constants)) || constantCount > constantOperands) offending = int(k);
                    else if (!seen(constants)) constants.push_back(&s);
                } else if (s.type == REG_INPUT) {
                    if (!inputs.empty() && !seen(inputs)) offending = int(k);
                    else if (!seen(inputs)) inputs.push_back(&s);
                } else if (s.type == REG_TEMP) {
                    if (temps.size() >= 3 && !seen(temps)) offending = int(k);
                    else if (!seen(temps)) temps.push_back(&s);
                }
            }
            if (offending < 0) break;
            std::vector<MInst> moves;
            MOperand operand = m.src[size_t(offending)];
            HRESULT hr = MoveToScratch(index, &operand, &moves, false);
            if (FAILED(hr)) return hr;
            (*insts)[j].src[size_t(offending)] = operand;
            insts->insert(insts->begin() + std::ptrdiff_t(j), moves.begin(), moves.end());
            j += moves.size();
        }
    }
    return S_OK;
}

void CodeGenerator::CollectLiterals() {
    literalValues_.clear();
    literalUsed_.clear();
    for (const IrArgument& a : args) {
        if (PoolClass(a.pool) != ArgClass::Literal || a.reg < 0 || a.component < 0 || a.component > 3) continue;
        if (size_t(a.reg) >= literalValues_.size()) {
            literalValues_.resize(size_t(a.reg) + 1, {0, 0, 0, 0});
            literalUsed_.resize(size_t(a.reg) + 1, 0);
        }
        literalValues_[a.reg][a.component] = a.literal;
        literalUsed_[a.reg] |= 1u << a.component;
    }
}

HRESULT CodeGenerator::BindClass(ArgClass cls, int limit, char letter, const Diagnostic& overflow) {
    struct Piece {
        uint32_t pool;
        int32_t size;
        bool contiguous;
        std::string binding;
    };
    std::vector<Piece> pieces;
    std::vector<uint32_t> relativePools;
    for (uint32_t pool = 0; pool < pools.size(); ++pool) {
        if (PoolClass(pool) != cls) continue;
        int32_t size = 0;
        bool relative = false;
        for (const IrArgument& a : args) {
            if (a.pool != pool || a.reg < 0) continue;
            size = std::max(size, a.reg + 1);
            relative |= a.relative >= 0;
        }
        if (relative) {
            size = std::max(size, pools[pool].registerCount);
            relativePools.push_back(pool);
        }
        if (size == 0) continue;
        const bool single = size == 1 && pools[pool].binding.empty();
        pieces.push_back({pool, size, !(cls == ArgClass::Sampler && single), pools[pool].binding});
    }
    std::vector<uint8_t> taken(size_t(std::max(limit, 0)), 0);
    poolBase_.resize(pools.size(), -1);
    bool failed = false;
    auto place = [&](const Piece& piece, int32_t first) {
        for (int32_t k = 0; k < piece.size; ++k) taken[size_t(first + k)] = 1;
        poolBase_[piece.pool] = first;
    };
    auto location = [&](const Piece& piece) -> SourceLocation {
        for (const IrArgument& a : args)
            if (a.pool == piece.pool && a.lastReader >= 0) return instructions[size_t(a.lastReader)].location;
        return SourceLocation{};
    };
    // Explicit bindings first.
    for (const Piece& piece : pieces) {
        if (piece.binding.empty()) continue;
        const std::string& text = piece.binding;
        bool ok = text.size() >= 2 && std::tolower(static_cast<unsigned char>(text[0])) == letter &&
                  text.size() <= 6;
        for (size_t i = 1; ok && i < text.size(); ++i) ok = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        const int32_t first = ok ? std::atoi(text.c_str() + 1) : -1;
        const SourceLocation where = location(piece);
        if (!ok || first >= limit) {
            Report(&where, codegen_diag::kInvalidRegisterSemantic, text.c_str());
            failed = true;
            continue;
        }
        if (first + piece.size > limit) {
            Report(&where, overflow);
            failed = true;
            continue;
        }
        bool overlap = false;
        for (int32_t k = 0; k < piece.size && !overlap; ++k)
            if (taken[size_t(first + k)]) {
                Report(&where, codegen_diag::kOverlappingRegister, letter, unsigned(first + k));
                overlap = true;
            }
        if (overlap) {
            failed = true;
            continue;
        }
        place(piece, first);
    }
    // Contiguous pieces, largest first (creation order on ties).
    std::vector<const Piece*> contiguous;
    for (const Piece& piece : pieces)
        if (piece.binding.empty() && piece.contiguous) contiguous.push_back(&piece);
    std::stable_sort(contiguous.begin(), contiguous.end(),
                     [](const Piece* a, const Piece* b) { return a->size > b->size; });
    auto firstFit = [&](int32_t size) -> int32_t {
        for (int32_t start = 0; start + size <= limit; ++start) {
            bool free = true;
            for (int32_t k = 0; k < size && free; ++k) free = !taken[size_t(start + k)];
            if (free) return start;
        }
        return -1;
    };
    bool overflowReported = false;
    auto overflowError = [&](const SourceLocation& where) {
        if (!overflowReported) Report(&where, overflow);
        overflowReported = true;
        failed = true;
    };
    for (const Piece* piece : contiguous) {
        const int32_t first = firstFit(piece->size);
        if (first < 0) overflowError(location(*piece));
        else place(*piece, first);
    }
    for (const Piece& piece : pieces) {
        if (!piece.binding.empty() || piece.contiguous) continue;
        const int32_t first = firstFit(1);
        if (first < 0) overflowError(location(piece));
        else place(piece, first);
    }
    // Literal registers share the constant class.
    if (cls == ArgClass::Constant) {
        literalBase_.assign(literalValues_.size(), 0);
        for (size_t r = 0; r < literalValues_.size(); ++r) {
            const int32_t first = firstFit(1);
            if (first < 0) {
                overflowError(SourceLocation{});
                break;
            }
            taken[size_t(first)] = 1;
            literalBase_[r] = first;
        }
    }
    if (failed) return E_FAIL;
    for (uint32_t pool : relativePools) {
        for (const IrArgument& a : args)
            if (a.pool == pool && a.declaration && a.name && *a.name && poolBase_[pool] >= 0) {
                // A variable's own pool starts at its first register; a read
                // whose index had a number folded into its register (w[i + 1])
                // no longer tells where the variable starts.
                const uint32_t first = pools[pool].declaration == a.declaration
                                           ? uint32_t(poolBase_[pool])
                                           : uint32_t(poolBase_[pool]) + uint32_t(std::max(a.reg, 0)) - a.offset / 4;
                indexedConstants_.push_back({a.declaration, a.name, first,
                                             uint32_t(std::max(pools[pool].registerCount, 1))});
                break;
            }
    }
    // One pool for the whole class from here on (the integer and boolean
    // registers: the first pool of theirs, whose own arguments move too).
    uint32_t target = cls == ArgClass::Sampler ? uint32_t(kPoolSamplers) : uint32_t(kPoolConstants);
    const bool ownPool = (cls == ArgClass::Integer || cls == ArgClass::Boolean) && !pieces.empty();
    if (ownPool) target = pieces.front().pool;
    const int32_t targetBase = target < poolBase_.size() ? poolBase_[target] : -1;
    for (IrArgument& a : args) {
        if (PoolClass(a.pool) != cls || a.reg < 0) continue;
        const int32_t base = a.pool == target ? (ownPool ? targetBase : -1) : poolBase_[a.pool];
        if (base < 0) continue;
        a.reg += base;
        a.pool = target;
    }
    return S_OK;
}

int CodeGenerator::IntegerLimit() const { return (version & 0xFF) == 0xFF ? 2048 : 16; }

HRESULT CodeGenerator::BindRegisters() {
    HRESULT hr = BindClass(ArgClass::Constant, ConstantLimit(), 'c', codegen_diag::kConstantIndexExceeded);
    if (FAILED(hr)) return hr;
    hr = BindClass(ArgClass::Integer, IntegerLimit(), 'i', codegen_diag::kConstantIndexExceeded);
    if (FAILED(hr)) return hr;
    hr = BindClass(ArgClass::Boolean, IntegerLimit(), 'b', codegen_diag::kConstantIndexExceeded);
    if (FAILED(hr)) return hr;
    return BindClass(ArgClass::Sampler, std::max(SamplerLimit(), 0), 's', codegen_diag::kSamplerIndexExceeded);
}

HRESULT CodeGenerator::EncodeOperand(const MOperand& o, bool dest, const SourceLocation* location, uint32_t* token) {
    uint32_t type = o.type, number = o.number;
    if (type == REG_CONST) {
        if (number >= 8192) {
            if (!encodeError_) Report(location, codegen_diag::kConstantIndexExceeded);
            encodeError_ = true;
            return E_FAIL;
        }
        type = ConstantRegisterType(number);
        number &= 2047;
    } else if (type == REG_TEMP && int(number) >= TempRegisterCount()) {
        if (!encodeError_) Report(location, codegen_diag::kTempIndexExceeded);
        encodeError_ = true;
        return E_FAIL;
    } else if (type == REG_ADDR && !IsPixelShader() && number != 0) {
        if (!encodeError_) Report(location, codegen_diag::kAddressIndexExceeded);
        encodeError_ = true;
        return E_FAIL;
    }
    if (dest) *token = MakeDest(type, number, o.mask, o.resultModifier, o.shift, o.relative);
    else *token = MakeSource(type, number, o.SwizzleBits(), o.modifier, o.relative);
    return S_OK;
}

HRESULT CodeGenerator::Encode(const MInst& m, const SourceLocation* location) {
    HRESULT hr = stream_.BeginInstruction(MakeInstruction(m.opcode, 0, m.predicated));
    if (FAILED(hr)) return hr;
    const bool addressTokens = VersionKind(version) == kVertexVersionKind && VersionMajor(version) >= 2;
    auto append = [&](const MOperand& o, bool dest) -> HRESULT {
        uint32_t token = 0;
        HRESULT r = EncodeOperand(o, dest, location, &token);
        if (FAILED(r)) return r;
        r = stream_.Append(token);
        if (FAILED(r)) return r;
        if (o.relative && addressTokens)
            r = stream_.Append(ClassOf(o.relativeArg) == ArgClass::LoopRegister
                                   ? MakeRelativeAddress(REG_LOOP, 0)
                                   : MakeRelativeAddress(REG_ADDR, o.relativeComponent));
        return r;
    };
    if (m.hasDest) {
        hr = append(m.dest, true);
        if (FAILED(hr)) return hr;
    }
    if (m.predicated) {
        hr = stream_.Append(MakeSource(REG_PREDICATE, 0, kSwizzleIdentity, m.predicateNot ? SRCMOD_NOT : SRCMOD_NONE));
        if (FAILED(hr)) return hr;
    }
    for (const MOperand& s : m.src) {
        hr = append(s, false);
        if (FAILED(hr)) return hr;
    }
    stream_.EndInstruction();
    if (validator_.Active()) validator_.Submit(stream_, location ? location->file : nullptr, location ? location->line : 0);
    return S_OK;
}

HRESULT CodeGenerator::EmitBody() {
    std::vector<MInst> body;
    std::vector<size_t> origin;
    for (size_t i = 0; i < instructions.size(); ++i) {
        if (instructions[i].code() == kOpEmpty) continue;
        ResetScratch();
        std::vector<MInst> list;
        HRESULT hr = IsFlowOp(instructions[i].code()) ? EmitFlowBoundary(i, &list) : LowerInstruction(i, &list);
        if (FAILED(hr)) return hr;
        hr = Legalize(i, &list);
        if (FAILED(hr)) return hr;
        for (MInst& m : list) {
            body.push_back(std::move(m));
            origin.push_back(i);
        }
    }
    if (!Skip(kCompileSkipOptimization)) Peephole(&body, &origin);
    for (size_t k = 0; k < body.size(); ++k) {
        if (stream_.DebugEnabled()) {
            const SourceLocation& where = instructions[origin[k]].location;
            stream_.SetSourcePosition(DebugFileIndex(where.file), uint16_t(where.line));
        }
        HRESULT hr = Encode(body[k], LocationOf(origin[k]));
        if (FAILED(hr)) return hr;
        // A target instruction may stand for the intermediate instructions up
        // to the next one's origin (a matrix form replaces several).
        if (stream_.DebugEnabled())
            NoteVariableWrites(body[k], origin[k],
                               std::max(origin[k] + 1, k + 1 < body.size() ? origin[k + 1] : instructions.size()));
    }
    return S_OK;
}

std::vector<ConstantGroup> CodeGenerator::DescribedConstantGroups() {
    std::vector<ConstantGroup> groups = CollectConstantGroups(*this, kPoolConstants, kPoolSamplers);
    // An array read through a run-time index is described whole.
    for (const IndexedConstant& indexed : indexedConstants_) {
        auto it = std::find_if(groups.begin(), groups.end(), [&](const ConstantGroup& g) {
            return g.declaration == indexed.declaration && !g.sampler;
        });
        if (it == groups.end()) {
            ConstantGroup g;
            g.declaration = indexed.declaration;
            g.name = indexed.name;
            groups.push_back(g);
            it = groups.end() - 1;
        }
        it->firstRegister = indexed.first;
        it->registerCount = std::max(it->registerCount, indexed.count);
        it->variableFirstRegister = indexed.first;
        for (auto other = groups.begin(); other != groups.end();)
            if (other != it && other->declaration == indexed.declaration && !other->sampler) {
                if (other < it) --it;
                other = groups.erase(other);
            } else {
                ++other;
            }
    }
    return groups;
}

bool CodeGenerator::ExceededSlotLimits() const { return validator_.FailedWith(gfx::kCheckSlots); }

std::string CodeGenerator::VariableAtRegister(char file, uint32_t number) {
    if (file != 'c' && file != 's') return {};
    for (const ConstantGroup& g : DescribedConstantGroups()) {
        if (g.sampler != (file == 's') || !g.name) continue;
        if (number < g.firstRegister || number - g.firstRegister >= g.registerCount) continue;
        const uint32_t last = g.firstRegister + g.registerCount - 1;
        char text[160];
        if (g.registerCount == 1)
            std::snprintf(text, sizeof text, "'%s' is bound to %c%u", g.name, file, g.firstRegister);
        else
            std::snprintf(text, sizeof text, "'%s' is bound to %c%u to %c%u", g.name, file, g.firstRegister, file,
                          last);
        return text;
    }
    return {};
}

HRESULT CodeGenerator::BuildConstantTable(std::vector<uint32_t>* block) {
    std::vector<CtabConstant> constants;
    std::vector<ConstantGroup> groups = DescribedConstantGroups();
    for (const ConstantGroup& g : groups) {
        CtabConstant c;
        c.name = g.name ? g.name : "";
        c.registerSet = g.sampler ? RegisterSet::Sampler : RegisterSet::Float4;
        c.registerIndex = uint16_t(g.firstRegister);
        c.registerCount = uint16_t(g.registerCount);
        if (fragment_) c.reserved = FragmentReservedWord(g.declaration);
        if (!hlsl::DescribeUniform(g.declaration, &c.type, &c.defaultValue)) {
            c.type = CtabType{};
            c.type.parameterClass = ParameterClass::Vector;
            c.type.columns = 4;
        }
        constants.push_back(std::move(c));
    }
    // Integer and boolean registers: one record per variable.
    for (const IrArgument& a : args) {
        const ArgClass cls = PoolClass(a.pool);
        if ((cls != ArgClass::Integer && cls != ArgClass::Boolean) || a.lastReader < 0 || a.reg < 0 || !a.name)
            continue;
        const RegisterSet set = cls == ArgClass::Integer ? RegisterSet::Int4 : RegisterSet::Bool;
        if (std::any_of(constants.begin(), constants.end(), [&](const CtabConstant& c) {
                return c.registerSet == set && c.registerIndex == uint16_t(a.reg);
            }))
            continue;
        CtabConstant c;
        c.name = a.name;
        c.registerSet = set;
        c.registerIndex = uint16_t(a.reg);
        c.registerCount = 1;
        if (!hlsl::DescribeUniform(a.declaration, &c.type, &c.defaultValue)) {
            c.type = CtabType{};
            c.type.parameterClass = ParameterClass::Scalar;
            c.type.columns = 1;
        }
        constants.push_back(std::move(c));
    }
    ConstantTableOptions options;
    options.version = version;
    HRESULT hr = fragment_ ? BuildFragmentInfo(std::move(constants), block)
                           : ::BuildConstantTable(options, std::move(constants), {}, block);
    if (hr == E_FAIL) Report(nullptr, codegen_diag::kConstantTableTooLarge);
    return hr;
}

HRESULT CodeGenerator::Generate(IKLBuffer** code) {
    if (!code) return D3DERR_INVALIDCALL;
    *code = nullptr;
    variableWrites_.clear();
    debugFiles_.clear();
    if (fragment_) ReserveSharedTemporaries();
    if (Skip(kFlagDebug)) NameValuesByTheirVariables();
    HRESULT hr = RunPipeline();
    if (FAILED(hr)) return hr;
    ComputeUses();
    if (Skip(kFlagDebug)) NameValuesByTheirVariables();
    if (fragment_) hr = ResolveSharedTemporaries();
    if (FAILED(hr)) return hr;
    hr = ResolveSemantics();
    if (FAILED(hr) || errorFlag) return FAILED(hr) ? hr : E_FAIL;

    // Samplers the target can hold.
    std::vector<std::pair<uint32_t, int32_t>> samplers;
    for (const IrArgument& a : args) {
        if (PoolClass(a.pool) != ArgClass::Sampler || a.lastReader < 0) continue;
        if (std::find(samplers.begin(), samplers.end(), std::make_pair(a.pool, a.reg)) == samplers.end())
            samplers.push_back({a.pool, a.reg});
    }
    if (!samplers.empty() && SamplerLimit() == 0) {
        // Reported where the first lookup stands.
        int32_t first = -1;
        for (const IrArgument& a : args)
            if (PoolClass(a.pool) == ArgClass::Sampler && a.firstUse >= 0 && (first < 0 || a.firstUse < first))
                first = a.firstUse;
        const SourceLocation* where = first >= 0 && size_t(first) < instructions.size()
                                          ? &instructions[size_t(first)].location
                                          : nullptr;
        Report(where, codegen_diag::kNoTextureLookups, TargetName().c_str());
        return E_FAIL;
    }
    if (int(samplers.size()) > SamplerLimit()) {
        Report(nullptr, codegen_diag::kSamplersExceeded, TargetName().c_str(), SamplerLimit());
        return E_FAIL;
    }

    CollectLiterals();
    AddTargetLiterals();
    if (fragment_) hr = CheckFragmentBindings();
    if (FAILED(hr)) return hr;
    hr = BindRegisters();
    if (FAILED(hr)) return hr;
    // Fragments are checked as a whole program once linked.
    hr = fragment_ ? S_OK : CheckOutputs();
    if (FAILED(hr) || errorFlag) return FAILED(hr) ? hr : E_FAIL;
    ApplyPatterns();
    ComputeLiveness();

    stream_.Clear();
    stream_.SetWriteLengths(WritesLengths());
    DebugInfo debug;
    if (Skip(kFlagDebug)) {
        hr = stream_.EnableDebugRecords(instructions.size() * 2 + 16);
        if (FAILED(hr)) return hr;
        debug.entryName = entryName;
    }
    if (!Skip(kFlagSkipValidation) && !fragment_ && validator_.Begin(log, 1, false))
        validator_.SetRegisterNamer([this](char file, uint32_t number) { return VariableAtRegister(file, number); });
    hr = stream_.Append(fragment_ ? version & 0x7FFFFFFFu : version);
    if (FAILED(hr)) return hr;
    if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);

    // Literal definitions (a fragment describes them in its information block).
    for (size_t r = 0; r < literalValues_.size() && !fragment_; ++r) {
        MInst def;
        def.opcode = OP_DEF;
        def.dest.type = REG_CONST;
        def.dest.number = uint32_t(literalBase_[r]);
        hr = stream_.BeginInstruction(MakeInstruction(OP_DEF));
        if (FAILED(hr)) return hr;
        uint32_t token = 0;
        hr = EncodeOperand(def.dest, true, nullptr, &token);
        if (FAILED(hr)) return hr;
        hr = stream_.Append(token);
        for (int c = 0; c < 4 && SUCCEEDED(hr); ++c) {
            const float value = float(literalValues_[r][c]);
            uint32_t bits;
            std::memcpy(&bits, &value, 4);
            hr = stream_.Append(bits);
        }
        if (FAILED(hr)) return hr;
        stream_.EndInstruction();
        if (validator_.Active()) validator_.Submit(stream_, nullptr, 0);
    }
    FindLoopSteps();
    hr = DefineBoundedLoopRegister();
    if (SUCCEEDED(hr)) hr = DefineLoopCounts();
    if (FAILED(hr)) return hr;
    hr = DefineLoopStepRegisters();
    if (FAILED(hr)) return hr;
    hr = fragment_ ? S_OK : EmitDeclarations();
    if (FAILED(hr) || errorFlag) return FAILED(hr) ? hr : E_FAIL;
    hr = EmitBody();
    if (FAILED(hr) || errorFlag) return FAILED(hr) ? hr : E_FAIL;

    std::vector<uint32_t> table;
    hr = BuildConstantTable(&table);
    if (FAILED(hr)) return hr;
    ProgramTail tail;
    tail.constantTable = &table;
    if (Skip(kFlagDebug)) {
        debug.files = debugFiles_;
        debug.source = debugSource_.c_str();
        debug.sourceLength = debugSource_.size();
        CollectDebugVariables(&debug);
        tail.debug = &debug;
    }
    hr = FinishProgram(stream_, tail, log, validator_.Active() ? &validator_ : nullptr, code);
    if (FAILED(hr)) errorFlag = true;
    return hr;
}

}  // namespace codegen
