// The window's places on Windows: the user's roaming and local application
// data folders; Qt's Chinese texts are compiled into the program.
#include "places.h"

#include "user_dirs.h"

namespace kelvarin {

const WindowPlaces& ThisSystemsPlaces() {
    static const WindowPlaces places{kUserPlaceNames.variables,
                                     kUserPlaceNames.settings,
                                     kUserPlaceNames.settingsDefault,
                                     kUserPlaceNames.dump,
                                     kUserPlaceNames.dumpDefault,
                                     ""};
    return places;
}

}  // namespace kelvarin
