#include "include_search.h"

#include <fstream>
#include <iterator>

#include "platform/files.h"

namespace {

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir + (dir.back() == '/' ? "" : "/") + name;
}

}  // namespace

std::vector<std::string> SearchPathInclude::Candidates(const std::string& name, LPCVOID parent) const {
    const size_t colon = name.find(':');
    auto assign = colon == std::string::npos ? assigns_.end() : assigns_.find(name.substr(0, colon));
    if (assign != assigns_.end()) return {Join(assign->second, name.substr(colon + 1))};
    if (name.empty() || name[0] == '/') return {name};
    auto including = parent ? directories_.find(parent) : directories_.end();
    std::vector<std::string> candidates = {Join(including != directories_.end() ? including->second : inputDirectory_,
                                                name)};
    for (const std::string& d : dirs_) candidates.push_back(Join(d, name));
    return candidates;
}

HRESULT SearchPathInclude::Open(KLINCLUDE_TYPE, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) {
    for (const std::string& path : Candidates(name ? name : "", parent)) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        auto buffer = std::make_unique<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (buffer->size() > 0x7FFFFFFF) return E_FAIL;
        std::string full;
        if (FAILED(platform::GetFullPath(path.c_str(), &full))) full = path;
        const char* p = buffer->data();
        *data = p;
        *bytes = UINT(buffer->size());
        directories_[p] = platform::DirectoryOf(full);
        buffers_[p] = std::move(buffer);
        return S_OK;
    }
    return E_FAIL;
}

HRESULT SearchPathInclude::Close(LPCVOID data) {
    directories_.erase(data);
    buffers_.erase(data);
    return S_OK;
}
