// One image of thumbnails taken evenly across a run of unknown length, in
// bounded memory: every `stride`-th frame is kept; when twice the number of
// cells have been kept, every other one is dropped and the stride doubles.
// At the end the cells are chosen evenly among the kept thumbnails.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/presenter.h"

namespace demo {

class ContactSheet {
public:
    ContactSheet(int columns = 6, int rows = 4, int thumbWidth = 200);

    void Add(const gfx::PresentedFrame& frame);
    // The grid image (dark grey background and 4-pixel gaps); empty when no frame
    // was added.
    gfx::FrameImage Compose() const;
    // Indices (0-based, in order of Add) of the frames Compose shows.
    std::vector<uint64_t> ChosenFrames() const;
    HRESULT Write(const std::string& path) const;

private:
    struct Thumb {
        uint64_t index;
        gfx::FrameImage image;
    };
    std::vector<size_t> Choose() const;

    int columns_;
    int rows_;
    int thumbWidth_;
    int thumbHeight_ = 0;
    uint64_t added_ = 0;
    uint64_t stride_ = 1;
    std::vector<Thumb> kept_;
};

// Box-filters a frame down to width x height (each at least 1).
gfx::FrameImage Shrink(const gfx::PresentedFrame& frame, int width, int height);

}  // namespace demo
