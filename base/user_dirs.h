// The per-user folders where Kelvarin keeps its settings and its dump file.
#pragma once

#include <optional>
#include <string>

namespace kelvarin {

// The user's data folder: $XDG_DATA_HOME when it is an absolute path, else
// $HOME/.local/share. Nothing when neither is known.
std::optional<std::string> UserDataFolder();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config. Nothing when neither is known.
std::optional<std::string> UserConfigFolder();

// How the data folder is written when it cannot be found, for messages that
// name the place that could not be used.
inline constexpr const char* kUnknownDataFolder = "~/.local/share";

}  // namespace kelvarin
