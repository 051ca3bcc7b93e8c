// The XDG base directories.
#include "user_dirs.h"

#include <cstdlib>

#include <pwd.h>
#include <unistd.h>

namespace kelvarin {

const char* const kUnknownDataFolder = "~/.local/share";
const char* const kAppFolderName = "kelvarin";
const UserPlaceNames kUserPlaceNames{"XDG_CONFIG_HOME, XDG_DATA_HOME, HOME",
                                     "XDG_DATA_HOME, HOME",
                                     "$XDG_CONFIG_HOME/kelvarin.ini",
                                     "~/.config/kelvarin.ini",
                                     "$XDG_DATA_HOME/kelvarin/a.dat",
                                     "~/.local/share/kelvarin/a.dat",
                                     "$XDG_STATE_HOME/kelvarin/journal.sqlite",
                                     "~/.local/state/kelvarin/journal.sqlite",
                                     "XDG_STATE_HOME, HOME"};

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

std::optional<std::string> UserStateFolder() {
    return XdgFolder("XDG_STATE_HOME", ".local/state");
}

std::string UserName() {
    // The account the process runs as, not what its environment claims.
    char buffer[4096];
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_name && found->pw_name[0] != '\0') {
        return found->pw_name;
    }
    return "uid " + std::to_string(::geteuid());
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') {
        return name;
    }
    return "unknown";
}

}  // namespace kelvarin
