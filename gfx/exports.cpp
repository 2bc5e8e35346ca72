#include "gfx/exports.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "gfx/d3d9.h"
#include "gfx/shaders/shader_validator.h"
#include "platform/modules.h"

namespace {
std::atomic<bool> gMuted{false};
}

extern "C" BOOL DebugSetMute(BOOL mute) { return gMuted.exchange(mute != FALSE) ? TRUE : FALSE; }

void KilnGfxRegisterExports() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::RegisterModuleExport("d3d9.dll", "Direct3DCreate9", reinterpret_cast<FARPROC>(&Direct3DCreate9));
        platform::RegisterModuleExport("d3d9.dll", "DebugSetMute", reinterpret_cast<FARPROC>(&DebugSetMute));
        gfx::RegisterShaderValidatorExport();
    });
}

namespace gfx {

bool DebugOutputMuted() { return gMuted.load(); }

void DebugMessage(const char* format, ...) {
    static const bool enabled = std::getenv("KILN_D3D_DEBUG") != nullptr;
    if (!enabled || DebugOutputMuted()) return;
    std::va_list args;
    va_start(args, format);
    std::fputs("Direct3D9: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
}

}  // namespace gfx
