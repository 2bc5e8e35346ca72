// Internal: what an MCI device needs from the sound output. One object per
// open device. Only platform/ includes this.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci.h"

namespace platform::mci {

class Track {
public:
    virtual ~Track() = default;
    // Starts at fromMs (0 when from the start).
    virtual MCIERROR Play(int64_t fromMs) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Stops and keeps the position.
    virtual void Stop() = 0;
    virtual bool Playing() const = 0;
    virtual bool Paused() const = 0;
    virtual int64_t PositionMs() const = 0;
    // 0 when unknown.
    virtual int64_t LengthMs() const = 0;
    // Blocks until playing ends (returns at once when nothing plays).
    virtual void WaitUntilDone() = 0;
};

// Opens a file for one device; on failure returns null and sets *error.
std::unique_ptr<Track> OpenSilentTrack(const std::string& path, MCIERROR* error);
std::unique_ptr<Track> OpenSpeakerTrack(const std::string& path, MCIERROR* error);
// Releases the sound device once no track uses it.
void CloseSpeakers();

}  // namespace platform::mci
