// IKLBuffer: the reference-counted block of bytes in which the compiler hands
// back compiled code and message text.
#pragma once

#include "platform/wintypes.h"

// {932E6A7E-C68E-45DD-A7BF-53D19C86DB1F}
inline constexpr IID IID_IKLBuffer = {0x932E6A7E, 0xC68E, 0x45DD, {0xA7, 0xBF, 0x53, 0xD1, 0x9C, 0x86, 0xDB, 0x1F}};

struct IKLBuffer : IUnknown {
    virtual LPVOID GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};

// Creates a zero-filled buffer of `size` bytes with one reference.
// Results: S_OK; D3DERR_INVALIDCALL for a null out; E_OUTOFMEMORY.
HRESULT KLCreateBuffer(DWORD size, IKLBuffer** buffer);
