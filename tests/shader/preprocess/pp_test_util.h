// Helpers for preprocessor tests: run a source through the preprocessor and
// get its tokens back as text, with the messages it logged.
#pragma once

#include <map>
#include <string>

#include "shader/preprocess/preprocessed_text.h"
#include "shader/preprocess/preprocessor.h"

struct PpRun {
    std::string tokens;  // spellings joined by one space; line ends as " |"
    std::string log;     // the error log's text
    HRESULT hr = S_OK;   // the first failure of the stream
};

// Serves fixed buffers by name; counts open and close calls.
class MapInclude : public IKLInclude {
public:
    std::map<std::string, std::string> files;
    int opens = 0;
    int closes = 0;
    std::string lastName;
    LPCVOID lastParent = nullptr;

    HRESULT Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override {
        lastName = name;
        lastParent = parent;
        auto it = files.find(name);
        if (it == files.end()) return E_FAIL;
        ++opens;
        *data = it->second.data();
        *bytes = static_cast<UINT>(it->second.size());
        return S_OK;
    }
    HRESULT Close(LPCVOID) override {
        ++closes;
        return S_OK;
    }
};

inline PpRun Preprocess(const std::string& source, const KLMACRO* macros = nullptr, IKLInclude* include = nullptr,
                        bool keepLineEnds = false) {
    PpRun run;
    Preprocessor pp;
    run.hr = pp.OpenMemory(source.data(), source.size(), "t.fx", macros, include);
    if (SUCCEEDED(run.hr)) {
        pp.Begin(kModeHlsl);
        for (;;) {
            Token t;
            run.hr = pp.NextToken(&t);
            if (FAILED(run.hr) || t.kind == TokenKind::EndOfFile) break;
            if (t.kind == TokenKind::EndOfLine) {
                if (keepLineEnds) run.tokens += run.tokens.empty() ? "|" : " |";
                continue;
            }
            if (!run.tokens.empty()) run.tokens += ' ';
            run.tokens += TokenSpelling(t);
        }
        pp.End();
    }
    run.log = pp.Log().Text();
    return run;
}
