// The Preprocessor's token loop, its inputs (files, resources, memory,
// includes), conditionals and frames.
#include "shader/preprocess/preprocessor.h"

#include <new>

#include "shader/diagnostics.h"
#include "shader/preprocess/directive_parser.h"
#include "shader/preprocess/preprocessor_state.h"

namespace {

// A UTF-8 byte order mark at the start of a source is not text.
void SkipByteOrderMark(const char** text, size_t* length) {
    if (*length >= 3 && std::memcmp(*text, "\xEF\xBB\xBF", 3) == 0) {
        *text += 3;
        *length -= 3;
    }
}

Token EndOfFileToken(const SourceLocation& at) {
    Token token;
    token.kind = TokenKind::EndOfFile;
    token.file = at.file;
    token.line = at.line;
    return token;
}

}  // namespace

// ---------------------------------------------------------------------------
// Inputs

HRESULT Preprocessor::State::PushInput(std::unique_ptr<SourceInput> input, const char* text, size_t length,
                                       const char* fileName) {
    SkipByteOrderMark(&text, &length);
    HRESULT hr = input->tokenizer.Initialize(text, length, fileName, 1, &pool, &log);
    if (FAILED(hr)) return hr;
    inputs.push_back(std::move(input));
    atLineStart = true;
    return S_OK;
}

void Preprocessor::State::PopInput() {
    std::unique_ptr<SourceInput> input = std::move(inputs.back());
    inputs.pop_back();
    if (input->include) input->include->Close(input->handlerData);
}

HRESULT Preprocessor::State::OpenDiskInput(const char* path, const char* nameForMessages, const SourceLocation* at) {
    auto input = std::make_unique<SourceInput>();
    std::string full;
    HRESULT hr = platform::GetFullPath(path, &full);
    if (SUCCEEDED(hr)) hr = input->file.Open(full.c_str());
    if (FAILED(hr)) {
        log.Report(at, diag::kCannotOpenSource, nameForMessages);
        return ERR_INVALID_DATA;
    }
    const char* fileName = pool.Copy(full.c_str());
    if (!fileName) return E_OUTOFMEMORY;
    input->directory = platform::DirectoryOf(full);
    input->fromDisk = true;
    const char* text = reinterpret_cast<const char*>(input->file.data());
    size_t size = input->file.size();
    return PushInput(std::move(input), text, size, fileName);
}

HRESULT Preprocessor::State::OpenHandlerInput(KLINCLUDE_TYPE type, const char* name, const SourceLocation* at) {
    const char* fileName = pool.Copy(name);
    if (!fileName) return E_OUTOFMEMORY;
    LPCVOID parent = nullptr;
    if (!inputs.empty() && Innermost().include) parent = Innermost().handlerData;
    LPCVOID data = nullptr;
    UINT bytes = 0;
    HRESULT hr = include->Open(type, fileName, parent, &data, &bytes);
    if (FAILED(hr)) {
        log.Report(at, diag::kCannotOpenSource, name);
        return hr;
    }
    if (!data && bytes) {
        include->Close(data);
        log.Report(at, diag::kCannotOpenSource, name);
        return ERR_INVALID_DATA;
    }
    auto input = std::make_unique<SourceInput>();
    input->include = include;
    input->handlerData = data;
    hr = PushInput(std::move(input), static_cast<const char*>(data), bytes, fileName);
    if (FAILED(hr)) include->Close(data);
    return hr;
}

HRESULT Preprocessor::State::Include(const DeferredAction& request, const SourceLocation& at) {
    HRESULT hr = S_OK;
    if (!include && !inputs.front()->fromDisk) {
        log.Report(&at, diag::kIncludeNeedsInterface);
        hr = E_FAIL;
    } else if (inputs.size() >= static_cast<size_t>(kMaxInputs)) {
        log.Report(&at, diag::kTooManyIncludes);
        hr = E_FAIL;
    } else if (include) {
        hr = OpenHandlerInput(request.includeType, request.name.c_str(), &at);
    } else {
        // A name that is already a full path is used as it is; any other is
        // taken relative to the directory of the file holding the directive.
        std::string full;
        std::string path = request.name;
        if (FAILED(platform::GetFullPath(request.name.c_str(), &full)) || full != request.name) {
            for (auto it = inputs.rbegin(); it != inputs.rend(); ++it) {
                if ((*it)->fromDisk) {
                    path = (*it)->directory + request.name;
                    break;
                }
            }
        }
        hr = OpenDiskInput(path.c_str(), request.name.c_str(), &at);
    }
    if (FAILED(hr)) fatal = true;
    return hr;
}

HRESULT Preprocessor::State::DefineStartupMacros(const KLMACRO* callerMacros) {
    static const char kVersionText[] = "0x900";
    Token version;
    version.kind = TokenKind::Integer;
    version.value.integer = 0x900;
    version.source = kVersionText;
    version.length = 5;
    DefineMacro("DIRECT3D", false, {}, {});
    DefineMacro("KL", false, {}, {});
    DefineMacro("DIRECT3D_VERSION", false, {}, {version});
    DefineMacro("KL_VERSION", false, {}, {version});
    for (const KLMACRO* m = callerMacros; m && m->Name; ++m) {
        const char* definition = pool.Copy(m->Definition ? m->Definition : "");
        if (!definition) return E_OUTOFMEMORY;
        Tokenizer tokenizer;
        tokenizer.Initialize(definition, SIZE_MAX, nullptr, 0, &pool, &log);
        std::vector<Token> body;
        for (;;) {
            Token t;
            tokenizer.Next(kModeHlsl, &t);
            if (t.kind == TokenKind::EndOfFile) break;
            if (t.kind != TokenKind::EndOfLine) body.push_back(t);
        }
        DefineMacro(m->Name, false, {}, std::move(body));
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Reading

void Preprocessor::State::ReadRaw(Token* token, uint32_t modeBits, const HideSet** hide) {
    if (hide) *hide = nullptr;
    if (!pushback.empty()) {
        *token = pushback.front().token;
        if (hide) *hide = pushback.front().hide;
        pushback.pop_front();
        token->file = Current().FileName();
        token->line = Current().Line();
        return;
    }
    Current().Next(mode | modeBits, token);
}

bool Preprocessor::State::CallFollows() {
    if (!pushback.empty()) return pushback.front().token.IsOperator('(');
    return Current().PeekIs('(');
}

HRESULT Preprocessor::State::Next(Token* out) {
    for (;;) {
        if (fatal) {
            *out = EndOfFileToken(Current().FileName() ? SourceLocation{Current().FileName(), Current().Line()}
                                                       : SourceLocation{});
            return E_FAIL;
        }
        if (!frames.empty() && frames.back().braceDepth == 0) {
            *out = EndOfFileToken({Current().FileName(), Current().Line()});
            return S_OK;
        }
        Token token;
        const HideSet* hide = nullptr;
        bool fromQueue = !pushback.empty();
        ReadRaw(&token, 0, &hide);
        bool lineStart = atLineStart && !fromQueue;

        if (lineStart && token.IsOperator('#')) {
            nextActive = active;
            Token end = RunDirective(token);
            ApplyDeferred(end);
            active = nextActive;
            atLineStart = true;
            if (end.kind == TokenKind::EndOfFile || !active || fatal) continue;
            *out = end;
            return S_OK;
        }

        if (token.kind == TokenKind::EndOfFile) {
            SourceInput& input = Innermost();
            if (!input.conditionals.empty()) {
                SourceLocation at = token.Location();
                log.Report(&at, diag::kUnexpectedEndOfFile);
                // The including file goes on as it was before this file's conditionals.
                active = nextActive = input.conditionals.front().outerActive;
                input.conditionals.clear();
            }
            if (inputs.size() == 1) {
                atLineStart = true;
                *out = token;
                return S_OK;
            }
            PopInput();
            token.kind = TokenKind::EndOfLine;
            token.file = Current().FileName();
            token.line = Current().Line();
            atLineStart = true;
            if (!active) continue;
            *out = token;
            return S_OK;
        }

        if (token.kind == TokenKind::Identifier && active) {
            Macro* macro = FindMacro(token.value.text);
            if (macro && !Hides(hide, macro)) {
                if (Expand(macro, token, hide, !fromQueue)) {
                    atLineStart = false;
                    continue;
                }
            } else if (!macro && std::strcmp(token.value.text, "__FILE__") == 0) {
                const char* file = Current().FileName();
                token.kind = TokenKind::String;
                token.value.text = file ? file : "";
            } else if (!macro && std::strcmp(token.value.text, "__LINE__") == 0) {
                token.kind = TokenKind::Integer;
                token.value.integer = token.line;
            }
        }

        atLineStart = token.kind == TokenKind::EndOfLine;
        if (!active) continue;

        if (frames.size() > 1 && token.kind == TokenKind::Operator && !token.value.op[1]) {
            Frame& frame = frames.back();
            if (token.value.op[0] == '{') ++frame.braceDepth;
            if (token.value.op[0] == '}' && frame.braceDepth > 0 && --frame.braceDepth == 0)
                token.kind = TokenKind::EndOfFile;
        }
        *out = token;
        return S_OK;
    }
}

Token Preprocessor::State::RunDirective(const Token& hash) {
    deferred = DeferredAction{};
    DirectiveParser parser(*this, hash);
    return parser.Run();
}

void Preprocessor::State::ApplyDeferred(const Token& end) {
    DeferredAction action = std::move(deferred);
    deferred = DeferredAction{};
    switch (action.kind) {
        case DeferredAction::Line: {
            Tokenizer& input = Current();
            if (end.kind == TokenKind::EndOfLine) {
                // The tokenizer already stands on a later line when blank lines
                // followed the directive; they keep their distance.
                input.SetLine(action.line + (input.Line() - (input.LastLineEnd() + 1)));
            }
            if (action.file) input.SetFileName(action.file);
            break;
        }
        case DeferredAction::Include: Include(action, end.Location()); break;
        case DeferredAction::None: break;
    }
}

// ---------------------------------------------------------------------------
// Conditionals

void Preprocessor::State::OpenConditional(bool truth) {
    Innermost().conditionals.push_back({truth, active, false});
    nextActive = active && truth;
}

void Preprocessor::State::Elif(bool truth, const SourceLocation& at) {
    auto& stack = Innermost().conditionals;
    if (stack.empty()) {
        log.Report(&at, diag::kUnexpectedElif);
        return;
    }
    Conditional& c = stack.back();
    if (c.seenElse) {
        log.Report(&at, diag::kElifAfterElse);
        return;
    }
    nextActive = truth && !c.taken && c.outerActive;
    if (truth) c.taken = true;
}

void Preprocessor::State::Else(const SourceLocation& at) {
    auto& stack = Innermost().conditionals;
    if (stack.empty()) {
        log.Report(&at, diag::kUnexpectedElse);
        return;
    }
    Conditional& c = stack.back();
    if (c.seenElse) {
        log.Report(&at, diag::kElseAfterElse);
        return;
    }
    nextActive = !c.taken && c.outerActive;
    c.taken = c.seenElse = true;
}

void Preprocessor::State::Endif(const SourceLocation& at) {
    auto& stack = Innermost().conditionals;
    if (stack.empty()) {
        log.Report(&at, diag::kUnexpectedEndif);
        return;
    }
    nextActive = stack.back().outerActive;
    stack.pop_back();
}

// ---------------------------------------------------------------------------
// Public door

Preprocessor::Preprocessor() : state_(std::make_unique<State>()) {}

Preprocessor::~Preprocessor() {
    while (!state_->inputs.empty()) state_->PopInput();
}

HRESULT Preprocessor::OpenFile(LPCSTR name, const KLMACRO* macros, IKLInclude* include) {
    if (!name) return D3DERR_INVALIDCALL;
    if (!state_->inputs.empty()) return D3DERR_INVALIDCALL;
    try {
        state_->include = include;
        HRESULT hr = include ? state_->OpenHandlerInput(KLINCLUDE_LOCAL, name, nullptr)
                             : state_->OpenDiskInput(name, name, nullptr);
        if (FAILED(hr)) return hr;
        return state_->DefineStartupMacros(macros);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Preprocessor::OpenMemory(const char* text, size_t length, LPCSTR name, const KLMACRO* macros,
                                 IKLInclude* include) {
    if (!text && length && length != SIZE_MAX) return D3DERR_INVALIDCALL;
    if (!state_->inputs.empty()) return D3DERR_INVALIDCALL;
    try {
        state_->include = include;
        if (length == SIZE_MAX) length = text ? std::strlen(text) : 0;
        const char* fileName = name ? state_->pool.Copy(name) : nullptr;
        if (name && !fileName) return E_OUTOFMEMORY;
        HRESULT hr = state_->PushInput(std::make_unique<SourceInput>(), text, length, fileName);
        if (FAILED(hr)) return hr;
        return state_->DefineStartupMacros(macros);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

namespace {

HRESULT LoadResourceBytes(HMODULE module, HRSRC resource, const char** text, size_t* length) {
    if (!resource) return ERR_INVALID_DATA;
    HGLOBAL handle = LoadResource(module, resource);
    const void* data = handle ? LockResource(handle) : nullptr;
    DWORD size = SizeofResource(module, resource);
    if (!data && size) return ERR_INVALID_DATA;
    *text = static_cast<const char*>(data);
    *length = size;
    return S_OK;
}

}  // namespace

HRESULT Preprocessor::OpenResource(HMODULE module, LPCSTR name, LPCSTR type, const KLMACRO* macros,
                                   IKLInclude* include) {
    if (!name) return D3DERR_INVALIDCALL;
    const char* text = nullptr;
    size_t length = 0;
    if (FAILED(LoadResourceBytes(module, FindResourceA(module, name, type ? type : RT_RCDATA), &text, &length))) {
        state_->log.Report(nullptr, diag::kCannotOpenResource);
        return ERR_INVALID_DATA;
    }
    return OpenMemory(text ? text : "", length, IS_INTRESOURCE(name) ? nullptr : name, macros, include);
}

HRESULT Preprocessor::OpenResource(HMODULE module, LPCWSTR name, LPCWSTR type, const KLMACRO* macros,
                                   IKLInclude* include) {
    if (!name) return D3DERR_INVALIDCALL;
    const char* text = nullptr;
    size_t length = 0;
    if (FAILED(LoadResourceBytes(module, FindResourceW(module, name, type ? type : RT_RCDATAW), &text, &length))) {
        state_->log.Report(nullptr, diag::kCannotOpenResource);
        return ERR_INVALID_DATA;
    }
    std::string narrow = IS_INTRESOURCE(name) ? std::string() : platform::WideToUtf8(name);
    return OpenMemory(text ? text : "", length, IS_INTRESOURCE(name) ? nullptr : narrow.c_str(), macros, include);
}

HRESULT Preprocessor::Begin(uint32_t mode) {
    try {
        state_->frames.push_back({mode, 1});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    state_->mode = mode;
    return S_OK;
}

HRESULT Preprocessor::NextToken(Token* token) {
    if (!token) return D3DERR_INVALIDCALL;
    if (state_->inputs.empty()) {
        *token = EndOfFileToken({});
        return E_FAIL;
    }
    try {
        return state_->Next(token);
    } catch (const std::bad_alloc&) {
        state_->log.Report(nullptr, diag::kOutOfMemory);
        state_->fatal = true;
        *token = EndOfFileToken({});
        return E_OUTOFMEMORY;
    }
}

HRESULT Preprocessor::End() {
    if (state_->frames.empty()) return D3DERR_INVALIDCALL;
    HRESULT hr = S_OK;
    if (!state_->inputs.empty()) {
        for (;;) {
            Token token;
            hr = NextToken(&token);
            if (FAILED(hr) || token.kind == TokenKind::EndOfFile) break;
        }
    }
    state_->frames.pop_back();
    state_->mode = state_->frames.empty() ? kModeHlsl : state_->frames.back().mode;
    return FAILED(hr) ? hr : S_OK;
}

uint32_t Preprocessor::CurrentMatrixPacking() const { return state_->packing; }

SourceLocation Preprocessor::CurrentPosition() const {
    if (state_->inputs.empty()) return {};
    return {state_->Current().FileName(), state_->Current().Line()};
}

const char* Preprocessor::RemainingText(size_t* bytes) const {
    if (state_->inputs.empty()) {
        if (bytes) *bytes = 0;
        return nullptr;
    }
    if (bytes) *bytes = state_->Current().Remaining();
    return state_->Current().Position();
}

ErrorLog& Preprocessor::Log() { return state_->log; }
StringPool& Preprocessor::Pool() { return state_->pool; }
bool Preprocessor::Fatal() const { return state_->fatal; }
