// Stand-in for the system registry. Only the key HKEY_LOCAL_MACHINE
// "Software\Kiln\Direct3D" exists. Its values come from the environment:
// KILN_REG_<value name>=<decimal or 0x-hex 32-bit number> is a REG_DWORD; any
// other text is a value of another type (REG_SZ). Tests can set and clear values
// in-process; an in-process value hides the environment variable of that name.
#pragma once

#include <optional>
#include <string>

#include "platform/wintypes.h"

using HKEY = struct RegistryKey*;

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)))

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD KEY_READ = 0x20019;

// The key under which all toolkit switches live.
inline constexpr const char* kKilnDirect3DKey = "Software\\Kiln\\Direct3D";

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, DWORD access, HKEY* result);
// Reads a value. With data null, reports type and size only. A buffer too small
// gives ERROR_MORE_DATA and the needed size.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegCloseKey(HKEY key);

namespace platform {

// Sets a value in-process (text as it would appear in the environment) or, with
// nullopt, hides it (the value reads as absent even if the environment has it).
void SetRegistryValue(const std::string& name, std::optional<std::string> text);
// Drops every in-process setting; the environment shows through again.
void ResetRegistryValues();

// Convenience: reads name under the toolkit key as a REG_DWORD. Returns true and
// sets *value when it exists with that type.
bool ReadRegistryDword(const char* name, DWORD* value);

}  // namespace platform
