// The window's --help and man page, from one description.
#pragma once

#include "manual.h"

namespace kelvarin {

// The manual of kelvarin, the window: its command line, what it reads and
// keeps, its menus.
manual::Manual WindowManual();

}  // namespace kelvarin
