#include "gfx/device/device.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "gfx/device/thread_pool.h"
#include "gfx/exports.h"

namespace gfx {
namespace {

// Swaps a bound object: references the new one, releases the old one.
template <class T>
void Rebind(T*& slot, T* value) {
    if (value) value->AddRef();
    if (slot) slot->Release();
    slot = value;
}

float AsFloat(DWORD v) {
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}
DWORD FromFloat(float f) {
    DWORD v;
    std::memcpy(&v, &f, 4);
    return v;
}

D3DMATRIX Identity() {
    D3DMATRIX m;
    std::memset(&m, 0, sizeof(m));
    m._11 = m._22 = m._33 = m._44 = 1.f;
    return m;
}

std::mutex gDefaultsMutex;
std::shared_ptr<Presenter> gDefaultPresenter;
DeviceOptions gDefaultOptions;

}  // namespace

void SetDefaultPresenter(std::shared_ptr<Presenter> presenter) {
    std::lock_guard<std::mutex> lock(gDefaultsMutex);
    gDefaultPresenter = std::move(presenter);
}
std::shared_ptr<Presenter> GetDefaultPresenter() {
    std::lock_guard<std::mutex> lock(gDefaultsMutex);
    return gDefaultPresenter;
}
HRESULT SetDevicePresenter(IDirect3DDevice9* device, std::shared_ptr<Presenter> presenter) {
    if (!device) return D3DERR_INVALIDCALL;
    static_cast<DeviceImpl*>(device)->SetPresenter(std::move(presenter));
    return D3D_OK;
}
void SetDefaultDeviceOptions(const DeviceOptions& options) {
    std::lock_guard<std::mutex> lock(gDefaultsMutex);
    gDefaultOptions = options;
}
DeviceOptions GetDefaultDeviceOptions() {
    std::lock_guard<std::mutex> lock(gDefaultsMutex);
    return gDefaultOptions;
}
HRESULT SetDeviceOptions(IDirect3DDevice9* device, const DeviceOptions& options) {
    if (!device) return D3DERR_INVALIDCALL;
    static_cast<DeviceImpl*>(device)->SetOptions(options);
    return D3D_OK;
}

// ---- Lifetime ----

DeviceImpl::DeviceImpl(Direct3D9Impl* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation)
    : d3d_(d3d), creation_(creation), transforms_(kTransformSlots, Identity()) {
    d3d_->AddRef();
    presenter_ = GetDefaultPresenter();
    SetOptions(GetDefaultDeviceOptions());
}

DeviceImpl::~DeviceImpl() { d3d_->Release(); }

HRESULT DeviceImpl::Create(Direct3D9Impl* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                           D3DPRESENT_PARAMETERS* params, DeviceImpl** out) {
    auto* device = new (std::nothrow) DeviceImpl(d3d, creation);
    if (!device) return E_OUTOFMEMORY;
    HRESULT hr = device->InitSwapChain(params);
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    device->ResetStates();
    *out = device;
    return D3D_OK;
}

HRESULT DeviceImpl::InitSwapChain(D3DPRESENT_PARAMETERS* params) {
    D3DPRESENT_PARAMETERS p = *params;
    if (p.BackBufferCount > 3 || p.MultiSampleType != D3DMULTISAMPLE_NONE || p.SwapEffect < D3DSWAPEFFECT_DISCARD ||
        p.SwapEffect > D3DSWAPEFFECT_COPY) {
        DebugMessage("CreateDevice: unsupported presentation parameters");
        return D3DERR_INVALIDCALL;
    }
    if (p.BackBufferWidth == 0) p.BackBufferWidth = p.Windowed ? kDisplayWidth : 0;
    if (p.BackBufferHeight == 0) p.BackBufferHeight = p.Windowed ? kDisplayHeight : 0;
    if (p.BackBufferFormat == D3DFMT_UNKNOWN && p.Windowed) p.BackBufferFormat = kDisplayFormat;
    if (p.BackBufferCount == 0) p.BackBufferCount = 1;
    if (p.BackBufferFormat != D3DFMT_A8R8G8B8 && p.BackBufferFormat != D3DFMT_X8R8G8B8) return D3DERR_INVALIDCALL;
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    if (!p.hDeviceWindow) p.hDeviceWindow = creation_.hFocusWindow;
    SurfaceImpl* back = nullptr;
    HRESULT hr = SurfaceImpl::Create(this, p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat,
                                     D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, (p.Flags & 1) != 0, &back);
    if (FAILED(hr)) return hr;
    SurfaceImpl* depth = nullptr;
    if (p.EnableAutoDepthStencil) {
        hr = SurfaceImpl::Create(this, p.BackBufferWidth, p.BackBufferHeight, p.AutoDepthStencilFormat,
                                 D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, false, &depth);
        if (FAILED(hr)) {
            back->Release();
            return hr;
        }
    }
    if (backBuffer_) backBuffer_->Release();
    if (autoDepth_) autoDepth_->Release();
    backBuffer_ = back;
    autoDepth_ = depth;
    present_ = p;
    *params = p;
    frontBuffer_.assign(back->image().bytes.size(), 0);
    return D3D_OK;
}

void DeviceImpl::SetOptions(const DeviceOptions& options) {
    options_ = options;
    unsigned n = options.threads ? options.threads : HardwareThreads();
    if (!threads_ || threads_->size() != n) threads_ = std::make_unique<ThreadPool>(n);
}

void DeviceImpl::ResetStates() {
    std::fill(std::begin(renderStates_), std::end(renderStates_), 0u);
    auto set = [this](D3DRENDERSTATETYPE s, DWORD v) { renderStates_[s] = v; };
    set(D3DRS_ZENABLE, autoDepth_ ? D3DZB_TRUE : D3DZB_FALSE);
    set(D3DRS_FILLMODE, D3DFILL_SOLID);
    set(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    set(D3DRS_ZWRITEENABLE, TRUE);
    set(D3DRS_LASTPIXEL, TRUE);
    set(D3DRS_SRCBLEND, D3DBLEND_ONE);
    set(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    set(D3DRS_CULLMODE, D3DCULL_CCW);
    set(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    set(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    set(D3DRS_FOGEND, FromFloat(1.f));
    set(D3DRS_FOGDENSITY, FromFloat(1.f));
    set(D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP);
    set(D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP);
    set(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    set(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    set(D3DRS_STENCILMASK, 0xFFFFFFFF);
    set(D3DRS_STENCILWRITEMASK, 0xFFFFFFFF);
    set(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    set(D3DRS_CLIPPING, TRUE);
    set(D3DRS_LIGHTING, TRUE);
    set(D3DRS_COLORVERTEX, TRUE);
    set(D3DRS_LOCALVIEWER, TRUE);
    set(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    set(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2);
    set(D3DRS_POINTSIZE, FromFloat(1.f));
    set(D3DRS_POINTSIZE_MIN, FromFloat(1.f));
    set(D3DRS_POINTSIZE_MAX, FromFloat(64.f));
    set(D3DRS_POINTSCALE_A, FromFloat(1.f));
    set(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
    set(D3DRS_MULTISAMPLEMASK, 0xFFFFFFFF);
    set(D3DRS_PATCHEDGESTYLE, 0);
    set(D3DRS_DEBUGMONITORTOKEN, 0xBAADCAFE);
    set(D3DRS_COLORWRITEENABLE, 0xF);
    set(D3DRS_COLORWRITEENABLE1, 0xF);
    set(D3DRS_COLORWRITEENABLE2, 0xF);
    set(D3DRS_COLORWRITEENABLE3, 0xF);
    set(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    set(D3DRS_POSITIONDEGREE, 3);
    set(D3DRS_NORMALDEGREE, 1);
    set(D3DRS_MINTESSELLATIONLEVEL, FromFloat(1.f));
    set(D3DRS_MAXTESSELLATIONLEVEL, FromFloat(1.f));
    set(D3DRS_ADAPTIVETESS_Z, FromFloat(1.f));
    set(D3DRS_CCW_STENCILFAIL, D3DSTENCILOP_KEEP);
    set(D3DRS_CCW_STENCILZFAIL, D3DSTENCILOP_KEEP);
    set(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_KEEP);
    set(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    set(D3DRS_BLENDFACTOR, 0xFFFFFFFF);
    set(D3DRS_SRCBLENDALPHA, D3DBLEND_ONE);
    set(D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO);
    set(D3DRS_BLENDOPALPHA, D3DBLENDOP_ADD);

    for (auto& s : samplerStates_) {
        s.fill(0);
        s[D3DSAMP_ADDRESSU] = s[D3DSAMP_ADDRESSV] = s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        s[D3DSAMP_MAGFILTER] = s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        s[D3DSAMP_MAXANISOTROPY] = 1;
    }
    for (UINT stage = 0; stage < kTextureStages; ++stage) {
        DWORD* t = stageStates_[stage];
        std::fill(t, t + kTextureStageStateCount, 0u);
        t[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = stage;
    }
    std::fill(transforms_.begin(), transforms_.end(), Identity());
    viewport_ = {0, 0, present_.BackBufferWidth, present_.BackBufferHeight, 0.f, 1.f};
    scissor_ = {0, 0, LONG(present_.BackBufferWidth), LONG(present_.BackBufferHeight)};
    Rebind(renderTargets_[0], backBuffer_);
    Rebind(depthStencil_, autoDepth_);
}

void DeviceImpl::DropBindings() {
    for (auto& rt : renderTargets_) Rebind<SurfaceImpl>(rt, nullptr);
    Rebind<SurfaceImpl>(depthStencil_, nullptr);
    for (auto& t : textures_) Rebind<IDirect3DBaseTexture9>(t, nullptr);
    for (auto& s : streams_) Rebind<VertexBufferImpl>(s.buffer, nullptr);
    Rebind<IndexBufferImpl>(indices_, nullptr);
    Rebind<VertexDeclImpl>(declaration_, nullptr);
    Rebind<VertexShaderImpl>(vertexShader_, nullptr);
    Rebind<PixelShaderImpl>(pixelShader_, nullptr);
    for (auto& [fvf, decl] : fvfDeclarations_) decl->Release();
    fvfDeclarations_.clear();
    Rebind<SurfaceImpl>(backBuffer_, nullptr);
    Rebind<SurfaceImpl>(autoDepth_, nullptr);
}

HRESULT DeviceImpl::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IidIn(riid, {&IID_IUnknown, &IID_IDirect3DDevice9})) {
        AddRef();
        *object = static_cast<IDirect3DDevice9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DeviceImpl::AddRef() { return ++refs_; }

ULONG DeviceImpl::Release() {
    ULONG left = --refs_;
    if (left == 0) {
        // The application is done with the device: drop what the device holds
        // so that the objects it bound can go; the object itself lives until
        // the last resource made from it is gone.
        released_ = true;
        ++children_;
        DropBindings();
        ReleaseChild();
    }
    return left;
}

void DeviceImpl::AddChild() { ++children_; }

void DeviceImpl::ReleaseChild() {
    if (--children_ == 0 && released_) delete this;
}

HRESULT DeviceImpl::GetDirect3D(IDirect3D9** d3d) {
    if (!d3d) return D3DERR_INVALIDCALL;
    d3d_->AddRef();
    *d3d = d3d_;
    return D3D_OK;
}

HRESULT DeviceImpl::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    *caps = DeviceCaps();
    caps->DeviceType = creation_.DeviceType;
    return D3D_OK;
}

HRESULT DeviceImpl::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) {
    if (swapChain != 0 || !mode) return D3DERR_INVALIDCALL;
    return d3d_->GetAdapterDisplayMode(creation_.AdapterOrdinal, mode);
}

HRESULT DeviceImpl::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    *params = creation_;
    return D3D_OK;
}

HRESULT DeviceImpl::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    for (auto& rt : renderTargets_) Rebind<SurfaceImpl>(rt, nullptr);
    Rebind<SurfaceImpl>(depthStencil_, nullptr);
    HRESULT hr = InitSwapChain(params);
    ResetStates();
    inScene_ = false;
    return hr;
}

HRESULT DeviceImpl::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface) {
    if (!surface || swapChain != 0 || backBuffer >= present_.BackBufferCount || !backBuffer_)
        return D3DERR_INVALIDCALL;
    backBuffer_->AddRef();
    *surface = backBuffer_;
    return D3D_OK;
}

HRESULT DeviceImpl::Present(const RECT*, const RECT*, HWND destWindow, const void*) {
    if (inScene_) DebugMessage("Present: called inside BeginScene/EndScene");
    if (!backBuffer_) return D3DERR_INVALIDCALL;
    ImageStore& image = backBuffer_->image();
    std::memcpy(frontBuffer_.data(), image.bytes.data(), image.bytes.size());
    HRESULT hr = D3D_OK;
    if (presenter_) {
        PresentedFrame frame{image.bytes.data(), INT(image.rowPitch), image.width, image.height, image.Format(),
                             destWindow ? destWindow : present_.hDeviceWindow, presentCount_};
        hr = presenter_->Present(frame);
    }
    ++presentCount_;
    return hr;
}

// ---- Resource creation ----

HRESULT DeviceImpl::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture9** texture, HANDLE* sharedHandle) {
    if (!texture || sharedHandle) return D3DERR_INVALIDCALL;
    TextureImpl* t = nullptr;
    HRESULT hr = TextureImpl::Create(this, width, height, levels, usage, format, pool, &t);
    if (FAILED(hr)) {
        DebugMessage("CreateTexture: %ux%u, %u levels, format %u, pool %u refused", width, height, levels,
                     unsigned(format), unsigned(pool));
        return hr;
    }
    *texture = t;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool, IDirect3DVolumeTexture9** texture,
                                        HANDLE* sharedHandle) {
    if (!texture || sharedHandle) return D3DERR_INVALIDCALL;
    VolumeTextureImpl* t = nullptr;
    HRESULT hr = VolumeTextureImpl::Create(this, width, height, depth, levels, usage, format, pool, &t);
    if (FAILED(hr)) return hr;
    *texture = t;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DCubeTexture9** texture, HANDLE* sharedHandle) {
    if (!texture || sharedHandle) return D3DERR_INVALIDCALL;
    CubeTextureImpl* t = nullptr;
    HRESULT hr = CubeTextureImpl::Create(this, edgeLength, levels, usage, format, pool, &t);
    if (FAILED(hr)) return hr;
    *texture = t;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, HANDLE* sharedHandle) {
    if (!buffer || sharedHandle || pool > D3DPOOL_SCRATCH || length == 0 || length > kMaxResourceBytes)
        return D3DERR_INVALIDCALL;
    if (fvf && (FVFStride(fvf) == 0 || length < FVFStride(fvf))) return D3DERR_INVALIDCALL;
    D3DVERTEXBUFFER_DESC desc{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
    auto* b = new (std::nothrow) VertexBufferImpl(this, desc);
    if (!b) return E_OUTOFMEMORY;
    *buffer = b;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** buffer, HANDLE* sharedHandle) {
    if (!buffer || sharedHandle || pool > D3DPOOL_SCRATCH || length == 0 || length > kMaxResourceBytes)
        return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    D3DINDEXBUFFER_DESC desc{format, D3DRTYPE_INDEXBUFFER, usage, pool, length};
    auto* b = new (std::nothrow) IndexBufferImpl(this, desc);
    if (!b) return E_OUTOFMEMORY;
    *buffer = b;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                       DWORD, BOOL lockable, IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    if (!surface || sharedHandle || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    SurfaceImpl* s = nullptr;
    HRESULT hr = SurfaceImpl::Create(this, width, height, format, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                                     lockable != FALSE, &s);
    if (FAILED(hr)) return hr;
    *surface = s;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample, DWORD, BOOL,
                                              IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    if (!surface || sharedHandle || multiSample != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    SurfaceImpl* s = nullptr;
    HRESULT hr =
        SurfaceImpl::Create(this, width, height, format, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, true, &s);
    if (FAILED(hr)) return hr;
    *surface = s;
    return D3D_OK;
}

HRESULT DeviceImpl::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** surface, HANDLE* sharedHandle) {
    if (!surface || sharedHandle || pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
    const FormatInfo* info = FindFormat(format);
    if (!info || IsDepthFormat(*info)) return D3DERR_INVALIDCALL;
    SurfaceImpl* s = nullptr;
    HRESULT hr = SurfaceImpl::Create(this, width, height, format, 0, pool, true, &s);
    if (FAILED(hr)) return hr;
    *surface = s;
    return D3D_OK;
}

// ---- Copies ----

HRESULT DeviceImpl::UpdateSurface(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                  const POINT* destPoint) {
    if (!source || !dest || source == dest) return D3DERR_INVALIDCALL;
    SurfaceImpl* src = AsSurfaceImpl(source);
    SurfaceImpl* dst = AsSurfaceImpl(dest);
    if (src->pool() != D3DPOOL_SYSTEMMEM || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (src->image().Format() != dst->image().Format() || src->locked() || dst->locked()) return D3DERR_INVALIDCALL;
    RECT r;
    if (!ValidRect(src->image(), sourceRect, &r)) return D3DERR_INVALIDCALL;
    POINT at = destPoint ? *destPoint : POINT{r.left, r.top};
    if (!sourceRect && !destPoint) at = {0, 0};
    RECT target = {at.x, at.y, at.x + (r.right - r.left), at.y + (r.bottom - r.top)};
    RECT checked;
    if (!ValidRect(dst->image(), &target, &checked)) return D3DERR_INVALIDCALL;
    CopyImageRect(src->image(), r, dst->image(), at);
    return D3D_OK;
}

HRESULT DeviceImpl::UpdateTexture(IDirect3DBaseTexture9* source, IDirect3DBaseTexture9* dest) {
    BaseTextureImpl* src = AsTextureImpl(source);
    BaseTextureImpl* dst = AsTextureImpl(dest);
    if (!src || !dst || src->kind() != dst->kind() || src->format() != dst->format()) return D3DERR_INVALIDCALL;
    if (src->pool() != D3DPOOL_SYSTEMMEM || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if (src->levels() < dst->levels()) return D3DERR_INVALIDCALL;
    // Source levels are matched to destination levels by size: the source may
    // have more (larger) levels than the destination.
    UINT skip = src->levels() - dst->levels();
    for (UINT f = 0; f < dst->faces(); ++f) {
        for (UINT l = 0; l < dst->levels(); ++l) {
            const ImageStore& s = src->image(f, l + skip);
            ImageStore& d = dst->image(f, l);
            if (s.width != d.width || s.height != d.height || s.depth != d.depth) return D3DERR_INVALIDCALL;
        }
    }
    for (UINT f = 0; f < dst->faces(); ++f) {
        for (UINT l = 0; l < dst->levels(); ++l) dst->image(f, l).bytes = src->image(f, l + skip).bytes;
    }
    return D3D_OK;
}

HRESULT DeviceImpl::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dest) {
    if (!renderTarget || !dest) return D3DERR_INVALIDCALL;
    SurfaceImpl* src = AsSurfaceImpl(renderTarget);
    SurfaceImpl* dst = AsSurfaceImpl(dest);
    if (!(src->usage() & D3DUSAGE_RENDERTARGET) || dst->pool() != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    ImageStore& s = src->image();
    ImageStore& d = dst->image();
    if (s.Format() != d.Format() || s.width != d.width || s.height != d.height) return D3DERR_INVALIDCALL;
    d.bytes = s.bytes;
    return D3D_OK;
}

HRESULT DeviceImpl::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* dest) {
    if (swapChain != 0 || !dest || !backBuffer_) return D3DERR_INVALIDCALL;
    SurfaceImpl* dst = AsSurfaceImpl(dest);
    ImageStore& d = dst->image();
    ImageStore& s = backBuffer_->image();
    if (dst->pool() != D3DPOOL_SYSTEMMEM || d.Format() != D3DFMT_A8R8G8B8 || d.width != s.width ||
        d.height != s.height) {
        return D3DERR_INVALIDCALL;
    }
    for (UINT y = 0; y < s.height; ++y) {
        const BYTE* from = frontBuffer_.data() + size_t(y) * s.rowPitch;
        BYTE* to = d.Row(y);
        std::memcpy(to, from, size_t(s.width) * 4);
        if (s.Format() == D3DFMT_X8R8G8B8) {
            for (UINT x = 0; x < s.width; ++x) to[4 * x + 3] = 0xFF;
        }
    }
    return D3D_OK;
}

HRESULT DeviceImpl::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
    if (!source || !dest || source == dest) return D3DERR_INVALIDCALL;
    if (filter != D3DTEXF_NONE && filter != D3DTEXF_POINT) return D3DERR_INVALIDCALL;
    SurfaceImpl* src = AsSurfaceImpl(source);
    SurfaceImpl* dst = AsSurfaceImpl(dest);
    if (src->pool() != D3DPOOL_DEFAULT || dst->pool() != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    ImageStore& s = src->image();
    ImageStore& d = dst->image();
    if (s.Format() != d.Format() || s.info->blockSize != 1) return D3DERR_INVALIDCALL;
    RECT sr, dr;
    if (!ValidRect(s, sourceRect, &sr) || !ValidRect(d, destRect, &dr)) return D3DERR_INVALIDCALL;
    UINT bpp = s.info->blockBytes;
    LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top, dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    for (LONG y = 0; y < dh; ++y) {
        LONG sy = sr.top + LONG(int64_t(y) * sh / dh);
        for (LONG x = 0; x < dw; ++x) {
            LONG sx = sr.left + LONG(int64_t(x) * sw / dw);
            std::memcpy(d.Row(UINT(dr.top + y)) + size_t(dr.left + x) * bpp, s.Row(UINT(sy)) + size_t(sx) * bpp, bpp);
        }
    }
    return D3D_OK;
}

HRESULT DeviceImpl::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) {
    if (!surface) return D3DERR_INVALIDCALL;
    SurfaceImpl* s = AsSurfaceImpl(surface);
    ImageStore& image = s->image();
    D3DFORMAT f = image.Format();
    if (s->pool() != D3DPOOL_DEFAULT || (f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8)) return D3DERR_INVALIDCALL;
    RECT r;
    if (!ValidRect(image, rect, &r)) return D3DERR_INVALIDCALL;
    for (LONG y = r.top; y < r.bottom; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.Row(UINT(y)));
        std::fill(row + r.left, row + r.right, uint32_t(color));
    }
    return D3D_OK;
}

// ---- Targets ----

HRESULT DeviceImpl::SetRenderTarget(DWORD index, IDirect3DSurface9* target) {
    if (index >= 4 || (index == 0 && !target)) return D3DERR_INVALIDCALL;
    if (index > 0) {
        // One simultaneous render target (NumSimultaneousRTs = 1).
        return target ? D3DERR_INVALIDCALL : D3D_OK;
    }
    SurfaceImpl* s = AsSurfaceImpl(target);
    if (!(s->usage() & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    Rebind(renderTargets_[0], s);
    viewport_ = {0, 0, s->image().width, s->image().height, 0.f, 1.f};
    scissor_ = {0, 0, LONG(s->image().width), LONG(s->image().height)};
    return D3D_OK;
}

HRESULT DeviceImpl::GetRenderTarget(DWORD index, IDirect3DSurface9** target) {
    if (!target || index >= 4) return D3DERR_INVALIDCALL;
    if (!renderTargets_[index]) {
        *target = nullptr;
        return D3DERR_NOTFOUND;
    }
    renderTargets_[index]->AddRef();
    *target = renderTargets_[index];
    return D3D_OK;
}

HRESULT DeviceImpl::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    SurfaceImpl* s = surface ? AsSurfaceImpl(surface) : nullptr;
    if (s && !(s->usage() & D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    Rebind(depthStencil_, s);
    return D3D_OK;
}

HRESULT DeviceImpl::GetDepthStencilSurface(IDirect3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    if (!depthStencil_) {
        *surface = nullptr;
        return D3DERR_NOTFOUND;
    }
    depthStencil_->AddRef();
    *surface = depthStencil_;
    return D3D_OK;
}

// ---- Scene ----

HRESULT DeviceImpl::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT DeviceImpl::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT DeviceImpl::Clear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) {
    if ((rectCount && !rects) || (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depthStencil_) return D3DERR_INVALIDCALL;
    if (flags & D3DCLEAR_STENCIL && depthStencil_->image().info->stencilBits == 0) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.f && z <= 1.f)) return D3DERR_INVALIDCALL;
    RECT area = {LONG(viewport_.X), LONG(viewport_.Y), LONG(viewport_.X + viewport_.Width),
                 LONG(viewport_.Y + viewport_.Height)};
    std::vector<RECT> regions;
    if (rectCount == 0) {
        regions.push_back(area);
    } else {
        for (DWORD i = 0; i < rectCount; ++i) {
            regions.push_back({std::max(area.left, rects[i].x1), std::max(area.top, rects[i].y1),
                               std::min(area.right, rects[i].x2), std::min(area.bottom, rects[i].y2)});
        }
    }
    auto clampTo = [](RECT r, const ImageStore& image) {
        r.left = std::max<LONG>(r.left, 0);
        r.top = std::max<LONG>(r.top, 0);
        r.right = std::min<LONG>(r.right, LONG(image.width));
        r.bottom = std::min<LONG>(r.bottom, LONG(image.height));
        return r;
    };
    for (const RECT& region : regions) {
        if (flags & D3DCLEAR_TARGET) {
            ImageStore& image = renderTargets_[0]->image();
            RECT r = clampTo(region, image);
            for (LONG y = r.top; y < r.bottom; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(image.Row(UINT(y)));
                if (r.right > r.left) std::fill(row + r.left, row + r.right, uint32_t(color));
            }
        }
        if (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) {
            ImageStore& image = depthStencil_->image();
            RECT r = clampTo(region, image);
            const FormatInfo& f = *image.info;
            const uint32_t depthValue = QuantiseDepth(f, z);
            if (f.blockBytes == 2) {
                for (LONG y = r.top; y < r.bottom; ++y) {
                    auto* row = reinterpret_cast<uint16_t*>(image.Row(UINT(y)));
                    if (r.right > r.left) std::fill(row + r.left, row + r.right, uint16_t(depthValue));
                }
                continue;
            }
            // 32-bit depth/stencil: each value becomes (v & keep) | set, a
            // loop without branches over the row.
            uint32_t keep = ~0u, set = 0;
            if (f.depthBits == 32) {
                if (flags & D3DCLEAR_ZBUFFER) keep = 0, set = depthValue;
            } else {
                if (flags & D3DCLEAR_ZBUFFER) keep &= 0xFFu, set |= depthValue << 8;
                if (flags & D3DCLEAR_STENCIL) keep &= ~0xFFu, set |= stencil & ((1u << f.stencilBits) - 1);
            }
            for (LONG y = r.top; y < r.bottom; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(image.Row(UINT(y)));
                for (LONG x = r.left; x < r.right; ++x) row[x] = (row[x] & keep) | set;
            }
        }
    }
    return D3D_OK;
}

// ---- Fixed-function state ----

HRESULT DeviceImpl::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix || state >= kTransformSlots) return D3DERR_INVALIDCALL;
    transforms_[state] = *matrix;
    return D3D_OK;
}

HRESULT DeviceImpl::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix || state >= kTransformSlots) return D3DERR_INVALIDCALL;
    *matrix = transforms_[state];
    return D3D_OK;
}

HRESULT DeviceImpl::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix || state >= kTransformSlots) return D3DERR_INVALIDCALL;
    // The new transform is matrix * current.
    D3DMATRIX result;
    const D3DMATRIX& cur = transforms_[state];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0.f;
            for (int k = 0; k < 4; ++k) sum += matrix->m[r][k] * cur.m[k][c];
            result.m[r][c] = sum;
        }
    }
    transforms_[state] = result;
    return D3D_OK;
}

HRESULT DeviceImpl::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    const ImageStore& rt = renderTargets_[0]->image();
    const D3DVIEWPORT9& v = *viewport;
    if (v.Width == 0 || v.Height == 0 || uint64_t(v.X) + v.Width > rt.width || uint64_t(v.Y) + v.Height > rt.height ||
        !(v.MinZ >= 0.f && v.MinZ <= 1.f && v.MaxZ >= 0.f && v.MaxZ <= 1.f)) {
        return D3DERR_INVALIDCALL;
    }
    viewport_ = v;
    return D3D_OK;
}

HRESULT DeviceImpl::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = viewport_;
    return D3D_OK;
}

HRESULT DeviceImpl::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= kRenderStateCount) return D3DERR_INVALIDCALL;
    renderStates_[state] = value;
    return D3D_OK;
}

HRESULT DeviceImpl::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || state >= kRenderStateCount) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

float DeviceImpl::rsFloat(D3DRENDERSTATETYPE state) const { return AsFloat(renderStates_[state]); }

namespace {
// Maps a sampler number (0-15, D3DDMAPSAMPLER, D3DVERTEXTEXTURESAMPLER0-3)
// to its slot, or -1.
int SamplerSlot(DWORD sampler) {
    if (sampler < kPixelSamplers) return int(sampler);
    if (sampler >= D3DDMAPSAMPLER && sampler <= D3DVERTEXTEXTURESAMPLER3) return int(kPixelSamplers + sampler - D3DDMAPSAMPLER);
    return -1;
}
}  // namespace

HRESULT DeviceImpl::SetTexture(DWORD sampler, IDirect3DBaseTexture9* texture) {
    int slot = SamplerSlot(sampler);
    if (slot < 0) return D3DERR_INVALIDCALL;
    if (texture && !AsTextureImpl(texture)) return D3DERR_INVALIDCALL;
    if (texture && AsTextureImpl(texture)->pool() == D3DPOOL_SYSTEMMEM) {
        DebugMessage("SetTexture: system-memory textures cannot be sampled");
        return D3DERR_INVALIDCALL;
    }
    Rebind(textures_[slot], texture);
    return D3D_OK;
}

HRESULT DeviceImpl::GetTexture(DWORD sampler, IDirect3DBaseTexture9** texture) {
    int slot = SamplerSlot(sampler);
    if (slot < 0 || !texture) return D3DERR_INVALIDCALL;
    *texture = textures_[slot];
    if (*texture) (*texture)->AddRef();
    return D3D_OK;
}

HRESULT DeviceImpl::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kTextureStages || type >= kTextureStageStateCount) return D3DERR_INVALIDCALL;
    stageStates_[stage][type] = value;
    return D3D_OK;
}

HRESULT DeviceImpl::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= kTextureStages || type >= kTextureStageStateCount) return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT DeviceImpl::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    int slot = SamplerSlot(sampler);
    if (slot < 0 || type == 0 || type >= kSamplerStateCount) return D3DERR_INVALIDCALL;
    samplerStates_[slot][type] = value;
    return D3D_OK;
}

HRESULT DeviceImpl::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    int slot = SamplerSlot(sampler);
    if (!value || slot < 0 || type == 0 || type >= kSamplerStateCount) return D3DERR_INVALIDCALL;
    *value = samplerStates_[slot][type];
    return D3D_OK;
}

HRESULT DeviceImpl::SetScissorRect(const RECT* rect) {
    if (!rect || rect->left > rect->right || rect->top > rect->bottom) return D3DERR_INVALIDCALL;
    scissor_ = *rect;
    return D3D_OK;
}

HRESULT DeviceImpl::GetScissorRect(RECT* rect) {
    if (!rect) return D3DERR_INVALIDCALL;
    *rect = scissor_;
    return D3D_OK;
}

// ---- Vertex input ----

HRESULT DeviceImpl::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                            IDirect3DVertexDeclaration9** declaration) {
    if (!declaration) return D3DERR_INVALIDCALL;
    VertexDeclImpl* decl = nullptr;
    HRESULT hr = VertexDeclImpl::Create(this, elements, &decl);
    if (FAILED(hr)) {
        DebugMessage("CreateVertexDeclaration: invalid element array");
        return hr;
    }
    *declaration = decl;
    return D3D_OK;
}

HRESULT DeviceImpl::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
    Rebind(declaration_, static_cast<VertexDeclImpl*>(declaration));
    fvf_ = 0;
    return D3D_OK;
}

HRESULT DeviceImpl::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) {
    if (!declaration) return D3DERR_INVALIDCALL;
    *declaration = declaration_;
    if (declaration_) declaration_->AddRef();
    return D3D_OK;
}

HRESULT DeviceImpl::SetFVF(DWORD fvf) {
    if (fvf == 0) {
        fvf_ = 0;
        return D3D_OK;
    }
    auto it = fvfDeclarations_.find(fvf);
    VertexDeclImpl* decl = nullptr;
    if (it == fvfDeclarations_.end()) {
        HRESULT hr = VertexDeclImpl::FromFVF(this, fvf, &decl);
        if (FAILED(hr)) return hr;
        fvfDeclarations_[fvf] = decl;
    } else {
        decl = it->second;
    }
    Rebind(declaration_, decl);
    fvf_ = fvf;
    return D3D_OK;
}

HRESULT DeviceImpl::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}

HRESULT DeviceImpl::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    if (stream >= kMaxStreams || stride > kMaxStreamStride || (offset & 3)) return D3DERR_INVALIDCALL;
    Rebind(streams_[stream].buffer, static_cast<VertexBufferImpl*>(buffer));
    streams_[stream].offset = offset;
    streams_[stream].stride = stride;
    return D3D_OK;
}

HRESULT DeviceImpl::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
    if (stream >= kMaxStreams || !buffer || !offset || !stride) return D3DERR_INVALIDCALL;
    *buffer = streams_[stream].buffer;
    if (*buffer) (*buffer)->AddRef();
    *offset = streams_[stream].offset;
    *stride = streams_[stream].stride;
    return D3D_OK;
}

HRESULT DeviceImpl::SetIndices(IDirect3DIndexBuffer9* indices) {
    Rebind(indices_, static_cast<IndexBufferImpl*>(indices));
    return D3D_OK;
}

HRESULT DeviceImpl::GetIndices(IDirect3DIndexBuffer9** indices) {
    if (!indices) return D3DERR_INVALIDCALL;
    *indices = indices_;
    if (indices_) indices_->AddRef();
    return D3D_OK;
}

// ---- Shaders ----

HRESULT DeviceImpl::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    VertexShaderImpl* s = nullptr;
    HRESULT hr = VertexShaderImpl::Create(this, function, ShaderKind::Vertex, &s);
    if (FAILED(hr)) return hr;
    *shader = s;
    return D3D_OK;
}

HRESULT DeviceImpl::SetVertexShader(IDirect3DVertexShader9* shader) {
    Rebind(vertexShader_, static_cast<VertexShaderImpl*>(shader));
    return D3D_OK;
}

HRESULT DeviceImpl::GetVertexShader(IDirect3DVertexShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = vertexShader_;
    if (vertexShader_) vertexShader_->AddRef();
    return D3D_OK;
}

HRESULT DeviceImpl::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    PixelShaderImpl* s = nullptr;
    HRESULT hr = PixelShaderImpl::Create(this, function, ShaderKind::Pixel, &s);
    if (FAILED(hr)) return hr;
    *shader = s;
    return D3D_OK;
}

HRESULT DeviceImpl::SetPixelShader(IDirect3DPixelShader9* shader) {
    Rebind(pixelShader_, static_cast<PixelShaderImpl*>(shader));
    return D3D_OK;
}

HRESULT DeviceImpl::GetPixelShader(IDirect3DPixelShader9** shader) {
    if (!shader) return D3DERR_INVALIDCALL;
    *shader = pixelShader_;
    if (pixelShader_) pixelShader_->AddRef();
    return D3D_OK;
}

namespace {

// Register ranges checked in one place for the six constant setters/getters.
template <typename T, size_t N, size_t W>
HRESULT CopyIn(T (&regs)[N][W], UINT limit, UINT start, const T* data, UINT count) {
    if (!data || start > limit || count > limit - start) return D3DERR_INVALIDCALL;
    if (count) std::memcpy(&regs[start][0], data, sizeof(T) * W * count);
    return D3D_OK;
}
template <typename T, size_t N, size_t W>
HRESULT CopyOut(const T (&regs)[N][W], UINT limit, UINT start, T* data, UINT count) {
    if (!data || start > limit || count > limit - start) return D3DERR_INVALIDCALL;
    if (count) std::memcpy(data, &regs[start][0], sizeof(T) * W * count);
    return D3D_OK;
}
HRESULT CopyInBool(BOOL (&regs)[ShaderConstants::kBoolCount], UINT start, const BOOL* data, UINT count) {
    if (!data || start > 16 || count > 16 - start) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) regs[start + i] = data[i] ? TRUE : FALSE;
    return D3D_OK;
}
HRESULT CopyOutBool(const BOOL (&regs)[ShaderConstants::kBoolCount], UINT start, BOOL* data, UINT count) {
    if (!data || start > 16 || count > 16 - start) return D3DERR_INVALIDCALL;
    std::memcpy(data, regs + start, sizeof(BOOL) * count);
    return D3D_OK;
}

}  // namespace

HRESULT DeviceImpl::SetVertexShaderConstantF(UINT start, const float* data, UINT count) {
    return CopyIn(vsConstants_.f, ShaderConstants::kVertexFloatCount, start, data, count);
}
HRESULT DeviceImpl::GetVertexShaderConstantF(UINT start, float* data, UINT count) {
    return CopyOut(vsConstants_.f, ShaderConstants::kVertexFloatCount, start, data, count);
}
HRESULT DeviceImpl::SetVertexShaderConstantI(UINT start, const int* data, UINT count) {
    return CopyIn(vsConstants_.i, ShaderConstants::kIntCount, start, data, count);
}
HRESULT DeviceImpl::GetVertexShaderConstantI(UINT start, int* data, UINT count) {
    return CopyOut(vsConstants_.i, ShaderConstants::kIntCount, start, data, count);
}
HRESULT DeviceImpl::SetVertexShaderConstantB(UINT start, const BOOL* data, UINT count) {
    return CopyInBool(vsConstants_.b, start, data, count);
}
HRESULT DeviceImpl::GetVertexShaderConstantB(UINT start, BOOL* data, UINT count) {
    return CopyOutBool(vsConstants_.b, start, data, count);
}
HRESULT DeviceImpl::SetPixelShaderConstantF(UINT start, const float* data, UINT count) {
    return CopyIn(psConstants_.f, ShaderConstants::kPixelFloatCount, start, data, count);
}
HRESULT DeviceImpl::GetPixelShaderConstantF(UINT start, float* data, UINT count) {
    return CopyOut(psConstants_.f, ShaderConstants::kPixelFloatCount, start, data, count);
}
HRESULT DeviceImpl::SetPixelShaderConstantI(UINT start, const int* data, UINT count) {
    return CopyIn(psConstants_.i, ShaderConstants::kIntCount, start, data, count);
}
HRESULT DeviceImpl::GetPixelShaderConstantI(UINT start, int* data, UINT count) {
    return CopyOut(psConstants_.i, ShaderConstants::kIntCount, start, data, count);
}
HRESULT DeviceImpl::SetPixelShaderConstantB(UINT start, const BOOL* data, UINT count) {
    return CopyInBool(psConstants_.b, start, data, count);
}
HRESULT DeviceImpl::GetPixelShaderConstantB(UINT start, BOOL* data, UINT count) {
    return CopyOutBool(psConstants_.b, start, data, count);
}

}  // namespace gfx
