#include "shader/kl_buffer.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

class Buffer final : public IKLBuffer {
public:
    Buffer(BYTE* bytes, DWORD size) : bytes_(bytes), size_(size) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IKLBuffer) {
            AddRef();
            *object = static_cast<IKLBuffer*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    LPVOID GetBufferPointer() override { return bytes_; }
    DWORD GetBufferSize() override { return size_; }

private:
    ~Buffer() override { std::free(bytes_); }

    BYTE* bytes_;
    DWORD size_;
    std::atomic<ULONG> references_{1};
};

}  // namespace

HRESULT KLCreateBuffer(DWORD size, IKLBuffer** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    // A zero-sized buffer still gets a valid, distinct data pointer.
    auto* bytes = static_cast<BYTE*>(std::calloc(size ? size : 1, 1));
    if (!bytes) return E_OUTOFMEMORY;
    auto* object = new (std::nothrow) Buffer(bytes, size);
    if (!object) {
        std::free(bytes);
        return E_OUTOFMEMORY;
    }
    *buffer = object;
    return S_OK;
}
