// Looks up the runtime's DebugSetMute switches once and honours the
// "KLDoNotMute" registry value.
#include "texture/runtime_mute.h"

#include "math/direct3d_switch.h"
#include "platform/modules.h"
#include "platform/registry.h"

namespace {

using DebugSetMuteFn = BOOL (*)(BOOL);

enum class RegistryAnswer { Unknown, MutingAllowed, MutingDisabled };

struct MuteCache {
    bool looked = false;
    DebugSetMuteFn switches[2] = {nullptr, nullptr};
    RegistryAnswer answer = RegistryAnswer::Unknown;
};

MuteCache& Cache() {
    static MuteCache cache;
    return cache;
}

// The switch of a module that is already loaded, or null.
DebugSetMuteFn FindSwitch(const char* module) {
    if (!GetModuleHandleA(module)) return nullptr;
    HMODULE handle = LoadLibraryA(module);
    if (!handle) return nullptr;
    return reinterpret_cast<DebugSetMuteFn>(GetProcAddress(handle, "DebugSetMute"));
}

}  // namespace

void MuteRuntimeDebugOutput(bool mute) {
    MuteCache& cache = Cache();
    if (!cache.looked) {
        cache.looked = true;
        cache.switches[0] = FindSwitch("d3d9.dll");
        cache.switches[1] = FindSwitch("d3d9d.dll");
    }
    if (cache.answer == RegistryAnswer::Unknown) {
        DWORD value = 0;
        const bool disabled = ReadDirect3DSwitch(REG_DWORD, "KLDoNotMute", &value, sizeof(value)) && value != 0;
        cache.answer = disabled ? RegistryAnswer::MutingDisabled : RegistryAnswer::MutingAllowed;
    }
    if (cache.answer == RegistryAnswer::MutingDisabled) return;
    for (DebugSetMuteFn fn : cache.switches)
        if (fn) fn(mute ? TRUE : FALSE);
}

void ResetRuntimeMuteCache() { Cache() = MuteCache{}; }
