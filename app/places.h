// Where Qt's own Chinese texts come from, as the window's --help names them:
// the one place of the window's that differs between systems beyond the
// per-user folders (kUserPlaceNames). One file per system.
#pragma once

namespace kelvarin {

// Qt's translation files; empty where they are compiled into the program.
extern const char* const kQtTranslationsPlace;

}  // namespace kelvarin
