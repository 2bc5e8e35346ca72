#include "platform/mci.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/mci_output.h"

namespace {

using platform::mci::Track;

struct Device {
    UINT id;
    std::string name;  // lower case: the alias, or the element when there is none
    std::unique_ptr<Track> track;
};

struct MciState {
    std::vector<Device> devices;
    UINT nextId = 1;
    platform::MusicOutput output = platform::MusicOutput::Speakers;
};

MciState& State() {
    static MciState state;
    return state;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Splits a command into words; double quotes group words with spaces.
MCIERROR Tokenize(const char* text, std::vector<std::string>* words) {
    const char* p = text;
    while (*p) {
        while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
        if (!*p) break;
        std::string word;
        if (*p == '"') {
            const char* end = std::strchr(p + 1, '"');
            if (!end) return MCIERR_NO_CLOSING_QUOTE;
            word.assign(p + 1, end);
            p = end + 1;
        } else {
            while (*p && !std::isspace(static_cast<unsigned char>(*p))) word += *p++;
        }
        words->push_back(word);
    }
    return words->empty() ? MCIERR_MISSING_COMMAND_STRING : 0;
}

// The words after the command and device name, with their keyword/value pairs.
class Args {
public:
    explicit Args(std::vector<std::string> words) : words_(std::move(words)) {}
    bool Empty() const { return pos_ >= words_.size(); }
    std::string Next() { return pos_ < words_.size() ? words_[pos_++] : std::string(); }
    std::string NextKeyword() { return Lower(Next()); }
    bool HasValue() const { return pos_ < words_.size(); }

private:
    std::vector<std::string> words_;
    size_t pos_ = 0;
};

MCIERROR ParseMs(const std::string& text, int64_t* value) {
    if (text.empty()) return MCIERR_MISSING_PARAMETER;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, *value);
    if (ec != std::errc() || ptr != end || *value < 0) return MCIERR_BAD_INTEGER;
    return 0;
}

MCIERROR Reply(const std::string& text, LPSTR out, UINT length) {
    if (!out || length == 0) return 0;
    if (text.size() + 1 > length) return MCIERR_PARAM_OVERFLOW;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return 0;
}

Device* FindDevice(const std::string& name) {
    std::string key = Lower(name);
    for (Device& d : State().devices)
        if (d.name == key) return &d;
    return nullptr;
}

bool IsFlag(const std::string& keyword) { return keyword == "wait" || keyword == "notify"; }

constexpr const char* kKnownTypes[] = {"mpegvideo", "waveaudio", "sequencer"};

MCIERROR Open(Args& args, LPSTR out, UINT length) {
    if (!args.HasValue()) return MCIERR_MISSING_DEVICE_NAME;
    std::string element = args.Next();
    std::string alias;
    while (!args.Empty()) {
        std::string keyword = args.NextKeyword();
        if (keyword == "type") {
            if (!args.HasValue()) return MCIERR_MISSING_STRING_ARGUMENT;
            std::string type = args.NextKeyword();
            if (std::find(std::begin(kKnownTypes), std::end(kKnownTypes), type) == std::end(kKnownTypes))
                return MCIERR_INVALID_DEVICE_NAME;
        } else if (keyword == "alias") {
            if (!args.HasValue()) return MCIERR_MISSING_STRING_ARGUMENT;
            alias = args.Next();
        } else if (!IsFlag(keyword) && keyword != "shareable") {
            return MCIERR_UNRECOGNIZED_KEYWORD;
        }
    }
    std::string name = alias.empty() ? element : alias;
    if (Lower(name) == "all") return MCIERR_INVALID_DEVICE_NAME;
    if (FindDevice(name)) return MCIERR_DUPLICATE_ALIAS;
    MCIERROR error = 0;
    auto& state = State();
    std::unique_ptr<Track> track = state.output == platform::MusicOutput::Silent
                                       ? platform::mci::OpenSilentTrack(element, &error)
                                       : platform::mci::OpenSpeakerTrack(element, &error);
    if (!track) {
        if (state.devices.empty()) platform::mci::CloseSpeakers();  // opened for nothing
        return error;
    }
    UINT id = state.nextId++;
    state.devices.push_back(Device{id, Lower(name), std::move(track)});
    return Reply(std::to_string(id), out, length);
}

MCIERROR Play(Device& device, Args& args) {
    int64_t from = -1;
    bool wait = false;
    while (!args.Empty()) {
        std::string keyword = args.NextKeyword();
        if (keyword == "from") {
            if (MCIERROR e = ParseMs(args.Next(), &from)) return e;
        } else if (keyword == "wait") {
            wait = true;
        } else if (keyword == "to" || keyword == "repeat") {
            return MCIERR_UNSUPPORTED_FUNCTION;
        } else if (!IsFlag(keyword)) {
            return MCIERR_UNRECOGNIZED_KEYWORD;
        }
    }
    Track& track = *device.track;
    int64_t length = track.LengthMs();
    if (from > 0 && length > 0 && from > length) return MCIERR_OUTOFRANGE;
    if (from < 0 && track.Paused()) {
        track.Resume();
    } else if (MCIERROR e = track.Play(from < 0 ? track.PositionMs() : from)) {
        return e;
    }
    if (wait) track.WaitUntilDone();
    return 0;
}

MCIERROR Seek(Device& device, Args& args) {
    if (args.NextKeyword() != "to") return MCIERR_MISSING_PARAMETER;
    std::string where = args.NextKeyword();
    int64_t ms = 0;
    Track& track = *device.track;
    if (where == "end") {
        ms = track.LengthMs();
    } else if (where != "start") {
        if (MCIERROR e = ParseMs(where, &ms)) return e;
        if (track.LengthMs() > 0 && ms > track.LengthMs()) return MCIERR_OUTOFRANGE;
    }
    track.Stop();
    if (MCIERROR e = track.Play(ms)) return e;
    track.Stop();
    return 0;
}

MCIERROR Status(Device& device, Args& args, LPSTR out, UINT length) {
    if (args.Empty()) return MCIERR_MISSING_PARAMETER;
    std::string item = args.NextKeyword();
    const Track& track = *device.track;
    std::string reply;
    if (item == "mode") {
        reply = track.Paused() ? "paused" : track.Playing() ? "playing" : "stopped";
    } else if (item == "length") {
        reply = std::to_string(track.LengthMs());
    } else if (item == "position") {
        reply = std::to_string(track.PositionMs());
    } else if (item == "ready") {
        reply = "true";
    } else if (item == "time") {
        if (args.NextKeyword() != "format") return MCIERR_MISSING_PARAMETER;
        reply = "milliseconds";
    } else {
        return MCIERR_UNRECOGNIZED_KEYWORD;
    }
    while (!args.Empty())
        if (!IsFlag(args.NextKeyword())) return MCIERR_UNRECOGNIZED_KEYWORD;
    return Reply(reply, out, length);
}

MCIERROR Set(Args& args) {
    if (args.NextKeyword() != "time" || args.NextKeyword() != "format") return MCIERR_MISSING_PARAMETER;
    std::string format = args.NextKeyword();
    return format == "milliseconds" || format == "ms" ? 0 : MCIERR_BAD_TIME_FORMAT;
}

void CloseDevice(UINT id) {
    auto& devices = State().devices;
    devices.erase(std::remove_if(devices.begin(), devices.end(), [&](const Device& d) { return d.id == id; }),
                  devices.end());
    if (devices.empty()) platform::mci::CloseSpeakers();
}

void CloseAll() {
    State().devices.clear();
    platform::mci::CloseSpeakers();
}

struct ErrorText {
    MCIERROR code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "The specified command was carried out."},
    {MCIERR_INVALID_DEVICE_ID, "Invalid MCI device ID. Use the ID returned when opening the MCI device."},
    {MCIERR_UNRECOGNIZED_KEYWORD, "The driver cannot recognize the specified command parameter."},
    {MCIERR_UNRECOGNIZED_COMMAND, "The driver cannot recognize the specified command."},
    {MCIERR_HARDWARE, "There is a problem with your media device. Make sure it is working correctly."},
    {MCIERR_INVALID_DEVICE_NAME, "The specified device is not open or is not recognized by MCI."},
    {MCIERR_OUT_OF_MEMORY, "Not enough memory available for this task."},
    {MCIERR_MISSING_COMMAND_STRING, "No command was specified."},
    {MCIERR_PARAM_OVERFLOW, "The output string was too large to fit in the return buffer."},
    {MCIERR_MISSING_STRING_ARGUMENT, "The specified command requires a character-string parameter."},
    {MCIERR_BAD_INTEGER, "The specified integer is invalid for this command."},
    {MCIERR_MISSING_PARAMETER, "The specified command requires a parameter."},
    {MCIERR_UNSUPPORTED_FUNCTION, "The MCI device you are using does not support the specified command."},
    {MCIERR_FILE_NOT_FOUND, "Cannot find the specified file. Make sure the path and filename are correct."},
    {MCIERR_OUTOFRANGE, "The specified parameter is out of range for the specified command."},
    {MCIERR_MISSING_DEVICE_NAME, "No device name was given."},
    {MCIERR_DUPLICATE_ALIAS, "The specified alias is already being used in this application."},
    {MCIERR_BAD_TIME_FORMAT, "The specified time format is invalid."},
    {MCIERR_NO_CLOSING_QUOTE, "A closing quotation mark is missing."},
    {MCIERR_INVALID_FILE, "The specified file cannot be played on the specified MCI device."},
};

}  // namespace

MCIERROR mciSendStringA(LPCSTR command, LPSTR returnString, UINT returnLength, HWND) {
    if (returnString && returnLength > 0) returnString[0] = '\0';
    if (!command) return MCIERR_MISSING_COMMAND_STRING;
    std::vector<std::string> words;
    if (MCIERROR e = Tokenize(command, &words)) return e;
    std::string verb = Lower(words[0]);
    static const char* const kVerbs[] = {"open", "play", "pause", "resume", "stop", "seek", "status", "set", "close"};
    if (std::find(std::begin(kVerbs), std::end(kVerbs), verb) == std::end(kVerbs)) return MCIERR_UNRECOGNIZED_COMMAND;
    if (words.size() < 2) return MCIERR_MISSING_DEVICE_NAME;
    std::string deviceName = words[1];
    Args args(std::vector<std::string>(words.begin() + 1, words.end()));

    if (verb == "open") return Open(args, returnString, returnLength);
    args.Next();  // the device name
    if (verb == "close" && Lower(deviceName) == "all") {
        CloseAll();
        return 0;
    }
    Device* device = FindDevice(deviceName);
    if (!device) return MCIERR_INVALID_DEVICE_NAME;

    if (verb == "play") return Play(*device, args);
    if (verb == "status") return Status(*device, args, returnString, returnLength);
    if (verb == "seek") return Seek(*device, args);
    if (verb == "set") return Set(args);
    while (!args.Empty())
        if (!IsFlag(args.NextKeyword())) return MCIERR_UNRECOGNIZED_KEYWORD;
    if (verb == "pause") device->track->Pause();
    if (verb == "resume") device->track->Resume();
    if (verb == "stop") device->track->Stop();
    if (verb == "close") CloseDevice(device->id);
    return 0;
}

BOOL mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length) {
    if (!text || length == 0) return FALSE;
    for (const ErrorText& e : kErrorTexts) {
        if (e.code != error) continue;
        size_t n = std::min<size_t>(std::strlen(e.text), length - 1);
        std::memcpy(text, e.text, n);
        text[n] = '\0';
        return TRUE;
    }
    text[0] = '\0';
    return FALSE;
}

namespace platform {

void SetMusicOutput(MusicOutput output) {
    if (State().output == output) return;
    CloseAll();
    State().output = output;
}

}  // namespace platform
