// Variable records of the debug information: which target instruction writes
// which component of which variable. Every intermediate argument remembers the
// variable it belongs to and its component offset inside it; after a target
// instruction is encoded, its destination components are matched with the
// outputs of the intermediate instructions it was made from.
#include <algorithm>

#include "shader/backend/codegen/code_generator.h"
#include "shader/frontend/lowering/uniform_description.h"
#include "shader/frontend/program_tree.h"
#include "shader/frontend/types.h"

namespace codegen {

namespace {

const hlsl::VarDecl* AsVariable(const void* declaration) {
    const auto* node = static_cast<const hlsl::Node*>(declaration);
    if (!node || node->kind != hlsl::NodeKind::VarDecl) return nullptr;
    return static_cast<const hlsl::VarDecl*>(node);
}

// "float4x4 bones[4] : BLENDWEIGHT": the declared type, the name with its
// array dimensions, and the semantics.
std::string DeclarationText(const hlsl::VarDecl& v) {
    const hlsl::Type* t = v.type;
    std::string dims;
    while (t && t->kind == hlsl::Type::kArray) {
        dims += "[" + std::to_string(t->count) + "]";
        t = t->element;
    }
    std::string type;
    if (t && t->kind == hlsl::Type::kStruct) type = t->structure && t->structure->name ? t->structure->name : "struct";
    else type = hlsl::TypeName(t);
    if (t && t->cls == hlsl::kMatrix && (v.packing & hlsl::kRowMajor)) type = "row_major " + type;
    std::string text = type + " " + (v.name ? v.name : "") + dims;
    for (const char* semantic : v.semantics)
        if (semantic) text += std::string(" : ") + semantic;
    return text;
}

}  // namespace

void CodeGenerator::NameValuesByTheirVariables() {
    ComputeUses();
    auto unnamedTemp = [&](int32_t arg) {
        return !args[arg].declaration && ClassOf(arg) == ArgClass::Temp && args[arg].firstWriter >= 0;
    };
    auto name = [&](int32_t to, int32_t from) {
        args[to].declaration = args[from].declaration;
        args[to].name = args[from].name;
        args[to].offset = args[from].offset;
    };
    // A value moved into a variable is that variable, and so is a copy of a
    // variable's value (the vectoriser gathers components through copies).
    for (const IrInstruction& inst : instructions) {
        if (inst.code() != kOpMove) continue;
        for (size_t c = 0; c < inst.outputs.size() && c < inst.inputs.size(); ++c) {
            const int32_t out = inst.outputs[c], in = inst.inputs[c];
            if (out < 0 || in < 0) continue;
            if (args[out].declaration && unnamedTemp(in)) name(in, out);
            else if (args[in].declaration && ClassOf(in) == ArgClass::Temp && unnamedTemp(out)) name(out, in);
        }
    }
}

uint16_t CodeGenerator::DebugFileIndex(const char* file) {
    if (!file || !*file) return 0xFFFF;
    auto it = std::find(debugFiles_.begin(), debugFiles_.end(), file);
    if (it != debugFiles_.end()) return uint16_t(it - debugFiles_.begin());
    if (debugFiles_.size() >= 0xFFFF) return 0xFFFF;
    debugFiles_.push_back(file);
    return uint16_t(debugFiles_.size() - 1);
}

void CodeGenerator::NoteVariableWrites(const MInst& m, size_t first, size_t last) {
    if (!m.hasDest || m.dest.relative || stream_.DebugRecords().empty()) return;
    const uint32_t record = uint32_t(stream_.DebugRecords().size() - 1);
    std::vector<VariableWrite> writes;
    uint32_t matched = 0;
    for (size_t i = first; i < last && i < instructions.size(); ++i) {
        for (int32_t out : instructions[i].outputs) {
            if (out < 0 || !args[out].declaration) continue;
            const RegRef r = RegisterOf(out);
            const uint32_t bit = 1u << r.component;
            if (!r.valid || r.type != m.dest.type || r.number != m.dest.number) continue;
            if (!(m.dest.mask & bit) || (matched & bit)) continue;
            matched |= bit;
            auto it = std::find_if(writes.begin(), writes.end(), [&](const VariableWrite& w) {
                return w.declaration == args[out].declaration;
            });
            if (it == writes.end()) {
                writes.push_back({args[out].declaration, record, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}});
                it = writes.end() - 1;
            }
            it->components[r.component] = uint16_t(std::min<uint32_t>(args[out].offset, 0xFFFE));
        }
    }
    variableWrites_.insert(variableWrites_.end(), writes.begin(), writes.end());
}

void CodeGenerator::CollectDebugVariables(DebugInfo* debug) const {
    // Variables in the order the lowering met them: the globals, then the
    // entry's parameters and locals.
    std::vector<const hlsl::VarDecl*> order;
    for (const IrArgument& a : args) {
        const hlsl::VarDecl* v = AsVariable(a.declaration);
        if (v && std::find(order.begin(), order.end(), v) == order.end()) order.push_back(v);
    }
    for (const hlsl::VarDecl* v : order) {
        DebugVariable variable;
        for (const VariableWrite& w : variableWrites_)
            if (w.declaration == v) variable.writes.push_back(DbugWriteRecord{w.instruction, {w.components[0],
                                                              w.components[1], w.components[2], w.components[3]}});
        // Globals are listed when the program writes them; uniforms never are.
        if (v->varKind == hlsl::kGlobalVar && variable.writes.empty()) continue;
        if (v->varKind == hlsl::kAnnotationVar) continue;
        variable.declaration = DeclarationText(*v);
        variable.name = v->name ? v->name : "";
        std::vector<float> defaults;
        variable.hasType = hlsl::DescribeUniform(v, &variable.type, &defaults);
        debug->variables.push_back(std::move(variable));
    }
}

}  // namespace codegen
