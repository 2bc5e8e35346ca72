// Scopes and symbols: opening and closing scopes, adding declarations with
// their redefinition checks, and looking names up from the innermost scope
// outwards.
#include <cstring>

#include "shader/frontend/messages.h"
#include "shader/frontend/parser.h"

namespace hlsl {

void Parser::OpenScope(ScopeKind kind) {
    scopePool_.emplace_back();
    Scope* s = &scopePool_.back();
    s->kind = kind;
    s->outer = scope_;
    s->number = kind == kParameterScope ? ++scopeCounter_ : scope_ ? scope_->number : 0;
    scope_ = s;
}

void Parser::CloseScope() {
    if (!scope_) {
        Internal(msg::kScopeUnderflow);
        return;
    }
    Scope* closing = scope_;
    scope_ = closing->outer;
    // A for statement's variables stay reachable after the loop, hidden from
    // redefinition checks.
    if (closing->kind == kForScope && scope_ && scope_->kind != kForScope) {
        for (Symbol& s : closing->symbols) {
            s.hidden = true;
            scope_->symbols.push_back(s);
        }
    }
}

void Parser::CloseScope(ScopeKind kind) {
    bool present = false;
    for (Scope* s = scope_; s; s = s->outer) present = present || s->kind == kind;
    if (!present) {
        CloseScope();  // reports the underflow when nothing is open
        return;
    }
    while (scope_ && scope_->kind != kind) CloseScope();
    CloseScope();
}

ScopeKind Parser::CurrentScopeKind() const { return scope_ ? scope_->kind : kProgramScope; }

const char* Parser::LookupWords(Decl* d) const {
    static const char* const kWords[] = {"type", "variable", "function", "techinque", "pass"};
    return d ? kWords[d->declKind] : "variable";
}

void Parser::AddSymbol(Decl* d, const char* name, const SourceLocation& loc) {
    if (!scope_) {
        Internal(msg::kScopeMissing);
        return;
    }
    if (!name) return;
    for (const Symbol& s : scope_->symbols) {
        if (s.hidden || std::strcmp(s.name, name) != 0) continue;
        if (s.decl->declKind == kDeclFunction && d->declKind == kDeclFunction) continue;
        Error(loc, msg::kRedefinition, name);
        return;
    }
    if (scope_->kind == kBlockScope && scope_->outer && scope_->outer->kind == kParameterScope) {
        for (const Symbol& s : scope_->outer->symbols) {
            if (std::strcmp(s.name, name) == 0) {
                Error(loc, msg::kParameterRedefinition, name);
                return;
            }
        }
    }
    Symbol sym;
    sym.decl = d;
    sym.name = name;
    sym.scopeNumber = scope_->number;
    sym.sequence = ++sequence_;
    scope_->symbols.push_back(sym);
}

Symbol* Parser::Lookup(const char* name, bool* hiddenConflict) {
    if (hiddenConflict) *hiddenConflict = false;
    if (!name) return nullptr;
    for (Scope* sc = scope_; sc; sc = sc->outer) {
        for (auto it = sc->symbols.rbegin(); it != sc->symbols.rend(); ++it) {
            if (std::strcmp(it->name, name) != 0) continue;
            if (it->hidden && hiddenConflict) {
                // Does an outer declaration of the same name exist as well?
                for (Scope* o = sc; o && !*hiddenConflict; o = o->outer)
                    for (const Symbol& other : o->symbols)
                        if (!other.hidden && &other != &*it && std::strcmp(other.name, name) == 0) {
                            *hiddenConflict = true;
                            break;
                        }
            }
            return &*it;
        }
    }
    return nullptr;
}

}  // namespace hlsl
