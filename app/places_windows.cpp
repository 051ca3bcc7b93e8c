// On Windows, Qt's Chinese texts are compiled into the program.
#include "places.h"

namespace kelvarin {

const char* const kQtTranslationsPlace = "";

}  // namespace kelvarin
