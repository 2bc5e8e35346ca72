// Shows presented frames in their window: scaled to fit and letterboxed, in a
// borderless window over the whole desktop (full screen, without changing the
// display mode) or in the window as created.
#pragma once

#include "gfx/presenter.h"

namespace demo {

class WindowPresenter : public gfx::Presenter {
public:
    explicit WindowPresenter(bool fullscreen) : fullscreen_(fullscreen) {}
    HRESULT Present(const gfx::PresentedFrame& frame) override;

private:
    bool fullscreen_;
    HWND shown_ = nullptr;  // the window whose screen mode has been set
};

}  // namespace demo
