// Shapes of expressions the lowering recognises before lowering them (loop
// counters, branch conditions): implicit conversions are looked through.
#pragma once

#include "shader/frontend/program_tree.h"

namespace hlsl::lowering {

inline const Expr* WithoutConversion(const Expr* e) {
    while (e && e->kind == NodeKind::Conversion) {
        const ConversionExpr* c = static_cast<const ConversionExpr*>(e);
        if (c->form != ConversionExpr::kImplicit || c->args.size() != 1) break;
        e = c->args[0];
    }
    return e;
}

// The variable `e` reads as a whole, or null.
inline const VarDecl* VariableOf(const Expr* e) {
    e = WithoutConversion(e);
    return e && e->kind == NodeKind::VarRef ? static_cast<const VarRefExpr*>(e)->var : nullptr;
}

}  // namespace hlsl::lowering
