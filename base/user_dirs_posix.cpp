// The XDG base directories.
#include "user_dirs.h"

#include <cstdlib>

namespace kelvarin {

const char* const kUnknownDataFolder = "~/.local/share";
const char* const kAppFolderName = "kelvarin";
const UserPlaceNames kUserPlaceNames{"XDG_CONFIG_HOME, XDG_DATA_HOME, HOME",
                                     "XDG_DATA_HOME, HOME",
                                     "$XDG_CONFIG_HOME/kelvarin.ini",
                                     "~/.config/kelvarin.ini",
                                     "$XDG_DATA_HOME/kelvarin/a.dat",
                                     "~/.local/share/kelvarin/a.dat"};

namespace {

// $variable when it is absolute (relative values are to be ignored, as the
// XDG base directory rules say), else $HOME/fallback, else nothing.
std::optional<std::string> XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') {
        return std::string(value);
    }
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') {
        return std::string(home) + "/" + fallback;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> UserDataFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share");
}

std::optional<std::string> UserConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", ".config");
}

}  // namespace kelvarin
