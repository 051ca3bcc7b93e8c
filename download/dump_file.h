// The dump file: a copy of the last image sent.
#pragma once

#include <string>

namespace kelvarin {

// Where the dump of an image goes.
struct DumpTarget {
    std::string path;    // empty: no dump at all
    bool usable = true;  // false: path names a place that could not be found
                         // (it is reported as not written, without trying)
};

// The default dump file: a.dat in Kelvarin's folder of the user's data
// folder ($XDG_DATA_HOME/kelvarin, else ~/.local/share/kelvarin; on Windows
// %LOCALAPPDATA%\Kelvarin), made when missing. When no
// data folder is known, the target names ~/.local/share/kelvarin/a.dat and
// is not usable.
DumpTarget DefaultDumpTarget();

}  // namespace kelvarin
