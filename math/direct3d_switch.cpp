#include "math/direct3d_switch.h"

#include "platform/registry.h"

bool ReadDirect3DSwitch(DWORD expectedType, LPCSTR valueName, void* data, DWORD size) {
    if (!valueName || !data) return false;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKilnDirect3DKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD got = size;
    LONG rc = RegQueryValueExA(key, valueName, nullptr, &type, static_cast<BYTE*>(data), &got);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == expectedType;
}
