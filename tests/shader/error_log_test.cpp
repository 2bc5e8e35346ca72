// ErrorLog: the message line format, the warning filter and state table, and
// the error buffer.
#include <gtest/gtest.h>

#include "shader/diagnostics.h"
#include "shader/error_log.h"
#include "shader/kl_buffer.h"

namespace {

TEST(ErrorLog, LineFormat) {
    struct Row {
        const char* file;
        uint32_t line;
        bool located;
        bool warning;
        uint32_t number;
        const char* expected;
    };
    const Row rows[] = {
        {"C:\\src\\a.fx", 12, true, false, 3004, "C:\\src\\a.fx(12): error X3004: undeclared identifier 'x'\n"},
        {"a.fx", 0, true, false, 3004, "a.fx(1): error X3004: undeclared identifier 'x'\n"},
        {nullptr, 5, true, false, 3004, "(5): error X3004: undeclared identifier 'x'\n"},
        {nullptr, 0, false, false, 3004, "error X3004: undeclared identifier 'x'\n"},
        {"a.fx", 3, true, true, 3206, "a.fx(3): warning X3206: undeclared identifier 'x'\n"},
        {"a.fx", 3, true, false, 0, "a.fx(3): undeclared identifier 'x'\n"},
    };
    for (const Row& r : rows) {
        ErrorLog log;
        SourceLocation at{r.file, r.line};
        const SourceLocation* where = r.located ? &at : nullptr;
        if (r.warning) log.ReportWarning(where, r.number, "undeclared identifier '%s'", "x");
        else log.ReportError(where, r.number, "undeclared identifier '%s'", "x");
        EXPECT_EQ(log.Text(), r.expected);
        EXPECT_EQ(log.TotalLength(), std::strlen(r.expected));
        EXPECT_EQ(log.ErrorCount(), r.warning ? 0u : 1u);
        EXPECT_EQ(log.WarningCount(), r.warning ? 1u : 0u);
    }
}

TEST(ErrorLog, LongMessagesAreCutNotRejected) {
    ErrorLog log;
    std::string file(5000, 'f');
    SourceLocation at{file.c_str(), 1};
    log.ReportError(&at, 1, "%s", "text");
    ASSERT_EQ(log.Messages().size(), 1u);
    EXPECT_EQ(log.Messages()[0].size(), 4095u);  // 4094 characters and the line feed
    EXPECT_EQ(log.Messages()[0].back(), '\n');
    EXPECT_EQ(log.ErrorCount(), 1u);
}

TEST(ErrorLog, WarningFilter) {
    struct Row {
        uint32_t logLevel;
        WarningSpecifier specifier;
        uint32_t stateLevel;
        int reports;
        const char* expected;  // text after all reports
    };
    const char* w = "(1): warning X3206: w\n";
    const char* e = "(1): error X3206: w\n";
    const Row rows[] = {
        {1, WarningSpecifier::Default, 0, 2, "(1): warning X3206: w\n(1): warning X3206: w\n"},
        {0, WarningSpecifier::Default, 0, 1, ""},
        {1, WarningSpecifier::Disable, 0, 1, ""},
        {1, WarningSpecifier::Level, 2, 1, ""},
        {2, WarningSpecifier::Level, 2, 1, w},
        {4, WarningSpecifier::Once, 0, 3, w},
        {1, WarningSpecifier::Error, 0, 1, e},
        {0, WarningSpecifier::Error, 0, 1, e},
    };
    for (const Row& r : rows) {
        ErrorLog log;
        ASSERT_EQ(log.SetWarningLevel(r.logLevel), S_OK);
        log.SetWarningState(3206, r.specifier, r.stateLevel);
        SourceLocation at{nullptr, 1};
        for (int i = 0; i < r.reports; ++i) log.ReportWarning(&at, 3206, "w");
        EXPECT_EQ(log.Text(), r.expected) << static_cast<int>(r.specifier) << " level " << r.logLevel;
        bool promoted = r.specifier == WarningSpecifier::Error;
        EXPECT_EQ(log.ErrorCount(), promoted ? 1u : 0u);
    }
}

TEST(ErrorLog, WarningStateWords) {
    ErrorLog log;
    EXPECT_EQ(log.WarningState(3571), 1u);
    SourceLocation at{nullptr, 1};
    log.ReportWarning(&at, 3571, "x");
    EXPECT_EQ(log.WarningState(3571), 1u | kWarningReported);
    log.SetWarningState(3571, WarningSpecifier::Once);
    log.SetWarningState(3571, WarningSpecifier::Level, 3);
    EXPECT_EQ(log.WarningState(3571), 3u | kWarningOnce | kWarningReported);
    log.SetWarningState(3571, WarningSpecifier::Default);
    EXPECT_EQ(log.WarningState(3571), 1u | kWarningReported);
    EXPECT_EQ(log.SetWarningState(3571, WarningSpecifier::Level, 5), E_INVALIDARG);
    // Rows stay sorted whatever order numbers arrive in.
    for (uint32_t n : {9000u, 10u, 500u, 3572u, 1u}) log.SetWarningState(n, WarningSpecifier::Disable);
    for (uint32_t n : {9000u, 10u, 500u, 3572u, 1u}) EXPECT_EQ(log.WarningState(n), 0u) << n;
    EXPECT_EQ(log.WarningState(3571), 1u | kWarningReported);
    EXPECT_EQ(log.SetWarningLevel(5), E_FAIL);
    EXPECT_EQ(log.WarningLevel(), 1u);
    EXPECT_EQ(log.SetWarningLevel(0), S_OK);
}

TEST(ErrorLog, ErrorBufferHoldsMessagesInReportOrder) {
    ErrorLog log;
    IKLBuffer* buffer = reinterpret_cast<IKLBuffer*>(1);
    EXPECT_EQ(log.CreateErrorBuffer(&buffer), S_OK);
    EXPECT_EQ(buffer, nullptr);  // no text: no buffer
    log.Report(nullptr, diag::kUnknownTarget, "xx");
    log.Report(nullptr, diag::kVs10Remapped);
    ASSERT_EQ(log.CreateErrorBuffer(&buffer), S_OK);
    ASSERT_NE(buffer, nullptr);
    std::string expected = "error X3506: unrecognized compiler target 'xx'\n"
                           "warning X3505: vs_1_0 is no longer supported; using vs_1_1\n";
    EXPECT_EQ(buffer->GetBufferSize(), expected.size() + 1);
    EXPECT_EQ(std::string(static_cast<const char*>(buffer->GetBufferPointer())), expected);
    EXPECT_EQ(buffer->Release(), 0u);
}

TEST(KLBuffer, ReferencesAndInterfaces) {
    IKLBuffer* buffer = nullptr;
    ASSERT_EQ(KLCreateBuffer(16, &buffer), S_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 16u);
    void* same = nullptr;
    EXPECT_EQ(buffer->QueryInterface(IID_IKLBuffer, &same), S_OK);
    EXPECT_EQ(same, buffer);
    const IID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    void* none = buffer;
    EXPECT_EQ(buffer->QueryInterface(other, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(buffer->Release(), 1u);
    EXPECT_EQ(buffer->Release(), 0u);
    EXPECT_EQ(KLCreateBuffer(1, nullptr), D3DERR_INVALIDCALL);
}

}  // namespace
