#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {
// A byte that empty files point at, so callers never see a null data pointer.
const BYTE kEmpty = 0;
}  // namespace

MappedFile::~MappedFile() { Close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept { *this = std::move(other); }

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Close();
        data_ = other.data_;
        size_ = other.size_;
        mapped_ = other.mapped_;
        open_ = other.open_;
        other.data_ = nullptr;
        other.size_ = 0;
        other.mapped_ = false;
        other.open_ = false;
    }
    return *this;
}

HRESULT MappedFile::Open(const char* path) {
    Close();
    if (!path || !*path) return E_INVALIDARG;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? D3DERR_NOTFOUND : E_FAIL;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        return E_FAIL;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return ERR_INVALID_DATA;
    }
    if (st.st_size == 0) {
        ::close(fd);
        data_ = &kEmpty;
        open_ = true;
        return S_OK;
    }
    void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return E_OUTOFMEMORY;
    data_ = static_cast<const BYTE*>(p);
    size_ = static_cast<size_t>(st.st_size);
    mapped_ = true;
    open_ = true;
    return S_OK;
}

void MappedFile::Close() {
    if (mapped_) munmap(const_cast<BYTE*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = false;
    open_ = false;
}

HRESULT GetFullPath(const char* path, std::string* full) {
    if (!path || !*path || !full) return E_INVALIDARG;
    std::string joined;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) return E_FAIL;
        joined = std::string(cwd) + "/" + path;
    } else {
        joined = path;
    }
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= joined.size()) {
        size_t j = joined.find('/', i);
        if (j == std::string::npos) j = joined.size();
        std::string part = joined.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    if (out.empty()) out = "/";
    if (joined.back() == '/' && out.back() != '/') out += '/';
    *full = out;
    return S_OK;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string WideToUtf8(const wchar_t* text) {
    std::string out;
    if (!text) return out;
    for (; *text; ++text) {
        uint32_t c = static_cast<uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace platform
