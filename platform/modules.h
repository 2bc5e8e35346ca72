// Stand-in for loadable modules and their resources. There are no shared
// libraries to load: a "module" is a named, in-process table of exported entry
// points (registered by the library that provides them) and of resources
// (name to bytes, registered by programs). GetModuleHandleA(nullptr) is the
// program's own module, which always exists.
#pragma once

#include <string>

#include "platform/wintypes.h"

using HMODULE = struct ModuleRecord*;
using HINSTANCE = HMODULE;
using HRSRC = struct ResourceRecord*;
using HGLOBAL = void*;
using FARPROC = void (*)();

// Integer resource names and types are small numbers passed as pointers.
inline LPCSTR MAKEINTRESOURCEA(uint16_t id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)); }
inline LPCWSTR MAKEINTRESOURCEW(uint16_t id) { return reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(id)); }
inline bool IS_INTRESOURCE(const void* p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }
#define RT_BITMAP MAKEINTRESOURCEA(2)
#define RT_RCDATA MAKEINTRESOURCEA(10)
#define RT_BITMAPW MAKEINTRESOURCEW(2)
#define RT_RCDATAW MAKEINTRESOURCEW(10)

// Returns a module that has been "loaded" (has any export or resource
// registered, or was loaded with LoadLibraryA); null otherwise. Names compare
// without regard to case. A null name is the program's own module.
HMODULE GetModuleHandleA(LPCSTR name);
// Loads a module: succeeds only for modules that some library registered.
HMODULE LoadLibraryA(LPCSTR name);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
DWORD SizeofResource(HMODULE module, HRSRC resource);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);

namespace platform {

// Makes `function` the export `name` of module `moduleName` (e.g. "d3d9.dll").
void RegisterModuleExport(const char* moduleName, const char* name, FARPROC function);

// Adds (or replaces) a resource of `module` (null: the program's own module).
// The bytes are copied. Names and types may be integer ids (MAKEINTRESOURCEA).
void RegisterModuleResource(HMODULE module, LPCSTR type, LPCSTR name, const void* data, size_t size);
void RemoveModuleResource(HMODULE module, LPCSTR type, LPCSTR name);

}  // namespace platform
