// The music output to the sound device, through SDL2_mixer. The mixer plays
// one music stream at a time: starting a track stops whichever other one was
// playing. The device is opened with the first track and closed with the last.
#include <SDL.h>
#include <SDL_mixer.h>
#include <sys/stat.h>

#include <string>

#include "platform/mci_output.h"

namespace platform::mci {
namespace {

bool g_audioOpen = false;
class SpeakerTrack;
SpeakerTrack* g_current = nullptr;  // the track that owns the mixer's music channel

bool Exists(const std::string& path) {
    struct stat info{};
    return !path.empty() && stat(path.c_str(), &info) == 0;
}

// Whether a sound server or sound card can be there at all. Probing audio on
// a machine without either makes the sound libraries print pages of errors,
// so in that case no probe is made (unless a driver was named explicitly).
bool SoundMayExist() {
    const char* named = SDL_getenv("SDL_AUDIODRIVER");
    if (named && *named) return true;
    const char* pulse = SDL_getenv("PULSE_SERVER");
    if (pulse && *pulse) return true;
    const char* runtime = SDL_getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? std::string(runtime) : std::string();
    return Exists("/dev/snd") || (!dir.empty() && (Exists(dir + "/pulse/native") || Exists(dir + "/pipewire-0")));
}

bool OpenAudio() {
    if (g_audioOpen) return true;
    if (!SoundMayExist()) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    Mix_Init(MIX_INIT_MP3 | MIX_INIT_OGG);
    if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 2048) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    g_audioOpen = true;
    return true;
}

class SpeakerTrack final : public Track {
public:
    explicit SpeakerTrack(Mix_Music* music) : music_(music) {}
    ~SpeakerTrack() override {
        if (g_current == this) {
            Mix_HaltMusic();
            g_current = nullptr;
        }
        Mix_FreeMusic(music_);
    }

    MCIERROR Play(int64_t fromMs) override {
        if (g_current && g_current != this) g_current->Stop();
        if (Mix_PlayMusic(music_, 0) != 0) return MCIERR_HARDWARE;
        g_current = this;
        if (fromMs > 0) Mix_SetMusicPosition(static_cast<double>(fromMs) / 1000.0);
        return 0;
    }
    void Pause() override {
        if (Owner()) Mix_PauseMusic();
    }
    void Resume() override {
        if (Owner()) Mix_ResumeMusic();
    }
    void Stop() override {
        if (!Owner()) return;
        heldAt_ = PositionMs();
        Mix_HaltMusic();
        g_current = nullptr;
    }
    bool Playing() const override { return Owner() && Mix_PlayingMusic() && !Mix_PausedMusic(); }
    bool Paused() const override { return Owner() && Mix_PlayingMusic() && Mix_PausedMusic(); }
    int64_t PositionMs() const override {
        if (!Owner()) return heldAt_;
        double seconds = Mix_GetMusicPosition(music_);
        return seconds > 0 ? static_cast<int64_t>(seconds * 1000.0) : 0;
    }
    int64_t LengthMs() const override {
        double seconds = Mix_MusicDuration(music_);
        return seconds > 0 ? static_cast<int64_t>(seconds * 1000.0) : 0;
    }
    void WaitUntilDone() override {
        while (Owner() && Mix_PlayingMusic() && !Mix_PausedMusic()) SDL_Delay(10);
    }

private:
    bool Owner() const { return g_current == this; }

    Mix_Music* music_;
    int64_t heldAt_ = 0;
};

}  // namespace

std::unique_ptr<Track> OpenSpeakerTrack(const std::string& path, MCIERROR* error) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0) {
        *error = MCIERR_FILE_NOT_FOUND;
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = MCIERR_INVALID_FILE;
        return nullptr;
    }
    if (!OpenAudio()) {
        *error = MCIERR_HARDWARE;
        return nullptr;
    }
    Mix_Music* music = Mix_LoadMUS(path.c_str());
    if (!music) {
        *error = MCIERR_INVALID_FILE;
        return nullptr;
    }
    return std::make_unique<SpeakerTrack>(music);
}

void CloseSpeakers() {
    if (!g_audioOpen) return;
    Mix_HaltMusic();
    g_current = nullptr;
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    g_audioOpen = false;
}

}  // namespace platform::mci
