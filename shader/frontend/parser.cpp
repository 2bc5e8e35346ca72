// The Parser's frame: running the grammar, reporting, and the helpers that
// every construct file shares.
#include "shader/frontend/parser.h"

#include <cstdio>
#include <cstring>

#include "shader/frontend/hlsl.tab.h"
#include "shader/frontend/messages.h"
#include "shader/preprocess/preprocessor.h"

int hlslparse(hlsl::Parser* p);

namespace hlsl {

Parser::Parser(Preprocessor& pp, uint32_t flags) : pp_(pp), flags_(flags) {
    voidType_.kind = Type::kBase;
    voidType_.cls = kObject;
    voidType_.base = kNull;
}

Parser::~Parser() = default;

HRESULT Parser::Parse(std::unique_ptr<ProgramTree>* out) {
    if (!out) return D3DERR_INVALIDCALL;
    out->reset();
    // A parser may be run again: nothing of an earlier parse carries over.
    tree_ = std::make_unique<ProgramTree>();
    scope_ = nullptr;
    usageStack_.clear();
    structStack_.clear();
    lastDeclared_.clear();
    currentFunction_ = nullptr;
    error_ = fatal_ = havePending_ = false;
    streamResult_ = S_OK;
    stateDepth_ = 0;
    HRESULT hr = pp_.Begin(kModeHlsl);
    if (FAILED(hr)) return hr;
    errorsAtStart_ = pp_.Log().ErrorCount();
    OpenScope(kProgramScope);
    int result = hlslparse(this);
    pp_.End();
    while (scope_) CloseScope();
    if (fatal_ || error_ || result != 0) {
        tree_.reset();
        if (FAILED(streamResult_) && streamResult_ != E_FAIL) return streamResult_;
        return E_FAIL;
    }
    if (FAILED(streamResult_)) {
        tree_.reset();
        return streamResult_;
    }
    *out = std::move(tree_);
    return S_OK;
}

// ---------------------------------------------------------------- reporting

void Parser::Report(const SourceLocation& loc, const Diagnostic* d, ...) {
    // Front-end messages are cut at 255 characters before they reach the log.
    char text[ErrorLog::kShortMessage];
    va_list args;
    va_start(args, d);
    std::vsnprintf(text, sizeof text, d->format, args);
    va_end(args);
    if (d->warning) {
        pp_.Log().ReportWarning(&loc, d->number, "%s", text);
    } else {
        pp_.Log().ReportError(&loc, d->number, "%s", text);
        error_ = true;
    }
}

void Parser::Internal(const Diagnostic& d) {
    if (fatal_) return;
    SourceLocation loc = lookahead_.Location();
    pp_.Log().ReportError(&loc, 0, "%s", d.format);
    fatal_ = true;
    error_ = true;
}

void Parser::SyntaxError(const char* bisonMessage) {
    if (bisonMessage && std::strstr(bisonMessage, "exhausted")) {
        Internal(msg::kStackOverflow);
        return;
    }
    // Only the first error of a parse is a syntax error worth reading.
    if (error_ || pp_.Log().ErrorCount() > errorsAtStart_) {
        error_ = true;
        return;
    }
    char what[128];
    DescribeToken(lookahead_, true, what, sizeof what);
    Error(lookahead_.Location(), msg::kSyntaxError, what);
}

void Parser::RecoverTopLevel() {
    while (scope_ && scope_->outer) CloseScope();
    loopDepth_ = 0;
    usageStack_.clear();
    structStack_.clear();
    currentFunction_ = nullptr;
    stateDepth_ = 0;
}

// ---------------------------------------------------------------- shared helpers

const Token* Parser::KeepToken(const Token& t) {
    tokens_.push_back(t);
    return &tokens_.back();
}

const LiteralExpr* Parser::AsLiteral(const Expr* e) {
    return e && e->kind == NodeKind::Literal ? static_cast<const LiteralExpr*>(e) : nullptr;
}

Expr* Parser::NewLiteral(const Type* type, Values values, const SourceLocation& loc) {
    LiteralExpr* lit = tree_->New<LiteralExpr>(loc);
    lit->type = type;
    lit->values = std::move(values);
    return lit;
}

uint32_t Parser::AllocateSlots(const Type* type) {
    uint32_t at = tree_->valueAreaSize;
    uint64_t next = uint64_t(at) + TypeSize(type);
    tree_->valueAreaSize = next > kMaxTypeSize ? kMaxTypeSize : uint32_t(next);
    return at;
}

namespace {
bool SameType(const Type* a, const Type* b) {
    if (a == b) return true;
    if (!a || !b || a->kind != b->kind) return false;
    switch (a->kind) {
        case Type::kBase:
            return a->base == b->base && a->cls == b->cls && a->rows == b->rows && a->cols == b->cols;
        case Type::kArray:
            return a->count == b->count && SameType(a->element, b->element);
        case Type::kStruct:
            return a->structure == b->structure;
    }
    return false;
}
}  // namespace

Expr* Parser::Convert(Expr* e, const Type* to, bool isExplicit, const char* name) {
    if (!e || !to) return nullptr;
    if (!e->type) {
        Error(e->loc, msg::kCannotConvert, "", "void", TypeName(to).c_str());
        return nullptr;
    }
    if (SameType(e->type, to) && !isExplicit) return e;
    if (!CanConvert(to, e->type, isExplicit)) {
        const char* how = !isExplicit && !CanConvert(to, e->type, true) ? "implicitly " : "";
        std::string from = TypeName(e->type), target = TypeName(to);
        if (name)
            Error(e->loc, msg::kNamedCannotConvert, name, how, from.c_str(), target.c_str());
        else
            Error(e->loc, msg::kCannotConvert, how, from.c_str(), target.c_str());
        return nullptr;
    }
    if (const LiteralExpr* lit = AsLiteral(e)) {
        Values converted;
        if (IsNumeric(to) && ConvertValues(lit->values, to, &converted))
            return NewLiteral(to, std::move(converted), e->loc);
    }
    ConversionExpr* c = tree_->New<ConversionExpr>(e->loc);
    c->form = isExplicit ? ConversionExpr::kCast : ConversionExpr::kImplicit;
    c->type = to;
    c->args.push_back(e);
    return c;
}

bool Parser::IsAssignable(const Expr* e) const {
    if (!e || !e->type || e->type->IsConst()) return false;
    switch (e->kind) {
        case NodeKind::VarRef:
            return true;
        case NodeKind::Member:
            return IsAssignable(static_cast<const MemberExpr*>(e)->base);
        case NodeKind::Index:
            return IsAssignable(static_cast<const IndexExpr*>(e)->base);
        default:
            return false;
    }
}

// ---------------------------------------------------------------- usages and types

UsageSpec* Parser::NewUsage(const SourceLocation& loc) {
    usages_.emplace_back();
    usages_.back().loc = loc;
    return &usages_.back();
}

void Parser::AddUsage(UsageSpec* u, uint32_t bit, const SourceLocation& loc) {
    if (u->bits & bit) Error(loc, msg::kDuplicateUsage);
    u->bits |= bit;
}

void Parser::AddUsageTarget(UsageSpec* u, const Token* target) {
    if (u->target) {
        // Two target names: the same report as any other syntax error.
        lookahead_ = *target;
        SyntaxError("syntax error");
        return;
    }
    u->target = tree_->Keep(target->value.text);
}

const Type* Parser::TypeOfName(const Token* typeName) {
    auto it = typeNames_.find(typeName);
    return it == typeNames_.end() ? tree_->types.Scalar(kFloat) : it->second;
}

const Type* Parser::KeywordType(int terminal) {
    TypeTable& t = tree_->types;
    switch (terminal) {
        case TK_BOOL: return t.Scalar(kBool);
        case TK_INT: return t.Scalar(kInt);
        case TK_HALF: return t.Scalar(kHalf);
        case TK_FLOAT: return t.Scalar(kFloat);
        case TK_DOUBLE: return t.Scalar(kDouble);
        case TK_VECTOR: return t.Vector(kFloat, 4);
        case TK_MATRIX: return t.Matrix(kFloat, 4, 4);
        case TK_STRING: return t.Object(kString);
        case TK_TEXTURE: return t.Object(kTexture);
        case TK_TEXTURE1D: return t.Object(kTexture1D);
        case TK_TEXTURE2D: return t.Object(kTexture2D);
        case TK_TEXTURE3D: return t.Object(kTexture3D);
        case TK_TEXTURECUBE: return t.Object(kTextureCube);
        case TK_SAMPLER: return t.Object(kSampler);
        case TK_SAMPLER1D: return t.Object(kSampler1D);
        case TK_SAMPLER2D: return t.Object(kSampler2D);
        case TK_SAMPLER3D: return t.Object(kSampler3D);
        case TK_SAMPLERCUBE: return t.Object(kSamplerCube);
        case TK_PIXELSHADER: return t.Object(kPixelShader);
        case TK_VERTEXSHADER: return t.Object(kVertexShader);
        case TK_PIXELFRAGMENT: return t.Object(kPixelFragment);
        case TK_VERTEXFRAGMENT: return t.Object(kVertexFragment);
        default: Internal(msg::kUnhandledProduction); return t.Scalar(kFloat);
    }
}

namespace {
// A template dimension: a literal scalar between 1 and 4. Returns 0 after
// reporting.
unsigned TemplateDimension(Parser& p, Expr* e, const Diagnostic& notLiteral, const Diagnostic& range,
                           const SourceLocation& loc) {
    const LiteralExpr* lit = Parser::AsLiteral(e);
    if (!lit || lit->values.empty() || !lit->type->IsBase() || lit->type->cls == kObject) {
        p.Error(loc, notLiteral);
        return 0;
    }
    uint32_t n = LiteralToUnsigned(lit->values[0]);
    if (n < 1 || n > 4) {
        p.Error(loc, range, 4u);
        return 0;
    }
    return n;
}
}  // namespace

const Type* Parser::VectorTemplate(const Type* component, Expr* size, const SourceLocation& loc) {
    unsigned n = TemplateDimension(*this, size, msg::kVectorDimLiteral, msg::kVectorDimRange, loc);
    BaseType base = component && component->IsBase() && component->cls != kObject ? component->base : kFloat;
    return tree_->types.Vector(base, n ? n : 4);
}

const Type* Parser::MatrixTemplate(const Type* component, Expr* rows, Expr* cols, const SourceLocation& loc) {
    unsigned r = TemplateDimension(*this, rows, msg::kMatrixDimLiteral, msg::kMatrixDimRange, loc);
    unsigned c = r ? TemplateDimension(*this, cols, msg::kMatrixDimLiteral, msg::kMatrixDimRange, loc) : 0;
    BaseType base = component && component->IsBase() && component->cls != kObject ? component->base : kFloat;
    return tree_->types.Matrix(base, r ? r : 4, c ? c : 4);
}

}  // namespace hlsl
