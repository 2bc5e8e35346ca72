// The demo's images. Each function writes one PNG into `dir` and returns false on failure.
#pragma once

#include <string>

bool MakeIntro(const std::string& dir);
bool MakeOutro(const std::string& dir);
bool MakeLogo(const std::string& dir);
bool MakeScrollText(const std::string& dir);
bool MakeFireFrames(const std::string& dir);
bool MakeCubeTexture(const std::string& dir);
