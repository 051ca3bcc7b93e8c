// The window's places on Linux: the XDG folders and Debian's Qt translations.
#include "places.h"

namespace kelvarin {

const WindowPlaces& ThisSystemsPlaces() {
    static const WindowPlaces places{"XDG_CONFIG_HOME, XDG_DATA_HOME, HOME",
                                     "$XDG_CONFIG_HOME/kelvarin.ini",
                                     "~/.config/kelvarin.ini",
                                     "$XDG_DATA_HOME/kelvarin/a.dat",
                                     "~/.local/share/kelvarin/a.dat",
                                     "/usr/share/qt6/translations/qt*_zh_CN.qm"};
    return places;
}

}  // namespace kelvarin
