// How the window's --help names the places it uses on this system: its
// settings file, its dump file, the environment that moves them, and where
// Qt's own Chinese texts come from. One file per system.
#pragma once

#include <string>

namespace kelvarin {

struct WindowPlaces {
    std::string variables;        // the environment variables that move the folders
    std::string settings;         // the settings file
    std::string settingsDefault;  // where it is by default, or empty when that is the rule
    std::string dump;             // the dump of the last image sent
    std::string dumpDefault;      // as settingsDefault
    std::string qtTranslations;   // Qt's translation files; empty when compiled in
};

// This system's places, as the window's --help names them.
const WindowPlaces& ThisSystemsPlaces();

}  // namespace kelvarin
