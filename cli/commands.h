// The subcommands of kelvarin-cli. Each returns the process exit code.
#pragma once

#include "file_list.h"
#include "packer.h"

#include <optional>
#include <string>
#include <vector>

namespace kelvarin::cli {

// Exit codes shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // something was skipped or failed
inline constexpr int kExitUsage = 2;   // bad usage, or an input or output that cannot be used
inline constexpr int kExitNoConnection = 3;

// Where the files to pack come from, and the web options.
struct PackSource {
    std::vector<std::string> files;  // FILE...
    std::string site;                // --site DIR: every file below DIR, DIR the root
    std::string root;                // --root DIR
    bool contentTypes = false;       // --content-types
    bool gzip = false;               // --gzip
};

// What a source gives: the request to pack, and whether files were left out
// because the list holds at most 50.
struct SourceFiles {
    PackRequest request;
    bool dropped = false;
};

// Lists the files of source with the file list's rules (a path given twice
// is listed once, at most 50, each one left out said on stderr). Nothing,
// after saying why on stderr, when --root or --site is not a readable folder
// or --site holds no files: a usage error.
std::optional<SourceFiles> ReadSource(const PackSource& source);

// pack -o IMAGE (FILE... | --site DIR) [options]: writes the packed image; 0
// all packed, 1 some skipped or left out, 2 for a usage error or an image
// that cannot be written.
int RunPack(const std::string& output, const PackSource& source);

// inspect IMAGE [--extract DIR]: lists the records; 0 for a sound image, 1 for
// a broken one or a refused or failed extraction, 2 when IMAGE cannot be read.
int RunInspect(const std::string& image, const std::string& extractDir);

// What send is to do.
struct SendArguments {
    std::string address;
    int port = 0;
    PackSource source;     // files to pack, or
    std::string image;     // an image file to send as it is
    std::string dumpPath;  // empty for the default dump file
};

// send ADDRESS PORT (FILE... | --site DIR | --image IMAGE) [--dump PATH]
// [options]: connects, packs (or reads and checks the image), dumps and
// downloads; 0 when every file was packed and every chunk echoed, 1 when
// something failed, 2 for a usage error or an image that cannot be read or is
// broken (both before connecting), 3 when the connection could not be made.
int RunSend(const SendArguments& arguments);

}  // namespace kelvarin::cli
