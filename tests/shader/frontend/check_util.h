// Runs the preprocessor and parser over a source text held in memory and
// keeps what a test wants to look at: the result, the messages, the tree.
#pragma once

#include <memory>
#include <string>

#include "shader/frontend/parse_stage.h"
#include "shader/frontend/program_tree.h"
#include "shader/preprocess/preprocessor.h"

struct CheckResult {
    HRESULT hr = E_FAIL;
    std::string log;  // every message, one per line
    std::unique_ptr<hlsl::ProgramTree> tree;

    bool Ok() const { return SUCCEEDED(hr) && log.find("error") == std::string::npos; }
    // The first declaration named `name` at the top level.
    hlsl::Decl* Find(const char* name) const;
};

inline CheckResult CheckSource(const std::string& source, uint32_t flags = 0) {
    CheckResult r;
    Preprocessor pp;
    r.hr = pp.OpenMemory(source.data(), source.size(), "t.hlsl", nullptr, nullptr);
    if (SUCCEEDED(r.hr)) r.hr = hlsl::ParseProgram(pp, flags, &r.tree);
    r.log = pp.Log().Text();
    return r;
}

inline hlsl::Decl* CheckResult::Find(const char* name) const {
    if (!tree) return nullptr;
    for (hlsl::Decl* d : tree->decls)
        if (d->name && std::string(d->name) == name) return d;
    return nullptr;
}

// The literal value of global `name` (a static const variable).
inline const hlsl::LiteralExpr* GlobalLiteral(const CheckResult& r, const char* name) {
    auto* v = static_cast<hlsl::VarDecl*>(r.Find(name));
    if (!v || v->declKind != hlsl::kDeclVariable || !v->init || v->init->kind != hlsl::NodeKind::Literal)
        return nullptr;
    return static_cast<const hlsl::LiteralExpr*>(v->init);
}
