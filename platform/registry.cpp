#include "platform/registry.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <strings.h>

namespace {

struct Override {
    bool present;
    std::string text;
};

std::mutex g_mutex;
std::map<std::string, Override> g_overrides;

// The single key handle handed out for the toolkit key.
RegistryKey* const kToolkitKey = reinterpret_cast<RegistryKey*>(static_cast<uintptr_t>(0x4B494C4Eu));

std::optional<std::string> LookUp(const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_overrides.find(name);
        if (it != g_overrides.end()) {
            if (!it->second.present) return std::nullopt;
            return it->second.text;
        }
    }
    const char* env = std::getenv(("KILN_REG_" + name).c_str());
    if (!env) return std::nullopt;
    return std::string(env);
}

// Parses a decimal or 0x-hex number that fits in 32 bits.
bool ParseDword(const std::string& text, DWORD* out) {
    if (text.empty()) return false;
    int base = 10;
    size_t i = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        v = v * base + d;
        if (v > 0xFFFFFFFFull) return false;
    }
    *out = static_cast<DWORD>(v);
    return true;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, DWORD, HKEY* result) {
    if (!result || !subKey) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (root != HKEY_LOCAL_MACHINE || strcasecmp(subKey, kKilnDirect3DKey) != 0) return ERROR_FILE_NOT_FOUND;
    *result = kToolkitKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size) {
    if (key != kToolkitKey || !valueName) return ERROR_INVALID_PARAMETER;
    if (data && !size) return ERROR_INVALID_PARAMETER;
    auto text = LookUp(valueName);
    if (!text) return ERROR_FILE_NOT_FOUND;
    DWORD number = 0;
    bool isDword = ParseDword(*text, &number);
    DWORD needed = isDword ? sizeof(DWORD) : static_cast<DWORD>(text->size() + 1);
    if (type) *type = isDword ? REG_DWORD : REG_SZ;
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (isDword) std::memcpy(data, &number, sizeof number);
    else std::memcpy(data, text->c_str(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) { return key == kToolkitKey ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER; }

namespace platform {

void SetRegistryValue(const std::string& name, std::optional<std::string> text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_overrides[name] = text ? Override{true, *text} : Override{false, {}};
}

void ResetRegistryValues() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_overrides.clear();
}

bool ReadRegistryDword(const char* name, DWORD* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKilnDirect3DKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, v = 0, size = sizeof v;
    LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_DWORD) return false;
    if (value) *value = v;
    return true;
}

}  // namespace platform
