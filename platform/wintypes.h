// Basic types, result codes and the reference-counting base shared by every
// subsystem. They follow the published conventions of the platform the toolkit
// was designed for, so bytecode, formats and results line up with its users.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using FLOAT = float;
using SIZE_T = size_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using HRESULT = int32_t;
using CHAR = char;
using WCHAR = wchar_t;
using LPSTR = char*;
using LPCSTR = const char*;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
// Window handle: an opaque pointer owned by the window layer.
struct HWND__;
using HWND = HWND__*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr HRESULT MakeHResult(uint32_t v) { return static_cast<HRESULT>(v); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT D3D_OK = 0;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = MakeHResult(0x88760818u);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = MakeHResult(0x88760819u);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = MakeHResult(0x88760826u);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = MakeHResult(0x88760829u);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = MakeHResult(0x8876081Du);
constexpr HRESULT D3DERR_NOTFOUND = MakeHResult(0x88760866u);
constexpr HRESULT D3DERR_MOREDATA = MakeHResult(0x88760867u);
constexpr HRESULT D3DERR_DEVICELOST = MakeHResult(0x88760868u);
constexpr HRESULT D3DERR_DEVICENOTRESET = MakeHResult(0x88760869u);
constexpr HRESULT D3DERR_NOTAVAILABLE = MakeHResult(0x8876086Au);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = MakeHResult(0x8876017Cu);
constexpr HRESULT D3DERR_INVALIDDEVICE = MakeHResult(0x8876086Bu);
constexpr HRESULT D3DERR_INVALIDCALL = MakeHResult(0x8876086Cu);
constexpr HRESULT D3DERR_WASSTILLDRAWING = MakeHResult(0x8876021Cu);
// A source or image that cannot be used.
constexpr HRESULT ERR_INVALID_DATA = MakeHResult(0x88760B59u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
using IID = GUID;
using REFIID = const IID&;
using REFGUID = const GUID&;

// IID of the reference-counting base interface.
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0, 0, 0, 0, 0, 0x46}};

// Base of every reference-counted interface: query, add a reference, release.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};
struct PALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
};
