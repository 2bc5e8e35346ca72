// The demo's music, synthesised from scratch: 96 seconds that follow the timeline.
#pragma once

#include <string>

// Writes a 44.1 kHz 16-bit stereo WAV file. Returns false on failure.
bool MakeMusicWav(const std::string& path);
