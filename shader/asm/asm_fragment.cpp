#include "shader/asm/asm_fragment.h"

#include <algorithm>
#include <cstring>

#include "shader/asm/asm_messages.h"

using namespace gfx::isa;

namespace {

// "texcoord1" -> true (a usage name and an index 0-15).
bool IsUsageWithIndex(const std::string& text) {
    size_t digits = text.size();
    while (digits > 0 && text[digits - 1] >= '0' && text[digits - 1] <= '9') --digits;
    if (text.size() - digits > 2) return false;
    const int index = digits < text.size() ? std::stoi(text.substr(digits)) : 0;
    if (index > 15) return false;
    for (DWORD u = 0; u < kDeclUsageCount; ++u)
        if (text.compare(0, digits, DeclUsageName(u)) == 0 && std::strlen(DeclUsageName(u)) == digits) return true;
    return false;
}

}  // namespace

bool FragmentNames::Resolve(const AsmOperand& operand, Profile profile, ErrorLog& log, ResolvedRegister* out,
                            bool* ok) {
    *out = ResolvedRegister{};
    const char* name = operand.name;
    const size_t length = std::strlen(name);
    const bool prefixed = length >= 2 && name[1] == '_';
    if (prefixed && std::strchr("vrcbi", name[0])) {
        if (length == 2) {
            log.Report(&operand.at, asmdiag::kFragmentInvalidName, name);
            *ok = false;
            return true;
        }
        switch (name[0]) {
            case 'v': *ok = Input(operand, name + 2, log, out); break;
            case 'r': *ok = Temporary(operand, profile, log, out); break;
            default: *ok = Constant(operand, name[0], profile, log, out); break;
        }
        return true;
    }
    // Ordinary numbered temporaries and constants would clash with the linker's.
    if ((name[0] == 'r' || name[0] == 'c') && (name[1] == '\0' || (name[1] >= '0' && name[1] <= '9'))) {
        log.Report(&operand.at, asmdiag::kFragmentNumberedRegister);
        *ok = false;
        return true;
    }
    if (prefixed) {
        log.Report(&operand.at, asmdiag::kFragmentBadPrefix, name);
        *ok = false;
        return true;
    }
    return false;
}

bool FragmentNames::Input(const AsmOperand& operand, const std::string& usage, ErrorLog& log, ResolvedRegister* out) {
    if (operand.bracketed) {
        log.Report(&operand.at, asmdiag::kFragmentInputAddressing, operand.name);
        return false;
    }
    if (!IsUsageWithIndex(usage)) {
        log.Report(&operand.at, asmdiag::kFragmentInvalidInput, operand.name);
        return false;
    }
    auto found = inputs_.find(operand.name);
    if (found == inputs_.end()) {
        if (inputs_.size() >= 16) {
            log.Report(&operand.at, asmdiag::kFragmentInvalidInput, operand.name);
            return false;
        }
        found = inputs_.emplace(operand.name, uint32_t(inputs_.size())).first;
    }
    out->row = FindRegister("v");
    out->type = REG_INPUT;
    out->number = found->second;
    return true;
}

bool FragmentNames::Temporary(const AsmOperand& operand, Profile profile, ErrorLog& log, ResolvedRegister* out) {
    if (operand.bracketed) {
        log.Report(&operand.at, asmdiag::kFragmentTempAddressing, operand.name);
        return false;
    }
    auto found = temporaries_.find(operand.name);
    if (found == temporaries_.end()) {
        if (temporaries_.size() >= size_t(FindRegister("r")->Limit(profile))) {
            log.Report(&operand.at, asmdiag::kFragmentInvalidName, operand.name);
            return false;
        }
        found = temporaries_.emplace(operand.name, uint32_t(temporaries_.size())).first;
    }
    out->row = FindRegister("r");
    out->type = REG_TEMP;
    out->number = found->second;
    return true;
}

bool FragmentNames::Constant(const AsmOperand& operand, char kind, Profile profile, ErrorLog& log,
                             ResolvedRegister* out) {
    const char* variable = operand.name + 2;
    const RegisterSet set = kind == 'c' ? RegisterSet::Float4 : kind == 'b' ? RegisterSet::Bool : RegisterSet::Int4;
    const CtabConstant* record = nullptr;
    for (const CtabConstant& c : context_.constants)
        if (c.name == variable && c.registerSet == set) record = &c;
    if (!record) {
        log.Report(&operand.at, asmdiag::kFragmentUndefinedConstant, operand.name, variable);
        return false;
    }
    const CtabType& type = record->type;
    if (kind == 'b' && (type.parameterType != ParameterType::Bool || record->registerCount != 1)) {
        log.Report(&operand.at, asmdiag::kFragmentBoolConstant, operand.name);
        return false;
    }
    const bool int34 = type.parameterType == ParameterType::Int && type.rows == 1 &&
                       (type.columns == 3 || type.columns == 4) && type.elements == 1;
    if (kind == 'i' && (!int34 || record->registerCount != 1)) {
        log.Report(&operand.at, asmdiag::kFragmentIntConstant, operand.name);
        return false;
    }
    int64_t offset = 0;
    if (operand.bracketed) {
        offset = operand.address.offset;
        if (offset < 0 || offset >= int64_t(record->registerCount)) {
            log.Report(&operand.at, asmdiag::kFragmentConstantBounds, operand.name, int(record->registerCount),
                       int(std::clamp<int64_t>(offset, INT32_MIN, INT32_MAX)));
            return false;
        }
        if (operand.address.registers > 0) {
            // Relative addressing of a constant array: the address register as usual.
            ResolvedRegister address;
            AsmOperand plain = operand;
            plain.name = "c";
            plain.address.offset = int64_t(record->registerIndex) + offset;
            if (!ResolveRegister(plain, profile, log, &address)) return false;
            out->relative = true;
            out->addressType = address.addressType;
            out->addressComponent = address.addressComponent;
        }
    }
    constants_.emplace(operand.name, *record);
    const DWORD index = DWORD(record->registerIndex + offset);
    out->row = FindRegister(kind == 'c' ? "c" : kind == 'b' ? "b" : "i");
    out->type = kind == 'c' ? ConstantRegisterType(index) : kind == 'b' ? DWORD(REG_CONSTBOOL) : DWORD(REG_CONSTINT);
    out->number = kind == 'c' ? (index & 2047) : index;
    return true;
}

HRESULT FragmentNames::BuildInfo(std::vector<uint32_t>* block) const {
    std::vector<CtabConstant> records;
    auto registerRecord = [](const std::string& name, uint32_t number) {
        CtabConstant c;
        c.name = name;
        c.registerSet = RegisterSet::Float4;
        c.registerIndex = uint16_t(number);
        c.registerCount = 1;
        c.type.parameterClass = ParameterClass::Vector;
        c.type.parameterType = ParameterType::Float;
        c.type.columns = 4;
        return c;
    };
    for (const auto& [name, number] : inputs_) records.push_back(registerRecord(name, number));
    for (const auto& [name, number] : temporaries_) records.push_back(registerRecord(name, number));
    for (const auto& [name, record] : constants_) {
        CtabConstant c = record;
        c.name = name;
        records.push_back(std::move(c));
    }
    std::sort(records.begin(), records.end(),
              [](const CtabConstant& a, const CtabConstant& b) { return std::strcmp(a.name.c_str(), b.name.c_str()) < 0; });
    ConstantTableOptions options;
    options.tag = kTagFragmentInfo;
    options.version = 0;
    options.creator = kAssemblerCreator;
    return BuildConstantTable(options, {}, records, block);
}
