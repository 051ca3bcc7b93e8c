// The window's places on Linux: the XDG folders and Debian's Qt translations.
#include "places.h"

#include "user_dirs.h"

namespace kelvarin {

const WindowPlaces& ThisSystemsPlaces() {
    static const WindowPlaces places{kUserPlaceNames.variables,
                                     kUserPlaceNames.settings,
                                     kUserPlaceNames.settingsDefault,
                                     kUserPlaceNames.dump,
                                     kUserPlaceNames.dumpDefault,
                                     "/usr/share/qt6/translations/qt*_zh_CN.qm"};
    return places;
}

}  // namespace kelvarin
