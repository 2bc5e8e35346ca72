// Macro definition and expansion: object-like bodies are copied, function-like
// calls collect their arguments (not expanded first: they expand when read
// again), substitute, stringize ("#"), charize ("#@") and paste ("##").
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "shader/diagnostics.h"
#include "shader/preprocess/preprocessor_state.h"

bool Hides(const HideSet* set, const Macro* macro) {
    for (; set; set = set->next) {
        if (set->macro == macro) return true;
    }
    return false;
}

Macro* Preprocessor::State::FindMacro(const char* name) {
    auto at = macros.find(name);
    return at == macros.end() ? nullptr : at->second;
}

Macro* Preprocessor::State::DefineMacro(const char* name, bool functionLike, std::vector<Token> parameters,
                                        std::vector<Token> body) {
    auto record = std::make_unique<Macro>();
    record->name = pool.Copy(name);
    if (!record->name) throw std::bad_alloc();
    record->functionLike = functionLike;
    record->parameters = std::move(parameters);
    record->body = std::move(body);
    Macro* macro = record.get();
    // Replaced and removed records stay alive: pending tokens may name them.
    macroRecords.push_back(std::move(record));
    macros[macro->name] = macro;
    return macro;
}

void Preprocessor::State::UndefineMacro(const char* name) { macros.erase(name); }

bool Preprocessor::State::KeepSourceTexts(std::vector<Token>& tokens) {
    if (tokens.empty()) return true;
    // Tokens of one definition are consecutive in their input: copy the span
    // once and point every token into the copy, so adjacency is kept too.
    const char* first = tokens.front().source;
    const char* last = tokens.back().source + tokens.back().length;
    for (const Token& t : tokens) {
        if (t.source < first || t.source + t.length > last) return false;
    }
    const char* copy = pool.Copy(first, static_cast<size_t>(last - first));
    if (!copy) return false;
    for (Token& t : tokens) t.source = copy + (t.source - first);
    return true;
}

Token Preprocessor::State::Retokenize(const char* text, size_t length, const Token& at) {
    const char* copy = pool.Copy(text, length);
    if (!copy) throw std::bad_alloc();
    Tokenizer tokenizer;
    tokenizer.Initialize(copy, length, at.file, at.line, &pool, &log);
    Token token;
    tokenizer.Next(mode & ~(kModeRawStrings | kModeAngleNames), &token);
    return token;
}

namespace {

// The text of a stringized or charized argument: the source texts with one
// space where tokens were apart, quotes escaped and, inside string literals,
// backslashes doubled.
std::string QuoteTokens(const std::vector<Pending>& tokens, char quote) {
    std::string raw;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i].token;
        if (i > 0) {
            const Token& previous = tokens[i - 1].token;
            if (previous.source + previous.length != t.source) raw.push_back(' ');
        }
        raw.append(t.source, t.length);
    }
    std::string text(1, quote);
    bool inString = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '"') {
            text += "\\\"";
            inString = !inString;
        } else if (c == '\\' && inString) {
            text += "\\\\";
            if (i + 1 < raw.size()) {
                // An escaped character (a quote included) stays inside the string.
                char next = raw[++i];
                if (next == '"') text += "\\\"";
                else if (next == '\\') text += "\\\\";
                else text.push_back(next);
            }
        } else {
            text.push_back(c);
        }
    }
    text.push_back(quote);
    return text;
}

}  // namespace

bool Preprocessor::State::Expand(Macro* macro, const Token& name, const HideSet* hide, bool fromSource) {
    SourceLocation at = name.Location();
    if (fromSource) {
        expandedTokens = 0;
        madeTextBytes = 0;
    }
    size_t depth = hide ? hide->size : 0;
    if (depth >= kMaxExpansionDepth) {
        ReportLimit(diag::kMacroTooDeep, macro->name, at);
        return true;
    }
    auto* expandedHide = static_cast<HideSet*>(pool.Allocate(sizeof(HideSet)));
    if (!expandedHide) throw std::bad_alloc();
    *expandedHide = HideSet{macro, hide, depth + 1};

    std::vector<Pending> result;
    if (!macro->functionLike) {
        result.reserve(macro->body.size());
        for (const Token& t : macro->body) result.push_back({t, expandedHide});
    } else {
        if (!CallFollows()) return false;
        Token token;
        ReadRaw(&token);  // "("
        std::vector<std::vector<Pending>> arguments(1);
        size_t collected = 0;
        int nesting = 1;
        for (;;) {
            const HideSet* tokenHide = nullptr;
            ReadRaw(&token, 0, &tokenHide);
            if (token.kind == TokenKind::EndOfFile) {
                log.Report(&at, diag::kEndOfFileInMacro);
                return true;
            }
            if (token.kind == TokenKind::EndOfLine) continue;  // line ends inside a call are white space
            if (token.kind == TokenKind::Operator && !token.value.op[1]) {
                char c = token.value.op[0];
                if (c == '(' || c == '[' || c == '{') ++nesting;
                if (c == ')' || c == ']' || c == '}') --nesting;
                if (c == ')' && nesting == 0) break;
                if (c == ',' && nesting == 1) {
                    arguments.emplace_back();
                    continue;
                }
            }
            if (++collected > kMaxCallTokens) {
                ReportLimit(diag::kMacroTooLarge, macro->name, at);
                return true;
            }
            arguments.back().push_back({token, tokenHide});
        }
        bool complete = arguments.size() == macro->parameters.size();
        for (const auto& argument : arguments) complete = complete && !argument.empty();
        if (!complete) {
            log.Report(&at, diag::kMacroArguments, macro->name);
            return true;
        }
        // Substitution, with "#" and "#@" turning the next substitution into text.
        auto parameterIndex = [&](const Token& t) -> int {
            if (t.kind != TokenKind::Identifier) return -1;
            for (size_t p = 0; p < macro->parameters.size(); ++p) {
                if (std::strcmp(macro->parameters[p].value.text, t.value.text) == 0) return static_cast<int>(p);
            }
            return -1;
        };
        const std::vector<Token>& body = macro->body;
        for (size_t i = 0; i < body.size(); ++i) {
            const Token& t = body[i];
            if ((t.IsOperator('#') || t.IsOperator("#@")) && i + 1 < body.size()) {
                const Token& operand = body[++i];
                int p = parameterIndex(operand);
                std::vector<Pending> quotedTokens;
                if (p >= 0) quotedTokens = arguments[static_cast<size_t>(p)];
                else quotedTokens.push_back({operand, expandedHide});
                std::string text = QuoteTokens(quotedTokens, t.IsOperator('#') ? '"' : '\'');
                if (!MakeText(text.size(), macro->name, at)) return true;
                Token quoted = Retokenize(text.data(), text.size(), name);
                if (!quoted.IsEnd()) result.push_back({quoted, expandedHide});
                continue;
            }
            int p = parameterIndex(t);
            if (p >= 0) {
                const std::vector<Pending>& argument = arguments[static_cast<size_t>(p)];
                result.insert(result.end(), argument.begin(), argument.end());
            } else {
                result.push_back({t, expandedHide});
            }
            if (result.size() > kMaxCallTokens) {
                ReportLimit(diag::kMacroTooLarge, macro->name, at);
                return true;
            }
        }
        // One scan from the front: a ## b becomes the token of the joined texts.
        for (size_t i = 0; i + 2 < result.size();) {
            if (!result[i + 1].token.IsOperator("##")) {
                ++i;
                continue;
            }
            std::string joined(result[i].token.source, result[i].token.length);
            joined.append(result[i + 2].token.source, result[i + 2].token.length);
            if (!MakeText(joined.size(), macro->name, at)) return true;
            Token pasted = Retokenize(joined.data(), joined.size(), name);
            auto first = result.begin() + static_cast<std::ptrdiff_t>(i);
            if (pasted.IsEnd()) {
                result.erase(first, first + 3);  // nothing to paste: look again here
                continue;
            }
            *first = Pending{pasted, expandedHide};
            result.erase(first + 1, first + 3);
            ++i;
        }
    }
    expandedTokens += result.size();
    totalExpandedTokens += result.size();
    if (expandedTokens > kMaxExpandedTokens || pushback.size() + result.size() > kMaxPushback) {
        ReportLimit(diag::kMacroTooLarge, macro->name, at);
        return true;
    }
    if (totalExpandedTokens > kMaxTotalExpandedTokens) {
        ReportLimit(diag::kMacroOutputTooLarge, std::to_string(kMaxTotalExpandedTokens).c_str(), at);
        return true;
    }
    pushback.insert(pushback.begin(), result.begin(), result.end());
    return true;
}

bool Preprocessor::State::MakeText(size_t bytes, const char* macro, const SourceLocation& at) {
    madeTextBytes += bytes;
    totalMadeTextBytes += bytes;
    if (madeTextBytes > kMaxMadeTextBytes) {
        ReportLimit(diag::kMacroTooLarge, macro, at);
        return false;
    }
    if (totalMadeTextBytes > kMaxTotalMadeTextBytes) {
        ReportLimit(diag::kMacroTextTooLarge, std::to_string(kMaxTotalMadeTextBytes).c_str(), at);
        return false;
    }
    return true;
}

void Preprocessor::State::ReportLimit(const Diagnostic& diagnostic, const char* name, const SourceLocation& at) {
    if (!limitReported) log.Report(&at, diagnostic, name);
    limitReported = true;
    fatal = true;
}
