// Vertex fragments: pieces of a vertex shader that a linker joins later. A
// fragment declares nothing; its "FINF" block names every register the linker
// has to rename or connect: constants as "c_<name>" (with the register they
// are bound to in the reserved word), literal registers as "c_$zz<n>" with
// their values, the private temporaries as "r_$Int<n>", inputs as
// "v_<usage><index>" (and "n_<variable>" in debug mode). Inputs and outputs
// whose semantic starts with "r_" are temporaries shared between fragments.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "shader/backend/codegen/code_generator.h"
#include "shader/backend/codegen/codegen_messages.h"
#include "shader/backend/codegen/semantic_tables.h"
#include "shader/frontend/lowering/lowering.h"
#include "shader/frontend/program_tree.h"

namespace codegen {

using namespace gfx::isa;

namespace {

constexpr int32_t kHighestConstantRegister = 8191;
// Reserved word of a literal register's record.
constexpr uint16_t kLiteralRecord = 1;

bool IsSharedTemporary(const char* semantic) {
    return semantic && (semantic[0] == 'r' || semantic[0] == 'R') && semantic[1] == '_';
}

std::string Lower(const char* text) {
    std::string s = text ? text : "";
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The register number of a "c" binding ("c12"), saturated; -1 for any other.
int32_t ConstantBinding(const std::string& binding) {
    if (binding.size() < 2 || std::tolower(static_cast<unsigned char>(binding[0])) != 'c') return -1;
    int64_t number = 0;
    for (size_t i = 1; i < binding.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(binding[i]))) return -1;
        number = std::min<int64_t>(number * 10 + (binding[i] - '0'), 0x7FFFFFFF);
    }
    return int32_t(number);
}

CtabConstant RegisterRecord(std::string name, uint32_t registerIndex) {
    CtabConstant c;
    c.name = std::move(name);
    c.registerSet = RegisterSet::Float4;
    c.registerIndex = uint16_t(registerIndex);
    c.registerCount = 1;
    c.type.parameterClass = ParameterClass::Vector;
    c.type.parameterType = ParameterType::Float;
    c.type.rows = 1;
    c.type.columns = 4;
    return c;
}

}  // namespace

void CodeGenerator::ReserveSharedTemporaries() {
    sharedTemporaries_.clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const ArgClass cls = ClassOf(int32_t(i));
        if (cls != ArgClass::Input && cls != ArgClass::Output) continue;
        const char* semantic = hlsl::SemanticOf(args[i].semanticNode);
        if (!IsSharedTemporary(semantic)) continue;
        const std::string name = Lower(semantic);
        if (std::find(sharedTemporaries_.begin(), sharedTemporaries_.end(), name) == sharedTemporaries_.end())
            sharedTemporaries_.push_back(name);
    }
    if (sharedTemporaries_.empty() || size_t(kPoolTemps) >= physicalRegisters.size()) return;
    int32_t& temps = physicalRegisters[kPoolTemps];
    if (temps >= 0) temps = std::max<int32_t>(temps - int32_t(sharedTemporaries_.size()), 0);
}

HRESULT CodeGenerator::ResolveSharedTemporaries() {
    if (sharedTemporaries_.empty()) return S_OK;
    // Numbered in order of first use; names no instruction uses keep their
    // place after the others.
    std::vector<int32_t> firstUse(sharedTemporaries_.size(), 0x7FFFFFFF);
    std::vector<const void*> reported;
    bool failed = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const IrArgument& a = args[i];
        const ArgClass cls = ClassOf(int32_t(i));
        if (cls != ArgClass::Input && cls != ArgClass::Output) continue;
        const char* semantic = hlsl::SemanticOf(a.semanticNode);
        if (!IsSharedTemporary(semantic)) continue;
        const size_t k = size_t(std::find(sharedTemporaries_.begin(), sharedTemporaries_.end(), Lower(semantic)) -
                                sharedTemporaries_.begin());
        if (k >= sharedTemporaries_.size()) continue;
        if (a.firstUse >= 0) firstUse[k] = std::min(firstUse[k], a.firstUse);
        // One register at most: a temporary holds four components.
        const bool multiRegister = a.reg > 0 || pools[a.pool].registerCount > 1;
        if (multiRegister && std::find(reported.begin(), reported.end(), a.semanticNode) == reported.end()) {
            reported.push_back(a.semanticNode);
            const SourceLocation where = hlsl::SemanticLocation(a.semanticNode);
            Report(&where, codegen_diag::kFragmentMultiRegister, semantic);
            failed = true;
        }
    }
    if (failed) return E_FAIL;
    std::vector<size_t> order(sharedTemporaries_.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return firstUse[x] < firstUse[y]; });
    std::vector<std::string> numbered;
    for (size_t k : order) numbered.push_back(sharedTemporaries_[k]);
    sharedTemporaries_ = std::move(numbered);

    for (size_t i = 0; i < args.size(); ++i) {
        IrArgument& a = args[i];
        const ArgClass cls = ClassOf(int32_t(i));
        if (cls == ArgClass::Temp && a.reg >= 0) {
            a.reg += int32_t(sharedTemporaries_.size());
            continue;
        }
        if ((cls != ArgClass::Input && cls != ArgClass::Output) || a.reg < 0) continue;
        const char* semantic = hlsl::SemanticOf(a.semanticNode);
        if (!IsSharedTemporary(semantic)) continue;
        IoRegister io;
        io.type = REG_TEMP;
        io.number = uint32_t(std::find(sharedTemporaries_.begin(), sharedTemporaries_.end(), Lower(semantic)) -
                             sharedTemporaries_.begin());
        io.valid = true;
        ioRegisters_[{a.pool, a.reg}] = io;
    }
    return S_OK;
}

HRESULT CodeGenerator::CheckFragmentBindings() {
    bool failed = false;
    for (const ArgumentPool& pool : pools) {
        if (!(pool.flags & kPoolUniform) || (pool.flags & (kPoolSampler | kPoolLiteral))) continue;
        const int32_t number = ConstantBinding(pool.binding);
        if (number <= kHighestConstantRegister) continue;
        const auto* node = static_cast<const hlsl::Node*>(pool.declaration);
        const auto* variable =
            node && node->kind == hlsl::NodeKind::VarDecl ? static_cast<const hlsl::VarDecl*>(node) : nullptr;
        const SourceLocation where = node ? node->loc : SourceLocation{};
        Report(&where, codegen_diag::kFragmentBindingTooHigh, variable && variable->name ? variable->name : "",
               int(number));
        failed = true;
    }
    return failed ? E_FAIL : S_OK;
}

uint16_t CodeGenerator::FragmentReservedWord(const void* declaration) const {
    if (!declaration) return 0;
    for (const ArgumentPool& pool : pools) {
        if (pool.declaration != declaration || !(pool.flags & kPoolUniform) || (pool.flags & kPoolSampler)) continue;
        const int32_t number = ConstantBinding(pool.binding);
        if (number >= 0 && number <= kHighestConstantRegister) return uint16_t(number * 4 + 2);
    }
    return 0;
}

HRESULT CodeGenerator::BuildFragmentInfo(std::vector<CtabConstant> constants, std::vector<uint32_t>* block) {
    std::vector<CtabConstant> extras;
    for (size_t r = 0; r < literalValues_.size() && r < literalBase_.size(); ++r) {
        CtabConstant c = RegisterRecord("c_$zz" + std::to_string(literalBase_[r]), uint32_t(literalBase_[r]));
        c.reserved = kLiteralRecord;
        for (double value : literalValues_[r]) c.defaultValue.push_back(float(value));
        extras.push_back(std::move(c));
    }
    const uint32_t shared = uint32_t(sharedTemporaries_.size());
    for (uint32_t k = 0; k < shared; ++k) extras.push_back(RegisterRecord(sharedTemporaries_[k], k));
    for (int t = int(shared); t < TempLimit(); ++t)
        extras.push_back(RegisterRecord("r_$Int" + std::to_string(t), uint32_t(t)));
    // Inputs by register: their usage and, in debug mode, the variables read there.
    std::vector<uint32_t> inputRegisters;
    std::vector<std::pair<std::string, uint32_t>> variables;
    for (const auto& [key, io] : ioRegisters_) {
        if (!io.valid || io.type != REG_INPUT) continue;
        if (std::find(inputRegisters.begin(), inputRegisters.end(), io.number) == inputRegisters.end()) {
            inputRegisters.push_back(io.number);
            if (const char* usage = NameOfUsage(io.usage))
                extras.push_back(RegisterRecord("v_" + std::string(usage) + std::to_string(io.usageIndex), io.number));
        }
        if (!Skip(kFlagDebug)) continue;
        for (const IrArgument& a : args) {
            if (a.pool != key.first || a.reg != key.second || !a.name || !*a.name) continue;
            const std::pair<std::string, uint32_t> variable{"n_" + std::string(a.name), io.number};
            if (std::find(variables.begin(), variables.end(), variable) == variables.end()) {
                variables.push_back(variable);
                extras.push_back(RegisterRecord(variable.first, io.number));
            }
        }
    }
    std::stable_sort(extras.begin(), extras.end(), [](const CtabConstant& a, const CtabConstant& b) {
        return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    ConstantTableOptions options;
    options.tag = kTagFragmentInfo;
    options.version = version & 0x7FFFFFFFu;
    options.fragmentNames = true;
    return ::BuildConstantTable(options, std::move(constants), extras, block);
}

}  // namespace codegen
