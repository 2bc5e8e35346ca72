#include "shader/backend/ir_dump.h"

#include <cstdio>

std::string IrDumper::Argument(int32_t arg) {
    if (arg < 0 || size_t(arg) >= p_.args.size()) return "-";
    const IrArgument& a = p_.args[arg];
    if ((p_.pools[a.pool].flags & kPoolLiteral) && a.reg < 0) {
        char buffer[32];
        std::snprintf(buffer, sizeof(buffer), "%g", a.literal);
        return buffer;
    }
    std::string text = p_.pools[a.pool].name;
    if (a.reg < 0) {
        auto [it, added] = names_.emplace(arg, int(names_.size()) + 1);
        return text + "#" + std::to_string(it->second);
    }
    text += std::to_string(a.reg);
    if (a.relative >= 0) text += "[" + Argument(a.relative) + "]";
    if (a.component >= 0 && a.component < 4) text += std::string(".") + "xyzw"[a.component];
    return text;
}

std::string IrDumper::Instruction(const IrInstruction& inst) {
    std::string text = std::string(OpName(inst.code())) + "[" + std::to_string(inst.count()) + "]";
    for (size_t i = 0; i < inst.outputs.size(); ++i) text += (i ? ", " : " ") + Argument(inst.outputs[i]);
    text += " <-";
    for (size_t i = 0; i < inst.inputs.size(); ++i) text += (i ? ", " : " ") + Argument(inst.inputs[i]);
    return text;
}

std::string IrDumper::Program() {
    std::string text;
    for (const IrInstruction& inst : p_.instructions)
        if (inst.code() != kOpEmpty) text += Instruction(inst) + "\n";
    return text;
}
