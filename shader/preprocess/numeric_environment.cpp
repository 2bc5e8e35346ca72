#include "shader/preprocess/numeric_environment.h"

#include <clocale>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#define KILN_HAS_X87_CONTROL 1
#endif

NumericEnvironment::NumericEnvironment() {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    if (current && std::strcmp(current, "C") != 0) {
        savedLocale_ = current;
        restoreLocale_ = std::setlocale(LC_NUMERIC, "C") != nullptr;
    }
#ifdef KILN_HAS_X87_CONTROL
    // The precision field (bits 8-9 of the x87 control word) governs x87
    // arithmetic only. On x86-64 double arithmetic runs on SSE, which always
    // rounds to 53 bits, so this matters just for long double code; it is kept
    // so every compile sees the same x87 mode as well.
    fpu_control_t control;
    _FPU_GETCW(control);
    savedControl_ = control;
    fpu_control_t wanted = (control & ~static_cast<fpu_control_t>(_FPU_EXTENDED)) | _FPU_DOUBLE;
    if (wanted != control) {
        _FPU_SETCW(wanted);
        restoreControl_ = true;
    }
#endif
}

NumericEnvironment::~NumericEnvironment() {
    if (restoreLocale_) std::setlocale(LC_NUMERIC, savedLocale_.c_str());
#ifdef KILN_HAS_X87_CONTROL
    if (restoreControl_) {
        fpu_control_t control;
        _FPU_GETCW(control);
        control = (control & ~static_cast<fpu_control_t>(_FPU_EXTENDED)) |
                  (static_cast<fpu_control_t>(savedControl_) & _FPU_EXTENDED);
        _FPU_SETCW(control);
    }
#endif
}
