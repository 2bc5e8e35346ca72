#include "demo/window_presenter.h"

#include "platform/window.h"

namespace demo {

HRESULT WindowPresenter::Present(const gfx::PresentedFrame& frame) {
    if (frame.window != shown_) {
        platform::SetWindowFullscreen(frame.window, fullscreen_);
        shown_ = frame.window;
    }
    return platform::PresentToWindow(frame.window, frame.pixels, static_cast<int>(frame.width),
                                     static_cast<int>(frame.height), frame.pitch);
}

}  // namespace demo
