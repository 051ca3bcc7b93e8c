// The command line and terminal on POSIX: bytes as they come.
#include "console.h"

#include <unistd.h>

namespace kelvarin {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

void UseParentConsole() {}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

}  // namespace kelvarin
