// The per-user folders where Kelvarin keeps its settings and its dump file.
#pragma once

#include <optional>
#include <string>

namespace kelvarin {

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share (on Windows %LOCALAPPDATA%). Nothing when neither is
// known.
std::optional<std::string> UserDataFolder();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config (on Windows %APPDATA%). Nothing when neither is
// known.
std::optional<std::string> UserConfigFolder();

// The user's state folder, for what Kelvarin keeps of its own doing (the
// journal): $XDG_STATE_HOME when it is an absolute path, else
// $HOME/.local/state (on Windows %LOCALAPPDATA%). Nothing when neither is
// known.
std::optional<std::string> UserStateFolder();

// The operating system's name of the user running this program, and of the
// machine; "unknown" when the system does not say.
std::string UserName();
std::string HostName();

// How the data folder is written when it cannot be found, for messages that
// name the place that could not be used.
extern const char* const kUnknownDataFolder;

// The name of Kelvarin's own folder in the data folder ("kelvarin" on Linux,
// "Kelvarin" on Windows).
extern const char* const kAppFolderName;

// How help texts and manuals name the per-user places on this system.
struct UserPlaceNames {
    const char* variables;        // every environment variable that moves a folder
    const char* dataVariables;    // those that move the data folder
    const char* settings;         // the window's settings file
    const char* settingsDefault;  // where it is by default, or "" when that is the rule
    const char* dump;             // the dump of the last image sent
    const char* dumpDefault;      // as settingsDefault
    const char* journal;          // the journal of every operation on a device
    const char* journalDefault;   // as settingsDefault
    const char* stateVariables;   // those that move the state folder
};

// This system's place names.
extern const UserPlaceNames kUserPlaceNames;

}  // namespace kelvarin
