// The dump file: a copy of the last image sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvarin {

// Where the dump goes by default: $XDG_DATA_HOME/kelvarin/a.dat, or
// ~/.local/share/kelvarin/a.dat. When create is true the folder is made if
// missing. Empty when neither XDG_DATA_HOME nor HOME is set.
std::string DefaultDumpPath(bool create);

// Writes exactly length bytes of data to path (created or truncated).
// False when the file cannot be created or written whole.
bool WriteDumpFile(const std::string& path, const std::uint8_t* data, std::size_t length);

}  // namespace kelvarin
