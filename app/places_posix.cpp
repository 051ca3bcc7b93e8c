// On Linux, Qt's Chinese texts are Debian's (qt6-translations-l10n).
#include "places.h"

namespace kelvarin {

const char* const kQtTranslationsPlace = "/usr/share/qt6/translations/qt*_zh_CN.qm";

}  // namespace kelvarin
