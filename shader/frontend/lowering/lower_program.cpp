// Global declarations and the entry function: uniforms and samplers become
// arguments of their own pools, inputs and outputs are bound by semantics,
// the body is lowered and the results are copied into the outputs.
#include <algorithm>
#include <string>

#include "shader/frontend/lowering/lowerer.h"
#include "shader/frontend/lowering/lowering.h"
#include "shader/frontend/lowering/lowering_messages.h"
#include "shader/frontend/lowering/semantic_names.h"
#include "shader/target.h"

namespace hlsl::lowering {
namespace {

constexpr uint32_t kBoolFlags = kValueZeroOrOne | kValueInteger | kValueNonNegative;

bool IsSamplerBase(BaseType b) { return b >= kSampler && b <= kSamplerCube; }

const Type* ElementType(const Type* t) {
    while (t && t->kind == Type::kArray) t = t->element;
    return t;
}

}  // namespace

bool Lowerer::BindingApplies(const RegisterBinding& reg) const {
    if (!reg.name) return false;
    if (!reg.target) return true;
    TargetDesc row;
    if (FAILED(FindTargetByName(reg.target, kTargetNone, &row))) return false;
    if ((row.version >> 16) != (p.version >> 16)) return false;
    return (row.version & 0xFFFF) == 0 || (row.version & 0xFFFF) == (p.version & 0xFFFF);
}

int Lowerer::CreatePool(uint32_t standardPool, const Node* decl, uint32_t registers, const RegisterBinding* binding) {
    const ArgumentPool& model = p.pools[standardPool];
    const std::string name = model.name;
    const int pool = p.AddPool(name.c_str(), model.flags, int32_t(registers), model.width);
    if (pool < 0) throw std::bad_alloc();
    p.pools[pool].declaration = decl;
    if (binding && BindingApplies(*binding)) p.pools[pool].binding = binding->name;
    return pool;
}

Value Lowerer::PoolArguments(int pool, const VarDecl* v, const char* name, const Type* type, uint32_t packing,
                             uint32_t firstRegister) {
    std::vector<RegisterPlace> places;
    LayOutRegisters(type, packing, firstRegister, &places);
    std::vector<BaseType> bases;
    FlattenComponents(type, bases, uint32_t(places.size()));
    Value args(places.size());
    for (size_t i = 0; i < places.size(); ++i) {
        const int32_t a = p.AddArgument(uint32_t(pool), int32_t(places[i].reg), int32_t(places[i].component), 0.0);
        if (a < 0) throw std::bad_alloc();
        IrArgument& arg = p.args[a];
        arg.declaration = v;
        arg.name = name;
        arg.offset = places[i].reg * 4 + places[i].component;
        const BaseType base = i < bases.size() ? bases[i] : kFloat;
        arg.flags = (base == kBool ? kBoolFlags : 0u) | PrecisionOf(base);
        args[i] = a;
    }
    return args;
}

void Lowerer::BindUniform(const VarDecl* v, const char* name) {
    const Type* t = v->type;
    const uint32_t size = TypeSize(t);
    if (IsNumeric(t)) {
        const uint32_t regs = RegisterCount(t, v->packing);
        const int pool = CreatePool(kPoolConstants, v, regs, &v->reg);
        const Value args = PoolArguments(pool, v, name, t, v->packing, 0);
        for (uint32_t i = 0; i < size && i < args.size(); ++i) map[v->valueOffset + i] = args[i];
        return;
    }
    const Type* element = ElementType(t);
    if (element && element->IsObject() && IsSamplerBase(element->base)) {
        // One sampler register per element.
        const int pool = CreatePool(kPoolSamplers, v, size, &v->reg);
        for (uint32_t i = 0; i < size; ++i) {
            const int32_t a = p.AddArgument(uint32_t(pool), int32_t(i), 0, 0.0);
            if (a < 0) throw std::bad_alloc();
            p.args[a].declaration = v;
            p.args[a].name = name;
            p.args[a].offset = i * 4;
            map[v->valueOffset + i] = a;
        }
    }
    // Textures, strings and shaders have no register of their own.
}

void Lowerer::Placeholders(const VarDecl* v, uint32_t slot, uint32_t size) {
    std::vector<BaseType> bases;
    if (v) FlattenComponents(v->type, bases, size);
    for (uint32_t i = 0; i < size && slot + i < map.size(); ++i) {
        const int32_t a = p.AddArgument(kPoolDiscard, -1, -1, 0.0);
        if (a < 0) throw std::bad_alloc();
        p.args[a].flags = PrecisionOf(i < bases.size() ? bases[i] : kFloat);
        p.args[a].declaration = v;
        p.args[a].name = v ? v->name : nullptr;
        p.args[a].offset = i;
        map[slot + i] = a;
        if (slot + i < slotOwner.size()) slotOwner[slot + i] = a;
    }
}

bool Lowerer::IsPlaceholder(int32_t arg) const {
    return arg < 0 || (size_t(arg) < p.args.size() && p.args[arg].pool == kPoolDiscard);
}

HRESULT Lowerer::LowerGlobals() {
    map.assign(tree.valueAreaSize, -1);
    slotOwner.assign(tree.valueAreaSize, -1);
    mask = {Literal(1)};
    going = mask;
    Literal(0);
    Literal(-1);
    for (Decl* d : tree.decls) {
        if (Failed()) break;
        if (d->declKind != kDeclVariable) continue;
        const VarDecl* v = static_cast<const VarDecl*>(d);
        here = v->loc;
        const bool isStatic = (v->usage & kUsageStatic) != 0;
        if (ContainsObject(v->type) || (!isStatic && !v->init)) {
            BindUniform(v, v->name);
            continue;
        }
        Placeholders(v, v->valueOffset, TypeSize(v->type));
        if (v->init) {
            std::vector<uint32_t> slots;
            for (uint32_t i = 0; i < TypeSize(v->type); ++i) slots.push_back(v->valueOffset + i);
            WriteSlots(slots, Lower(v->init));
        }
    }
    return Result();
}

// ---------------------------------------------------------------- inputs and outputs

void Lowerer::CollectPieces(const VarDecl* d, const Type* t, uint32_t packing, uint32_t slot, const Node* owner,
                            uint32_t regBase, std::vector<Piece>* pieces, const VarDecl** missing) {
    if (d && !d->semantics.empty()) {
        owner = d;
        regBase = 0;
    }
    if (t && t->kind == Type::kStruct) {
        uint32_t offset = 0, regs = 0;
        for (const VarDecl* m : t->structure->members) {
            CollectPieces(m, m->type, m->packing, slot + offset, owner, regBase + regs, pieces, missing);
            offset += TypeSize(m->type);
            regs += RegisterCount(m->type, m->packing);
        }
        return;
    }
    if (!owner) {
        if (!*missing) *missing = d;
        return;
    }
    pieces->push_back(Piece{owner, d, t, packing, slot, regBase});
}

void Lowerer::BindInputs(FuncDecl* f, std::vector<Piece>& pieces) {
    struct Keyed {
        SemanticKey key;
        size_t order;
    };
    std::vector<Keyed> keys;
    for (size_t i = 0; i < pieces.size(); ++i) {
        SemanticKey k = ParseSemantic(SemanticOf(pieces[i].owner));
        k.index += pieces[i].regBase;
        keys.push_back({k, i});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Keyed& a, const Keyed& b) {
        if (a.key.usage != b.key.usage) return a.key.usage < b.key.usage;
        if (a.key.usage == SemanticKey::kUnknownUsage && a.key.name != b.key.name) return a.key.name < b.key.name;
        return a.key.index < b.key.index;
    });
    // Pieces sharing a usage and index read the register of the first one:
    // their arguments are made in its pool and merge with its own.
    std::vector<int> poolOf(pieces.size(), -1);
    std::vector<uint32_t> regOf(pieces.size(), 0);
    for (size_t k = 0; k < keys.size(); ++k) {
        const Piece& piece = pieces[keys[k].order];
        int pool = -1;
        uint32_t first = piece.regBase;
        for (size_t j = 0; j < k; ++j)
            if (keys[j].key.usage == keys[k].key.usage && keys[j].key.name == keys[k].key.name &&
                keys[j].key.index == keys[k].key.index) {
                pool = poolOf[keys[j].order];
                first = regOf[keys[j].order];
                break;
            }
        const uint32_t regs = RegisterCount(piece.type, piece.packing);
        if (pool < 0) {
            pool = CreatePool(kPoolInputs, piece.owner, piece.regBase + regs, nullptr);
        } else if (p.pools[pool].registerCount < int32_t(first + regs)) {
            p.pools[pool].registerCount = int32_t(first + regs);
        }
        poolOf[keys[k].order] = pool;
        regOf[keys[k].order] = first;
        const Value args = PoolArguments(pool, piece.var, piece.var ? piece.var->name : f->name, piece.type,
                                         piece.packing, first);
        for (size_t i = 0; i < args.size(); ++i) {
            p.args[args[i]].semanticNode = piece.owner;
            map[piece.slot + i] = args[i];
        }
    }
}

void Lowerer::WriteOutputs(const std::vector<Piece>& pieces) {
    for (const Piece& piece : pieces) {
        const uint32_t regs = RegisterCount(piece.type, piece.packing);
        const int pool = CreatePool(kPoolOutputs, piece.owner, piece.regBase + regs, nullptr);
        const Value outs = PoolArguments(pool, piece.var, piece.var ? piece.var->name : nullptr, piece.type,
                                         piece.packing, piece.regBase);
        Value values(outs.size());
        for (size_t i = 0; i < outs.size(); ++i) {
            p.args[outs[i]].semanticNode = piece.owner;
            values[i] = map[piece.slot + i];
            if (values[i] < 0) values[i] = Literal(0);
        }
        MoveInto(outs, values);
    }
}

void Lowerer::MoveInto(const Value& outputs, const Value& values) {
    if (outputs.empty()) return;
    if (outputs.size() > kRegisterWidth) {
        for (size_t first = 0; first < outputs.size(); first += kRegisterWidth) {
            const size_t count = std::min(kRegisterWidth, outputs.size() - first);
            MoveInto(Value(outputs.begin() + long(first), outputs.begin() + long(first + count)),
                     Value(values.begin() + long(first), values.begin() + long(first + count)));
        }
        return;
    }
    if (p.instructions.size() >= instructionLimit) TooLarge(lowmsg::kProgramTooLarge, instructionLimit, here);
    const int inst = p.AddInstruction(MakeOp(kOpMove, uint32_t(outputs.size())));
    if (inst < 0) throw std::bad_alloc();
    IrInstruction& ins = p.instructions[inst];
    for (size_t i = 0; i < outputs.size(); ++i) {
        ins.inputs[i] = values[i];
        ins.outputs[i] = outputs[i];
    }
    ins.location = here;
}

HRESULT Lowerer::LowerEntry(FuncDecl* f) {
    currentFunction = f;
    entryFunction = f;
    here = f->loc;
    if (!f->hasBody) {
        Error(f->loc, lowmsg::kMissingImplementation, f->name);
        return Result();
    }
    // 2. parameters by direction
    std::vector<Piece> inputs;
    std::vector<std::pair<const VarDecl*, std::vector<Piece>>> outputs;
    for (const VarDecl* param : f->params) {
        const uint32_t size = TypeSize(param->type);
        Placeholders(param, param->valueOffset, size);
        // Samplers and other objects are uniform whether or not they say so.
        if ((param->usage & kUsageUniform) || ContainsObject(param->type)) {
            BindUniform(param, tree.Keep(("$" + std::string(param->name ? param->name : "")).c_str()));
            continue;
        }
        if (param->usage & kUsageIn) {
            const VarDecl* missing = nullptr;
            CollectPieces(param, param->type, param->packing, param->valueOffset, nullptr, 0, &inputs, &missing);
            if (missing) Error(missing->loc, lowmsg::kInputMissingSemantic, f->name, missing->name);
        }
        if (param->usage & kUsageOut) {
            std::vector<Piece> pieces;
            const VarDecl* missing = nullptr;
            CollectPieces(param, param->type, param->packing, param->valueOffset, nullptr, 0, &pieces, &missing);
            if (missing) Error(missing->loc, lowmsg::kOutputMissingSemantic, f->name, missing->name);
            outputs.emplace_back(param, std::move(pieces));
        }
    }
    if (Failed()) return Result();
    // 3. inputs in semantic order
    BindInputs(f, inputs);

    // 4, 5. the body
    mask = {Literal(1)};
    going = mask;
    returned = false;
    expanding.insert(f);
    LowerStatements(f->body);
    expanding.erase(f);
    if (Failed()) return Result();
    MergeReturns(0);
    here = f->loc;
    if (f->returnType && !returned) {
        Error(f->loc, lowmsg::kMustReturn, f->name);
        return Result();
    }

    // 6. the return value
    if (f->returnType) {
        std::vector<Piece> pieces;
        const VarDecl* missing = nullptr;
        const Node* owner = f->semantic ? static_cast<const Node*>(f) : nullptr;
        CollectPieces(nullptr, f->returnType, 0, f->returnOffset, owner, 0, &pieces, &missing);
        if (missing || (pieces.empty() && TypeSize(f->returnType) > 0)) {
            Error(f->loc, lowmsg::kReturnMissingSemantic, f->name);
            return Result();
        }
        // The outputs read the returned value where it is returned, so that
        // a component never assigned is reported at the "return".
        if (entryReturn) here = entryReturn->loc;
        WriteOutputs(pieces);
        here = f->loc;
    }
    // 7. out parameters
    for (auto& [param, pieces] : outputs) {
        bool unassigned = false;
        for (uint32_t i = 0; i < TypeSize(param->type); ++i)
            if (IsPlaceholder(map[param->valueOffset + i])) unassigned = true;
        if (unassigned) {
            Error(param->loc, lowmsg::kOutputNeverAssigned, f->name, param->name);
            continue;
        }
        WriteOutputs(pieces);
    }
    return Result();
}

}  // namespace hlsl::lowering
