// Where presented frames go. The device hands every presented back buffer to
// a Presenter; the window layer supplies one that shows it on screen, tests
// keep frames in memory, and PngFilePresenter writes numbered image files.
//
// Choosing the presenter: gfx::SetDefaultPresenter before CreateDevice (every
// device created afterwards uses it), or gfx::SetDevicePresenter on a device.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gfx/d3d9.h"

namespace gfx {

// One presented back buffer. The pixels stay valid only during the call.
struct PresentedFrame {
    const BYTE* pixels;
    INT pitch;  // bytes from one row to the next
    UINT width;
    UINT height;
    D3DFORMAT format;  // D3DFMT_A8R8G8B8 or D3DFMT_X8R8G8B8
    HWND window;       // the destination window given to Present, or the device window
    uint64_t index;    // 0 for the device's first presented frame
};

class Presenter {
public:
    virtual ~Presenter() = default;
    // A failure is returned by IDirect3DDevice9::Present.
    virtual HRESULT Present(const PresentedFrame& frame) = 0;
};

// Presenter for devices created from now on (null: frames go nowhere).
void SetDefaultPresenter(std::shared_ptr<Presenter> presenter);
std::shared_ptr<Presenter> GetDefaultPresenter();
// Replaces the presenter of one device (null: frames go nowhere).
HRESULT SetDevicePresenter(IDirect3DDevice9* device, std::shared_ptr<Presenter> presenter);

// A copied frame: tightly packed rows of 32-bit 0xAARRGGBB pixels.
struct FrameImage {
    UINT width = 0;
    UINT height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    std::vector<uint32_t> pixels;
    uint32_t At(UINT x, UINT y) const { return pixels[size_t(y) * width + x]; }
};

// Keeps the last presented frame, or every frame when asked to.
class MemoryPresenter : public Presenter {
public:
    explicit MemoryPresenter(bool keepAll = false) : keepAll_(keepAll) {}
    HRESULT Present(const PresentedFrame& frame) override;
    uint64_t FrameCount() const;
    FrameImage LastFrame() const;
    std::vector<FrameImage> Frames() const;  // empty unless keepAll

private:
    mutable std::mutex mutex_;
    bool keepAll_;
    uint64_t count_ = 0;
    FrameImage last_;
    std::vector<FrameImage> all_;
};

// Writes each frame as "<prefix><number>.png" (number with 5 digits from 0),
// e.g. prefix "out/frame_" gives out/frame_00000.png. Alpha is written as
// opaque for D3DFMT_X8R8G8B8 frames.
class PngFilePresenter : public Presenter {
public:
    explicit PngFilePresenter(std::string prefix) : prefix_(std::move(prefix)) {}
    HRESULT Present(const PresentedFrame& frame) override;
    uint64_t FilesWritten() const { return written_; }

private:
    std::string prefix_;
    uint64_t written_ = 0;
};

// Copies a presented frame into a FrameImage.
FrameImage CopyFrame(const PresentedFrame& frame);
// Writes 32-bit pixels to a PNG file; E_FAIL when the file cannot be written.
HRESULT WritePng(const std::string& path, const FrameImage& image);

}  // namespace gfx
