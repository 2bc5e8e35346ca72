// ErrorLog: the one place where every stage of a compile reports its errors
// and warnings. Each message becomes one complete line,
//   <file>(<line>): error X<number>: <text>
// and the lines go back to the caller in report order through the error buffer.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/wintypes.h"

struct IKLBuffer;

// Where a token or tree node comes from. A line of 0 is printed as 1.
struct SourceLocation {
    const char* file = nullptr;
    uint32_t line = 0;
};

// One row of a message table: messages are data, code reports by row.
struct Diagnostic {
    uint32_t number;  // the X-number; 0 for internal errors (no prefix)
    bool warning;
    const char* format;  // printf format of the message text
};

// Warning state word: level in bits 0-3, report-once and already-reported bits.
constexpr uint32_t kWarningLevelMask = 0xF;
constexpr uint32_t kWarningLevelError = 15;  // the warning is reported as an error
constexpr uint32_t kWarningOnce = 0x10;
constexpr uint32_t kWarningReported = 0x20;

// What the warning pragma does to one warning number.
enum class WarningSpecifier { Level, Disable, Error, Once, Default };

class ErrorLog {
public:
    static constexpr size_t kLineBuffer = 4096;  // a message line holds 4094 characters
    static constexpr size_t kShortMessage = 256;  // front-end messages are cut to 255

    ErrorLog() = default;
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // Report-error and report-warning. `location` may be null (no prefix).
    // Results: S_OK, or E_OUTOFMEMORY when the line could not be kept.
    HRESULT ReportError(const SourceLocation* location, uint32_t number, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    HRESULT ReportWarning(const SourceLocation* location, uint32_t number, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    HRESULT VReportError(const SourceLocation* location, uint32_t number, const char* format, va_list args);
    HRESULT VReportWarning(const SourceLocation* location, uint32_t number, const char* format, va_list args);

    // Reports a table row as error or warning, as the row says.
    HRESULT Report(const SourceLocation* location, Diagnostic diagnostic, ...);
    HRESULT VReport(const SourceLocation* location, const Diagnostic& diagnostic, va_list args);

    uint32_t ErrorCount() const { return errors_; }
    uint32_t WarningCount() const { return warnings_; }

    // 0 to 4 (initially 1); values above 4 are refused with E_FAIL.
    HRESULT SetWarningLevel(uint32_t level);
    uint32_t WarningLevel() const { return level_; }

    // Applies one change of the warning pragma. `level` is used with
    // WarningSpecifier::Level (1 to 4). Result: S_OK, E_INVALIDARG or E_OUTOFMEMORY.
    HRESULT SetWarningState(uint32_t number, WarningSpecifier specifier, uint32_t level = 0);
    // The state word of a warning number; 1 when it has no row yet.
    uint32_t WarningState(uint32_t number) const;

    // Sum of the message lengths.
    size_t TotalLength() const { return total_; }
    // All messages in report order, each ending in a line feed.
    std::string Text() const;
    const std::vector<std::string>& Messages() const { return messages_; }

    // Everything reported so far and the warning states, so that a compile can
    // try a second form of a program and keep the messages of one of them.
    struct State {
        std::vector<std::string> messages;
        size_t total = 0;
        uint32_t errors = 0;
        uint32_t warnings = 0;
        std::vector<uint32_t> warningNumbers;
        std::vector<uint32_t> warningStates;
    };
    State Save() const { return {messages_, total_, errors_, warnings_, warningNumbers_, warningStates_}; }
    void Restore(State state);

    // The error buffer: null when there is no text, else the messages in report
    // order and a NUL. Results: S_OK, D3DERR_INVALIDCALL, E_OUTOFMEMORY.
    HRESULT CreateErrorBuffer(IKLBuffer** buffer) const;

private:
    enum class Kind { Error, Warning };
    HRESULT Write(const SourceLocation* location, Kind kind, uint32_t number, bool promoted,
                  const char* format, va_list args);
    // Index of the number's row, inserting a row with state 1 when absent;
    // SIZE_MAX when out of memory.
    size_t WarningRow(uint32_t number);

    std::vector<std::string> messages_;  // report order
    size_t total_ = 0;
    uint32_t errors_ = 0;
    uint32_t warnings_ = 0;
    uint32_t level_ = 1;
    // Warning state table: numbers ascending, one state word per number.
    std::vector<uint32_t> warningNumbers_;
    std::vector<uint32_t> warningStates_;
};
