#include "result_names.h"

#include <cstdio>

namespace {

struct NamedResult {
    HRESULT code;
    const char* name;
};

constexpr NamedResult kResults[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_POINTER, "E_POINTER"},
    {E_FAIL, "E_FAIL"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA"},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE"},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
    {ERR_INVALID_DATA, "ERR_INVALID_DATA"},
};

}  // namespace

std::string DescribeResult(HRESULT hr) {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(hr));
    for (const NamedResult& r : kResults)
        if (r.code == hr) return std::string(r.name) + " (" + hex + ")";
    return hex;
}
