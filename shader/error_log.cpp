#include "shader/error_log.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "shader/kl_buffer.h"

namespace {

// Appends a formatted piece to a line, cut to the room that is left.
class LineBuilder {
public:
    explicit LineBuilder(size_t room) : room_(room) { text_[0] = '\0'; }

    void Append(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        VAppend(format, args);
        va_end(args);
    }
    void VAppend(const char* format, va_list args) {
        if (length_ >= room_) return;
        int n = std::vsnprintf(text_ + length_, room_ - length_ + 1, format, args);
        if (n > 0) length_ = std::min(room_, length_ + static_cast<size_t>(n));
    }
    const char* text() const { return text_; }
    size_t length() const { return length_; }

private:
    char text_[ErrorLog::kLineBuffer];
    size_t room_;
    size_t length_ = 0;
};

}  // namespace

HRESULT ErrorLog::ReportError(const SourceLocation* location, uint32_t number, const char* format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT hr = VReportError(location, number, format, args);
    va_end(args);
    return hr;
}

HRESULT ErrorLog::ReportWarning(const SourceLocation* location, uint32_t number, const char* format, ...) {
    va_list args;
    va_start(args, format);
    HRESULT hr = VReportWarning(location, number, format, args);
    va_end(args);
    return hr;
}

HRESULT ErrorLog::Report(const SourceLocation* location, Diagnostic diagnostic, ...) {
    va_list args;
    va_start(args, diagnostic);
    HRESULT hr = VReport(location, diagnostic, args);
    va_end(args);
    return hr;
}

HRESULT ErrorLog::VReport(const SourceLocation* location, const Diagnostic& diagnostic, va_list args) {
    return diagnostic.warning ? VReportWarning(location, diagnostic.number, diagnostic.format, args)
                              : VReportError(location, diagnostic.number, diagnostic.format, args);
}

HRESULT ErrorLog::VReportError(const SourceLocation* location, uint32_t number, const char* format, va_list args) {
    return Write(location, Kind::Error, number, false, format, args);
}

HRESULT ErrorLog::VReportWarning(const SourceLocation* location, uint32_t number, const char* format,
                                 va_list args) {
    size_t row = WarningRow(number);
    if (row == SIZE_MAX) return E_OUTOFMEMORY;
    uint32_t& state = warningStates_[row];
    uint32_t stateLevel = state & kWarningLevelMask;
    if (stateLevel == kWarningLevelError) return Write(location, Kind::Warning, number, true, format, args);
    if (level_ == 0 || stateLevel == 0 || stateLevel > level_) return S_OK;
    if ((state & kWarningOnce) && (state & kWarningReported)) return S_OK;
    state |= kWarningReported;
    return Write(location, Kind::Warning, number, false, format, args);
}

HRESULT ErrorLog::Write(const SourceLocation* location, Kind kind, uint32_t number, bool promoted,
                        const char* format, va_list args) {
    LineBuilder line(kLineBuffer - 2);
    if (location) {
        if (location->file) line.Append("%s", location->file);
        line.Append("(%u): ", location->line ? location->line : 1u);
    }
    if (number != 0) {
        const char* word = (kind == Kind::Error || promoted) ? "error" : "warning";
        line.Append("%s X%u: ", word, number);
    }
    line.VAppend(format, args);
    if (kind == Kind::Error || promoted) ++errors_;
    else ++warnings_;
    try {
        std::string text(line.text(), line.length());
        text.push_back('\n');
        total_ += text.size();
        messages_.push_back(std::move(text));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

size_t ErrorLog::WarningRow(uint32_t number) {
    auto at = std::lower_bound(warningNumbers_.begin(), warningNumbers_.end(), number);
    size_t row = static_cast<size_t>(at - warningNumbers_.begin());
    if (at != warningNumbers_.end() && *at == number) return row;
    try {
        warningNumbers_.insert(at, number);
        warningStates_.insert(warningStates_.begin() + static_cast<ptrdiff_t>(row), 1u);
    } catch (const std::bad_alloc&) {
        if (warningNumbers_.size() != warningStates_.size()) warningNumbers_.erase(warningNumbers_.begin() + row);
        return SIZE_MAX;
    }
    return row;
}

HRESULT ErrorLog::SetWarningLevel(uint32_t level) {
    if (level > 4) return E_FAIL;
    level_ = level;
    return S_OK;
}

HRESULT ErrorLog::SetWarningState(uint32_t number, WarningSpecifier specifier, uint32_t level) {
    if (specifier == WarningSpecifier::Level && (level < 1 || level > 4)) return E_INVALIDARG;
    size_t row = WarningRow(number);
    if (row == SIZE_MAX) return E_OUTOFMEMORY;
    uint32_t& state = warningStates_[row];
    switch (specifier) {
        case WarningSpecifier::Level: state = (state & ~kWarningLevelMask) | level; break;
        case WarningSpecifier::Disable: state &= ~kWarningLevelMask; break;
        case WarningSpecifier::Error: state = (state & ~kWarningLevelMask) | kWarningLevelError; break;
        case WarningSpecifier::Once: state |= kWarningOnce; break;
        case WarningSpecifier::Default: state = (state & kWarningReported) | 1; break;
    }
    return S_OK;
}

uint32_t ErrorLog::WarningState(uint32_t number) const {
    auto at = std::lower_bound(warningNumbers_.begin(), warningNumbers_.end(), number);
    if (at == warningNumbers_.end() || *at != number) return 1;
    return warningStates_[static_cast<size_t>(at - warningNumbers_.begin())];
}

std::string ErrorLog::Text() const {
    std::string text;
    text.reserve(total_);
    for (const std::string& message : messages_) text += message;
    return text;
}

HRESULT ErrorLog::CreateErrorBuffer(IKLBuffer** buffer) const {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (total_ == 0) return S_OK;
    if (total_ >= UINT32_MAX) return E_OUTOFMEMORY;
    IKLBuffer* created = nullptr;
    HRESULT hr = KLCreateBuffer(static_cast<DWORD>(total_ + 1), &created);
    if (FAILED(hr)) return hr;
    char* out = static_cast<char*>(created->GetBufferPointer());
    for (const std::string& message : messages_) {
        std::memcpy(out, message.data(), message.size());
        out += message.size();
    }
    *out = '\0';
    *buffer = created;
    return S_OK;
}

void ErrorLog::Restore(State state) {
    messages_ = std::move(state.messages);
    total_ = state.total;
    errors_ = state.errors;
    warnings_ = state.warnings;
    warningNumbers_ = std::move(state.warningNumbers);
    warningStates_ = std::move(state.warningStates);
}
