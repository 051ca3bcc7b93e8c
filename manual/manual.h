// Manuals: one description of a program, shown both as its --help and as its
// man page, so the two cannot say different things.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}  // namespace CLI

namespace kelvarin::manual {

// A term and what it means: an option, an exit code, a variable, a file, an
// example command.
struct Item {
    std::string term;
    std::string text;
};

// A titled part of a manual: a paragraph, then items, then lines shown as
// they are (a file format, commands).
struct Section {
    std::string title;
    std::string text;
    std::vector<Item> items;
    std::vector<std::string> verbatim;
};

// One command: the program itself or one of its subcommands.
struct Command {
    std::string name;                // the subcommand; empty for the program itself
    std::string usage;               // the arguments after the command's name
    std::string description;         // what it does, one paragraph
    std::vector<Item> options;       // its options and arguments
    std::vector<Section> sections;   // exit status and notes, in order
};

// A program's whole manual.
struct Manual {
    std::string program;                  // "kelvarin-cli"
    std::string summary;                  // what it is, in a few words (NAME)
    std::string version;                  // shown in the page's footer
    Command main;                         // the program's own usage and options
    std::vector<Command> commands;        // its subcommands, in order
    std::vector<Section> sections;        // the program's own sections (files, environment, ...)
};

// The manual as a man page (roff, section 1): NAME, SYNOPSIS, DESCRIPTION,
// OPTIONS and the main command's sections, a COMMANDS section with each
// subcommand's usage, options and sections, then the program's sections, each
// titled in capitals.
std::string ManPage(const Manual& manual);

// The sections as --help shows them after the options: "Title:", the
// paragraph and the items indented, wrapped at 80 columns.
std::string HelpSections(const std::vector<Section>& sections);

// The whole --help of a program without subcommands, in the layout of
// HelpSections: usage, description, options, sections.
std::string HelpText(const Manual& manual);

// " (default PATH)" for a file's default place, or nothing when path is
// empty (the system has no default to name).
std::string DefaultPlace(std::string_view path);

// The options and arguments of app as items ("-o, --output TEXT", its
// description), positionals first, hidden ones (no group) left out.
std::vector<Item> OptionsOf(const CLI::App& app);

// A manual from app and its subcommands: their usage, descriptions and
// options as CLI11 holds them, with the sections sectionsOf gives for each
// ("" for the program itself). Each command's sections are set as its CLI11
// footer, so its --help shows them, and app gets a --manual flag that prints
// the man page and exits 0.
using SectionsOf = std::vector<Section> (*)(std::string_view command);
void Document(CLI::App& app, std::string version, std::string summary, SectionsOf sectionsOf,
              std::vector<Section> programSections);

}  // namespace kelvarin::manual
