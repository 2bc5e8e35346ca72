// Keeps the numeric locale at "C" and the x87 precision field at 53 bits for
// the life of a compile, so number parsing and compile-time evaluation give the
// same results whatever the caller's settings; both are put back at the end.
#pragma once

#include <string>

class NumericEnvironment {
public:
    NumericEnvironment();
    ~NumericEnvironment();
    NumericEnvironment(const NumericEnvironment&) = delete;
    NumericEnvironment& operator=(const NumericEnvironment&) = delete;

private:
    std::string savedLocale_;  // empty when the locale already was "C"
    bool restoreLocale_ = false;
    unsigned savedControl_ = 0;
    bool restoreControl_ = false;
};
