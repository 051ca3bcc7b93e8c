// What files.cpp asks of each system's file (inside base/ only).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "files.h"

namespace kelvarin {

// The system's descriptor or handle of an open file; -1 for none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

// Creates path anew for writing: fails when anything (a file, a link) has
// that name already, *exists then true. kNoFile with the reason in *error.
FileHandle CreateExclusive(const std::string& path, bool* exists, std::string* error);

// Opens path, which must exist and be no link, for writing without
// truncating (a device or a pipe). kNoFile with the reason in *error.
FileHandle OpenExistingForWriting(const std::string& path, std::string* error);

// Writes all of bytes. False with the reason in *error.
bool WriteAll(FileHandle file, std::string_view bytes, std::string* error);

// Flushes what was written to the disk (nothing to do for a device). False
// with the reason in *error.
bool FlushToDisk(FileHandle file, std::string* error);

// Closes file. False with the reason in *error when the close reports a
// failure (a write that could not be finished).
bool CloseFile(FileHandle file, std::string* error);

// Renames from to to, replacing to when it exists (a link at to is replaced,
// not followed). False, with the system's reason in *error when given, when
// it cannot.
bool RenameOver(const std::string& from, const std::string& to, std::string* error);

// Renames from to to only when nothing has the name to (*exists then true
// when that is why it failed). False with the reason in *error.
bool RenameNew(const std::string& from, const std::string& to, bool* exists, std::string* error);

// Removes the file at path; harmless when there is none.
void RemoveFile(const std::string& path);

// The text of the system's reason for "file exists".
std::string ExistsReason();

}  // namespace kelvarin
