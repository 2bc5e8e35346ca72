// Inside of the Preprocessor, shared by its files: inputs, conditionals,
// macros, the pushback queue, frames and the limits that keep any input from
// running away. Not part of the public door (preprocessor.h).
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "shader/preprocess/numeric_environment.h"
#include "shader/preprocess/preprocessor.h"
#include "shader/preprocess/tokenizer.h"

// Expansions nested inside one another at once (a macro whose body names a
// macro whose body names a macro ...).
constexpr size_t kMaxExpansionDepth = 256;
// Argument tokens of one macro call.
constexpr size_t kMaxCallTokens = 1u << 18;
// Tokens held in the pushback queue at once, and tokens one expansion may
// produce (a macro named in the source, with every macro its result names in
// turn); together they bound memory and time for inputs such as a chain of
// macros that each double their input. The largest real shaders seen produce
// under 20 000 tokens in all, far below the bound.
constexpr size_t kMaxPushback = 1u << 19;
constexpr size_t kMaxExpandedTokens = 1u << 19;
// Tokens all expansions of one compile may produce together: 4 194 304, eight
// times the bound of one expansion and some 200 times the largest real shader,
// so a long file that uses its macros on every line passes, while the output
// (and the parser's memory behind it) stays bounded however long the file is.
constexpr size_t kMaxTotalExpandedTokens = 1u << 22;
// Text the # and ## operators may make: 4 MiB in one expansion, 16 MiB in one
// compile. Without it a macro that stringizes its own stringized argument
// doubles a string at every level while the token count stays small.
constexpr size_t kMaxMadeTextBytes = 1u << 22;
constexpr size_t kMaxTotalMadeTextBytes = 1u << 24;

struct Conditional {
    bool taken;        // a group of this conditional has been selected
    bool outerActive;  // the active state when it was opened
    bool seenElse;
};

struct SourceInput {
    Tokenizer tokenizer;
    std::vector<Conditional> conditionals;  // belongs to this input only
    IKLInclude* include = nullptr;          // handler that opened it, if any
    LPCVOID handlerData = nullptr;          // to give back to the handler's Close
    platform::MappedFile file;              // when opened from disk
    std::string directory;                  // its directory with separator, from disk
    bool fromDisk = false;
};

struct Macro {
    const char* name;
    bool functionLike = false;
    std::vector<Token> parameters;  // identifiers
    std::vector<Token> body;        // source texts copied into the pool
};

// The macros a token came out of: it is not expanded again by any of them, so
// a macro whose expansion names itself stops there. Nodes live in the pool.
struct HideSet {
    const Macro* macro;
    const HideSet* next;
    size_t size;
};
bool Hides(const HideSet* set, const Macro* macro);

// One entry of the pushback queue.
struct Pending {
    Token token;
    const HideSet* hide = nullptr;
};

struct Frame {
    uint32_t mode;
    uint32_t braceDepth;
};

// What a directive asked for once its line has been read to the end.
struct DeferredAction {
    enum Kind { None, Include, Line } kind = None;
    std::string name;        // include name
    KLINCLUDE_TYPE includeType = KLINCLUDE_LOCAL;
    uint32_t line = 0;       // #line number
    const char* file = nullptr;  // #line file name (pool)
};

struct Preprocessor::State {
    NumericEnvironment numeric;  // first in, last out
    StringPool pool;
    ErrorLog log;
    std::vector<std::unique_ptr<SourceInput>> inputs;  // outermost first
    std::map<std::string, Macro*> macros;              // sorted by name
    std::vector<std::unique_ptr<Macro>> macroRecords;  // alive until teardown
    std::deque<Pending> pushback;
    std::vector<Frame> frames;
    IKLInclude* include = nullptr;
    bool active = true;
    bool nextActive = true;
    bool atLineStart = true;
    bool fatal = false;
    bool limitReported = false;
    uint32_t mode = kModeHlsl;
    uint32_t packing = kPackingNone;
    size_t expandedTokens = 0;       // by the current expansion
    size_t totalExpandedTokens = 0;  // by every expansion so far
    size_t madeTextBytes = 0;        // text made by # and ## in the current expansion
    size_t totalMadeTextBytes = 0;   // and in every expansion so far
    // Counts `bytes` of text made by # or ##; false (limit reported) when
    // that is more than an expansion or the compile may make.
    bool MakeText(size_t bytes, const char* macro, const SourceLocation& at);
    DeferredAction deferred;

    SourceInput& Innermost() { return *inputs.back(); }
    Tokenizer& Current() { return inputs.back()->tokenizer; }
    Macro* FindMacro(const char* name);

    // Inputs (preprocessor.cpp).
    HRESULT OpenDiskInput(const char* path, const char* nameForMessages, const SourceLocation* at);
    HRESULT OpenHandlerInput(KLINCLUDE_TYPE type, const char* name, const SourceLocation* at);
    HRESULT PushInput(std::unique_ptr<SourceInput> input, const char* text, size_t length, const char* fileName);
    void PopInput();
    HRESULT DefineStartupMacros(const KLMACRO* macros);
    HRESULT Include(const DeferredAction& request, const SourceLocation& at);

    // Raw reading: the pushback queue first (dropping expansion marks), then
    // the current tokenizer with the current mode.
    void ReadRaw(Token* token, uint32_t modeBits = 0, const HideSet** hide = nullptr);
    // The next token for readers: directives run, macros expanded.
    HRESULT Next(Token* token);
    // True when the next token is "(" (pushback) or the next input byte is "(".
    bool CallFollows();

    // Macros (macro_expander.cpp).
    Macro* DefineMacro(const char* name, bool functionLike, std::vector<Token> parameters, std::vector<Token> body);
    void UndefineMacro(const char* name);
    // Expands the macro named by `name`; false when no expansion took place
    // (the identifier is then delivered as it is). `fromSource` says the name
    // was read from the input rather than from an earlier expansion, which
    // starts a new expansion budget.
    bool Expand(Macro* macro, const Token& name, const HideSet* hide, bool fromSource);
    // Copies tokens' source texts into the pool so they outlive their input.
    bool KeepSourceTexts(std::vector<Token>& tokens);
    // Tokenizes `text` at `at` and returns its first token (EOF when empty).
    Token Retokenize(const char* text, size_t length, const Token& at);

    // Directives (directive.cpp).
    // Parses and runs the directive after `hash`, reads its line to the end
    // and returns the end-of-line or end-of-file token that ended it.
    Token RunDirective(const Token& hash);
    void ApplyDeferred(const Token& end);
    // Conditional actions.
    void OpenConditional(bool truth);
    void Elif(bool truth, const SourceLocation& at);
    void Else(const SourceLocation& at);
    void Endif(const SourceLocation& at);

    // Limits: reports the failure once and ends the token stream.
    void ReportLimit(const Diagnostic& diagnostic, const char* name, const SourceLocation& at);
};
