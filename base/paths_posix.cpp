// Paths where file names are bytes and "/" alone separates folders.
#include "paths.h"

namespace kelvarin {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathFromUriPath(const std::string& uriPath) {
    return uriPath;
}

bool IsReservedFileName(std::string_view /*name*/) {
    return false;  // every name but "." and ".." is a plain name here
}

std::string AnsiSpelling(const std::string& name) {
    return name;  // file names are bytes here, spelt as the system gives them
}

}  // namespace kelvarin
