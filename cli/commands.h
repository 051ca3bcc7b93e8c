// The subcommands of kelvarin-cli. Each returns the process exit code.
#pragma once

#include "file_list.h"

#include <string>
#include <vector>

namespace kelvarin::cli {

// Exit codes shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // something was skipped or failed
inline constexpr int kExitUsage = 2;   // bad usage, or an input or output that cannot be used
inline constexpr int kExitNoConnection = 3;

// Adds files to list with the list's rules; a path given twice is listed
// once. Says on stderr which files did not fit; false when any did not.
bool FillFileList(const std::vector<std::string>& files, FileListModel& list);

// pack -o IMAGE FILE...: writes the packed image; 0 all packed, 1 some skipped,
// 2 when the image cannot be written.
int RunPack(const std::string& output, const std::vector<std::string>& files);

// inspect IMAGE [--extract DIR]: lists the records; 0 for a sound image, 1 for
// a broken one or a refused or failed extraction, 2 when IMAGE cannot be read.
int RunInspect(const std::string& image, const std::string& extractDir);

// What send is to do.
struct SendArguments {
    std::string address;
    int port = 0;
    std::vector<std::string> files;  // files to pack, or
    std::string image;               // an image file to send as it is
    std::string dumpPath;            // empty for the default dump file
};

// send ADDRESS PORT (FILE... | --image IMAGE) [--dump PATH]: connects, packs
// (or reads and checks the image), dumps and downloads; 0 when every file was
// packed and every chunk echoed, 1 when something failed, 2 for an image that
// cannot be read or is broken (before connecting), 3 when the connection could
// not be made.
int RunSend(const SendArguments& arguments);

}  // namespace kelvarin::cli
