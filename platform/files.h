// Read-only file access: whole-file mapping and full path resolution.
#pragma once

#include <string>

#include "platform/wintypes.h"

namespace platform {

// A file mapped read-only into memory. Empty files map to a valid object with
// size 0 and a non-null data pointer; special files (directories, devices,
// pipes) are refused.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;

    // Maps the named file. Results: S_OK; E_INVALIDARG for a null or empty name;
    // D3DERR_NOTFOUND when the file does not exist; E_FAIL when it cannot be
    // read; ERR_INVALID_DATA for a directory or other special file; E_OUTOFMEMORY
    // when the mapping fails.
    HRESULT Open(const char* path);
    void Close();

    bool IsOpen() const { return open_; }
    const BYTE* data() const { return data_; }
    size_t size() const { return size_; }

private:
    const BYTE* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    bool open_ = false;
};

// Absolute, normalised form of a path ("." and ".." removed, relative paths
// resolved against the working directory). The file need not exist.
// Returns S_OK or E_INVALIDARG for a null or empty path.
HRESULT GetFullPath(const char* path, std::string* full);

// Directory part of a path including its final separator ("" when none).
std::string DirectoryOf(const std::string& path);

// Converts a wide (UTF-32 on this platform) string to UTF-8. Invalid code
// points become U+FFFD. A null pointer gives an empty string.
std::string WideToUtf8(const wchar_t* text);

}  // namespace platform
