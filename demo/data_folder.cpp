#include "demo/data_folder.h"

#include <filesystem>
#include <system_error>

namespace demo {
namespace {

namespace fs = std::filesystem;

// A file every run reads first: the intro's shader.
constexpr const char* kMarker = "Simple.vhl";

bool HoldsData(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(folder / kMarker, ec);
}

}  // namespace

std::string FindDataFolder() {
    if (HoldsData(".")) return "";
    std::error_code ec;
    fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "";
    fs::path installed = program.parent_path().parent_path() / "share" / "cinderglow";
    return HoldsData(installed) ? installed.string() : "";
}

}  // namespace demo
