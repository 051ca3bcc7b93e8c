// The options several commands of kelvarin-cli share: the files and web
// options, the image, how the device is talked to, the journal, the device.
#pragma once

#include "commands.h"

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kelvarin::cli {

// The options every command that packs takes: the files (FILE... or --site),
// the site root and the web options.
void AddPackOptions(CLI::App& command, PackSource& source);

// AddPackOptions and --image, for the commands that send or compare an image.
void AddImageOptions(CLI::App& command, ImageSource& source);

// Makes command fail as a usage error when none of the named options is given.
void RequireOneOf(CLI::App& command, std::vector<std::string> names, std::string what);

// How the device is talked to beyond the defaults, for send, verify, pull
// and fleet: retries, requests in flight, chunk, time-outs, trace, TLS, unit.
void AddLinkOptions(CLI::App& command, LinkArguments& link);

// Where the journal is (and, with sizeWarning, the size it warns past).
void AddJournalOptions(CLI::App& command, JournalArguments& journal, bool sizeWarning = true);

// --delta, --trust-journal, --dry-run, for send and fleet.
void AddDeltaOptions(CLI::App& command, DeltaArguments& delta);

// The device's ADDRESS and PORT.
void AddTarget(CLI::App& command, std::string& address, int& port);

}  // namespace kelvarin::cli
