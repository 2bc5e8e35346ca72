// Makes the demo's data files: `cinderglow_assets OUTPUT_DIR` writes the
// images and "music.wav" (which make_assets.sh encodes to m.mp3).
#include <cstdio>
#include <string>

#include "music.h"
#include "pictures.h"

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    struct Step {
        const char* what;
        bool (*make)(const std::string&);
    } steps[] = {
        {"intro.png", MakeIntro},           {"outro.png", MakeOutro},       {"logo.png", MakeLogo},
        {"scrolltext.png", MakeScrollText}, {"fire7.png", MakeFireFrames}, {"cube_tex.png", MakeCubeTexture},
    };
    for (const Step& s : steps) {
        std::printf("making %s\n", s.what);
        if (!s.make(dir)) {
            std::fprintf(stderr, "cinderglow_assets: could not write %s/%s\n", dir.c_str(), s.what);
            return 1;
        }
    }
    std::printf("making music.wav\n");
    if (!MakeMusicWav(dir + "/music.wav")) {
        std::fprintf(stderr, "cinderglow_assets: could not write %s/music.wav\n", dir.c_str());
        return 1;
    }
    return 0;
}
