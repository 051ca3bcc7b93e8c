// The window's places on Windows: the user's roaming and local application
// data folders; Qt's Chinese texts are compiled into the program.
#include "places.h"

namespace kelvarin {

const WindowPlaces& ThisSystemsPlaces() {
    static const WindowPlaces places{"APPDATA, LOCALAPPDATA",
                                     "%APPDATA%\\kelvarin.ini",
                                     "",
                                     "%LOCALAPPDATA%\\Kelvarin\\a.dat",
                                     "",
                                     ""};
    return places;
}

}  // namespace kelvarin
