// The nearest format in the table that a device accepts.
#include "texture/pixels/format_table.h"
#include "texture/runtime_mute.h"

D3DFORMAT NearestDeviceFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE type,
                              const FormatTraits& wanted) {
    IDirect3D9* d3d = nullptr;
    D3DCAPS9 caps = {};
    D3DDISPLAYMODE mode = {};
    if (device) {
        MuteRuntimeDebugOutput(true);
        if (FAILED(device->GetDirect3D(&d3d)) || !d3d || FAILED(device->GetDeviceCaps(&caps)) ||
            FAILED(device->GetDisplayMode(0, &mode))) {
            if (d3d) d3d->Release();
            MuteRuntimeDebugOutput(false);
            return D3DFMT_UNKNOWN;
        }
        D3DDEVICE_CREATION_PARAMETERS params = {};
        if ((usage & D3DUSAGE_QUERY_VERTEXTEXTURE) && SUCCEEDED(device->GetCreationParameters(&params)) &&
            (params.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING))
            usage |= D3DUSAGE_SOFTWAREPROCESSING;
    }
    size_t count = 0;
    const FormatTraits* table = FormatTable(&count);
    D3DFORMAT best = D3DFMT_UNKNOWN;
    uint32_t bestScore = UINT32_MAX, bestBits = 0;
    for (size_t i = 0; i < count; ++i) {
        const FormatTraits& row = table[i];
        if (d3d && FAILED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format, usage, type,
                                                 row.format)))
            continue;
        if (row.format == wanted.format) {
            best = row.format;
            break;
        }
        if (!row.candidate) continue;
        const uint32_t score = FormatDistance(wanted, row);
        if (score == UINT32_MAX) continue;
        if (score < bestScore || (score == bestScore && row.bits < bestBits)) {
            best = row.format;
            bestScore = score;
            bestBits = row.bits;
        }
    }
    if (d3d) {
        d3d->Release();
        MuteRuntimeDebugOutput(false);
    }
    return best;
}
