#include "demo/recorder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "demo/timeline.h"
#include "platform/clock.h"
#include "platform/window.h"

extern char** environ;

namespace demo {
namespace {

namespace fs = std::filesystem;

constexpr float kSceneLimits[] = {kIntroEnd, kFire2End, kFire3End, kFireEnd};

bool WriteAll(int fd, const BYTE* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", s);
    return text;
}

// A span of seconds as m:ss.
std::string Clock(double s) {
    const long whole = std::lround(std::max(0.0, s));
    char text[32];
    std::snprintf(text, sizeof(text), "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// Whether `name` is one of the recorder's own frame files, "frame_NNNNN.png".
bool IsFrameFileName(const std::string& name) {
    if (name.size() != 15 || name.compare(0, 6, "frame_") != 0 || name.compare(11, 4, ".png") != 0) return false;
    return std::all_of(name.begin() + 6, name.begin() + 11, [](char c) { return c >= '0' && c <= '9'; });
}

// Makes the frame folder and clears the frames of an earlier recording from
// it, so that no stale frame stays behind the new ones. Other files stay.
bool PrepareFrameFolder(const std::string& folder, std::string* error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        *error = "cannot make the directory " + folder + ": " +
                 (ec ? ec.message() : std::string("a file of that name exists"));
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        *error = "cannot write into the directory " + folder + ": " + std::strerror(errno);
        return false;
    }
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (IsFrameFileName(it->path().filename().string()) && it->is_regular_file()) stale.push_back(it->path());
    for (const fs::path& file : stale) {
        if (!ec) fs::remove(file, ec);
        if (ec) {
            *error = "cannot remove the earlier frame " + file.string() + ": " + ec.message();
            return false;
        }
    }
    if (ec) {
        *error = "cannot list the directory " + folder + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return "";
    std::string dirs = path;
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        fs::path dir = end > start ? fs::path(dirs.substr(start, end - start)) : fs::path(".");
        std::string candidate = (dir / program).string();
        struct stat info{};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

int64_t Recorder::FirstFrameAt(double seconds, int fps) {
    const float frequency = static_cast<float>(int64_t(fps) * kCountsPerFrame);
    const float target = static_cast<float>(seconds);
    int64_t frame = std::max<int64_t>(0, static_cast<int64_t>(std::floor(seconds * fps)) - 2);
    while (static_cast<float>(frame * kCountsPerFrame) / frequency < target) ++frame;
    return frame;
}

int64_t Recorder::NextFrame(int64_t frame, int64_t fromFrame, int fps) {
    if (frame + 1 >= fromFrame) return frame + 1;
    // From the last limit on (the outro), frames go one by one: the outro
    // takes its start from the clock of its first frame.
    if (frame >= FirstFrameAt(kSceneLimits[std::size(kSceneLimits) - 1], fps)) return frame + 1;
    int64_t next = std::min(frame + fps, fromFrame);
    for (float limit : kSceneLimits) {
        int64_t limitFrame = FirstFrameAt(limit, fps);
        if (limitFrame > frame) {
            next = std::min(next, limitFrame);
            break;
        }
    }
    return std::max(next, frame + 1);
}

std::shared_ptr<Recorder> Recorder::Create(const Options& options, const std::string& musicFile,
                                           std::string* error) {
    std::shared_ptr<Recorder> recorder(new Recorder());
    recorder->options_ = options;
    recorder->fromFrame_ = FirstFrameAt(options.from, options.fps);
    recorder->toFrame_ = options.to >= 0 ? FirstFrameAt(options.to, options.fps) : -1;
    recorder->progress_ = isatty(STDERR_FILENO) != 0;
    recorder->started_ = std::chrono::steady_clock::now();
    // The stretch ends at --to or at the demo's end, which the timeline
    // reaches at about kFireEnd + kOutroLength.
    const int64_t endFrame = recorder->toFrame_ >= 0 ? recorder->toFrame_
                                                     : FirstFrameAt(kFireEnd + kOutroLength, options.fps) + 1;
    recorder->expectedFrames_ = std::max<int64_t>(1, endFrame - recorder->fromFrame_);
    if (!options.contactSheet.empty()) recorder->sheet_.emplace();

    if (options.RecordsVideo()) {
        std::string ffmpeg = FindOnPath("ffmpeg");
        if (ffmpeg.empty()) {
            *error = "writing " + options.record + " needs ffmpeg, which is not installed; give a directory instead "
                     "to get PNG frames";
            return nullptr;
        }
        std::vector<std::string> args = {ffmpeg, "-loglevel", "error", "-y", "-f", "rawvideo", "-pixel_format",
                                         "bgra", "-video_size", "800x600", "-framerate",
                                         std::to_string(options.fps), "-i", "pipe:0"};
        struct stat info{};
        bool music = !musicFile.empty() && stat(musicFile.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        if (music) {
            // The music starts with the demo; a recording from S starts S into it.
            // Silence pads it when the demo outlasts it; the video sets the end.
            args.insert(args.end(), {"-ss", Seconds(options.from), "-i", musicFile, "-filter:a", "apad", "-c:a",
                                     "aac", "-shortest"});
        }
        args.insert(args.end(), {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-movflags", "+faststart", options.record});

        int fds[2];
        if (pipe(fds) != 0) {
            *error = std::string("cannot start ffmpeg: ") + std::strerror(errno);
            return nullptr;
        }
        fcntl(fds[1], F_SETFD, FD_CLOEXEC);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[0]);
        if (rc != 0) {
            close(fds[1]);
            *error = std::string("cannot start ffmpeg: ") + std::strerror(rc);
            return nullptr;
        }
        // A dead encoder must give a write error, not end the demo.
        signal(SIGPIPE, SIG_IGN);
        recorder->encoder_ = pid;
        recorder->encoderInput_ = fds[1];
    } else if (!options.record.empty()) {
        if (!PrepareFrameFolder(options.record, error)) return nullptr;
        recorder->directory_ = options.record;
    }
    platform::UseVirtualClock(int64_t(options.fps) * kCountsPerFrame, 0);
    return recorder;
}

Recorder::~Recorder() {
    if (encoderInput_ >= 0) close(encoderInput_);
    if (encoder_ > 0) waitpid(encoder_, nullptr, 0);
}

void Recorder::Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    PostQuitMessage(0);
}

HRESULT Recorder::WriteFrame(const gfx::PresentedFrame& frame) {
    if (encoderInput_ >= 0) {
        if (frame.width != 800 || frame.height != 600) {
            Fail("the video wants 800 x 600 frames");
            return E_FAIL;
        }
        for (UINT y = 0; y < frame.height; ++y) {
            if (!WriteAll(encoderInput_, frame.pixels + size_t(y) * frame.pitch, size_t(frame.width) * 4)) {
                Fail("ffmpeg stopped taking frames");
                return E_FAIL;
            }
        }
    } else if (!directory_.empty()) {
        char name[32];
        std::snprintf(name, sizeof(name), "frame_%05llu.png", static_cast<unsigned long long>(written_));
        std::string path = (std::filesystem::path(directory_) / name).string();
        if (FAILED(gfx::WritePng(path, gfx::CopyFrame(frame)))) {
            Fail("cannot write " + path);
            return E_FAIL;
        }
    }
    ++written_;
    return S_OK;
}

HRESULT Recorder::Present(const gfx::PresentedFrame& frame) {
    ++frameNumber_;
    HRESULT hr = S_OK;
    if (toFrame_ >= 0 && frame_ >= toFrame_) {
        PostQuitMessage(0);  // past the end of the stretch: this frame is not kept
    } else if (frame_ >= fromFrame_) {
        hr = WriteFrame(frame);
        if (sheet_) sheet_->Add(frame);
    }
    int64_t next = NextFrame(frame_, fromFrame_, options_.fps);
    platform::AdvanceVirtualClock((next - frame_) * kCountsPerFrame);
    frame_ = next;
    ShowProgress(false);
    return hr;
}

void Recorder::ShowProgress(bool force) {
    if (!progress_) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && now - lastProgress_ < std::chrono::milliseconds(250)) return;
    lastProgress_ = now;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    const int64_t total = std::max<int64_t>(expectedFrames_, int64_t(written_));
    std::string left = "estimating";
    if (written_ > 0) left = "about " + Clock(elapsed / double(written_) * double(total - int64_t(written_))) + " left";
    // Padding clears what a longer earlier line left on the terminal.
    std::fprintf(stderr, "\rcinderglow: frame %llu of %lld, %s elapsed, %s    ",
                 static_cast<unsigned long long>(written_), static_cast<long long>(total), Clock(elapsed).c_str(),
                 left.c_str());
    std::fflush(stderr);
}

bool Recorder::Finish(std::string* error) {
    if (progress_) {
        ShowProgress(true);
        std::fprintf(stderr, "\n");
    }
    if (encoderInput_ >= 0) {
        close(encoderInput_);
        encoderInput_ = -1;
        int status = 0;
        if (waitpid(encoder_, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            if (error_.empty()) error_ = "ffmpeg could not make " + options_.record;
        }
        encoder_ = -1;
    }
    if (error_.empty() && written_ == 0 && !options_.record.empty())
        error_ = "no frame fell in the recorded stretch, so nothing was recorded";
    if (sheet_ && error_.empty()) {
        if (written_ == 0) {
            error_ = "no frame fell in the recorded stretch, so there is no contact sheet";
        } else if (FAILED(sheet_->Write(options_.contactSheet))) {
            error_ = "cannot write " + options_.contactSheet;
        }
    }
    if (!error_.empty()) {
        *error = error_;
        return false;
    }
    std::string where = !options_.record.empty() ? " to " + options_.record : "";
    std::fprintf(stderr, "cinderglow: %llu frames (%.2f s at %d fps)%s%s%s\n",
                 static_cast<unsigned long long>(written_), double(written_) / options_.fps, options_.fps,
                 where.c_str(), sheet_ ? ", contact sheet " : "", sheet_ ? options_.contactSheet.c_str() : "");
    return true;
}

}  // namespace demo
