// What files.cpp asks of each system's file (inside base/ only).
#pragma once

#include <string>

namespace kelvarin {

// Renames from to to, replacing to when it exists. False, with the system's
// reason in *error when given, when it cannot.
bool RenameOver(const std::string& from, const std::string& to, std::string* error);

// Removes the file at path; harmless when there is none.
void RemoveFile(const std::string& path);

}  // namespace kelvarin
