// The multimedia command-string interface, for music. Commands are text:
//   open <file> [type <device type>] [alias <name>]   (returns the device id)
//   play <device> [from <ms>] [wait]
//   pause <device> | resume <device> | stop <device>
//   seek <device> to <ms>|start|end
//   status <device> mode|length|position|ready|time format
//   set <device> time format milliseconds|ms
//   close <device>|all
// Words are not case-sensitive; names with spaces go in double quotes; the
// flags "wait" and "notify" are accepted everywhere. Results are MCI error
// codes (0 for success); mciGetErrorStringA gives their text.
#pragma once

#include "platform/window.h"
#include "platform/wintypes.h"

using MCIERROR = DWORD;

constexpr MCIERROR MCIERR_BASE = 256;
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
constexpr MCIERROR MCIERR_UNRECOGNIZED_KEYWORD = MCIERR_BASE + 3;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
constexpr MCIERROR MCIERR_MISSING_COMMAND_STRING = MCIERR_BASE + 11;
constexpr MCIERROR MCIERR_PARAM_OVERFLOW = MCIERR_BASE + 12;
constexpr MCIERROR MCIERR_MISSING_STRING_ARGUMENT = MCIERR_BASE + 13;
constexpr MCIERROR MCIERR_BAD_INTEGER = MCIERR_BASE + 14;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
constexpr MCIERROR MCIERR_DUPLICATE_ALIAS = MCIERR_BASE + 33;
constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
constexpr MCIERROR MCIERR_NO_CLOSING_QUOTE = MCIERR_BASE + 38;
constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
constexpr MCIERROR MCIERR_MISSING_DEVICE_NAME = MCIERR_BASE + 36;

// Runs one command. A result text (device id, status value) is copied into
// returnString when one is given; a buffer too small for it gives
// MCIERR_PARAM_OVERFLOW. The callback window is accepted and not used.
MCIERROR mciSendStringA(LPCSTR command, LPSTR returnString, UINT returnLength, HWND callback);
// The text of an error code; FALSE for an unknown code or a null buffer.
BOOL mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length);

namespace platform {

// Where music goes: the sound device (through SDL2_mixer), or nowhere. The
// silent output checks that files exist and keeps the device states (open,
// playing, paused, position by the high-resolution counter) but decodes
// nothing, so the length reads 0 and playing never ends by itself; it needs
// no audio device. Recordings and tests use it. Changing the output closes every open device.
enum class MusicOutput { Speakers, Silent };
void SetMusicOutput(MusicOutput output);

}  // namespace platform
