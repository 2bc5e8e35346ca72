// Shows presented frames in their window, scaled to fit and letterboxed.
#pragma once

#include "gfx/presenter.h"

namespace demo {

class WindowPresenter : public gfx::Presenter {
public:
    HRESULT Present(const gfx::PresentedFrame& frame) override;
};

}  // namespace demo
