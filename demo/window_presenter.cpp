#include "demo/window_presenter.h"

#include "platform/window.h"

namespace demo {

HRESULT WindowPresenter::Present(const gfx::PresentedFrame& frame) {
    return platform::PresentToWindow(frame.window, frame.pixels, static_cast<int>(frame.width),
                                     static_cast<int>(frame.height), frame.pitch);
}

}  // namespace demo
