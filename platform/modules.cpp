#include "platform/modules.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/files.h"

struct ResourceRecord {
    std::vector<BYTE> bytes;
};

struct ModuleRecord {
    std::string name;  // lower case
    std::map<std::string, FARPROC> exports;
    std::map<std::string, std::unique_ptr<ResourceRecord>> resources;  // key: type + '\n' + name
};

namespace {

std::mutex g_mutex;

// Replaced and removed resources stay allocated: handles and locked pointers
// that callers still hold keep pointing at valid (if outdated) bytes.
std::vector<std::unique_ptr<ResourceRecord>>& Retired() {
    static std::vector<std::unique_ptr<ResourceRecord>> retired;
    return retired;
}

void Retire(std::map<std::string, std::unique_ptr<ResourceRecord>>& resources, const std::string& key) {
    auto it = resources.find(key);
    if (it == resources.end()) return;
    Retired().push_back(std::move(it->second));
    resources.erase(it);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::map<std::string, std::unique_ptr<ModuleRecord>>& Modules() {
    static std::map<std::string, std::unique_ptr<ModuleRecord>> modules;
    return modules;
}

ModuleRecord* ModuleNamed(const std::string& lowerName, bool create) {
    auto& modules = Modules();
    auto it = modules.find(lowerName);
    if (it != modules.end()) return it->second.get();
    if (!create) return nullptr;
    auto record = std::make_unique<ModuleRecord>();
    record->name = lowerName;
    ModuleRecord* raw = record.get();
    modules[lowerName] = std::move(record);
    return raw;
}

// Resource names and types: "#<id>" for integer ids, upper-cased text otherwise
// (resource names are case-insensitive).
std::string ResourceKeyPart(LPCSTR p) {
    if (IS_INTRESOURCE(p)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(p));
    std::string s(p);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string ResourceKeyPartW(LPCWSTR p) {
    if (IS_INTRESOURCE(p)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(p));
    std::string s = platform::WideToUtf8(p);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

const char* kSelf = "";

HRSRC Find(HMODULE module, const std::string& type, const std::string& name) {
    if (!module) module = ModuleNamed(kSelf, true);
    auto it = module->resources.find(type + "\n" + name);
    return it == module->resources.end() ? nullptr : it->second.get();
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR name) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return ModuleNamed(name ? Lower(name) : kSelf, name == nullptr);
}

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    return ModuleNamed(Lower(name), false);
}

BOOL FreeLibrary(HMODULE module) { return module ? TRUE : FALSE; }

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (!module || !name) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = module->exports.find(name);
    return it == module->exports.end() ? nullptr : it->second;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!name || !type) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    return Find(module, ResourceKeyPart(type), ResourceKeyPart(name));
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (!name || !type) return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    return Find(module, ResourceKeyPartW(type), ResourceKeyPartW(name));
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return resource ? static_cast<DWORD>(resource->bytes.size()) : 0;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) { return resource; }

LPVOID LockResource(HGLOBAL data) {
    if (!data) return nullptr;
    auto* record = static_cast<ResourceRecord*>(data);
    return record->bytes.data();
}

namespace platform {

void RegisterModuleExport(const char* moduleName, const char* name, FARPROC function) {
    if (!moduleName || !name) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    ModuleNamed(Lower(moduleName), true)->exports[name] = function;
}

void RegisterModuleResource(HMODULE module, LPCSTR type, LPCSTR name, const void* data, size_t size) {
    if (!type || !name || (!data && size > 0)) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!module) module = ModuleNamed(kSelf, true);
    auto record = std::make_unique<ResourceRecord>();
    const BYTE* bytes = static_cast<const BYTE*>(data);
    if (size > 0) record->bytes.assign(bytes, bytes + size);
    std::string key = ResourceKeyPart(type) + "\n" + ResourceKeyPart(name);
    Retire(module->resources, key);
    module->resources[key] = std::move(record);
}

void RemoveModuleResource(HMODULE module, LPCSTR type, LPCSTR name) {
    if (!type || !name) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!module) module = ModuleNamed(kSelf, true);
    Retire(module->resources, ResourceKeyPart(type) + "\n" + ResourceKeyPart(name));
}

}  // namespace platform
