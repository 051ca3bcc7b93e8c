// kelvarin-cli: the headless front end (pack, inspect, send).
#include "commands.h"

#include <kelvarin/version.h>

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace {

using kelvarin::cli::PackSource;

// The options every command that packs takes: the files (FILE... or --site),
// the site root and the web options. Returns the FILE... option.
CLI::Option* AddSourceOptions(CLI::App& command, PackSource& source) {
    CLI::Option* files = command.add_option("files", source.files, "Files to pack, at most 50");
    CLI::Option* site = command.add_option(
        "--site", source.site,
        "Pack every file below this folder (hidden ones skipped, in order of their path), "
        "each named by its path below it");
    CLI::Option* root = command.add_option("--root", source.root,
                                           "Name files below this folder by their path below it");
    site->excludes(files)->excludes(root);
    command.add_flag("--content-types", source.contentTypes,
                     "Give each file its content type from the built-in table");
    command.add_flag("--gzip", source.gzip,
                     "Store HTML, CSS, JS, JSON, SVG, XML and text gzip-compressed where smaller");
    return files;
}

// Makes command fail as a usage error when none of the options has a value.
void RequireOneOf(CLI::App& command, std::vector<CLI::Option*> options, std::string what) {
    command.callback([options, what] {
        for (const CLI::Option* option : options) {
            if (option->count() > 0) {
                return;
            }
        }
        throw CLI::RequiredError(what);
    });
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kelvarin::cli;

    CLI::App app{"Kelvarin: packs web pages into a device image and downloads it over Modbus/TCP",
                 "kelvarin-cli"};
    app.set_version_flag("--version", std::string("kelvarin-cli ") + kelvarin::kVersion);
    app.require_subcommand(1);

    std::string packOutput;
    PackSource packSource;
    CLI::App* pack = app.add_subcommand("pack", "Pack files into a web image");
    pack->add_option("-o,--output", packOutput, "Image file to write")->required();
    CLI::Option* packFiles = AddSourceOptions(*pack, packSource);
    RequireOneOf(*pack, {packFiles, pack->get_option("--site")}, "files or --site");

    std::string inspectImage;
    std::string extractDir;
    CLI::App* inspect = app.add_subcommand("inspect", "List and check the records of an image");
    inspect->add_option("image", inspectImage, "Image file")->required();
    inspect->add_option("--extract", extractDir,
                        "Write each file's contents under this folder, by its URL path");

    SendArguments sendArguments;
    CLI::App* send = app.add_subcommand(
        "send", "Pack files, or take an image file, and download the image to a device");
    send->add_option("address", sendArguments.address, "Device IPv4 address or host name")
        ->required();
    send->add_option("port", sendArguments.port, "Device TCP port")
        ->required()
        ->check(CLI::Range(1, 65535));
    CLI::Option* sendFiles = AddSourceOptions(*send, sendArguments.source);
    CLI::Option* sendImage =
        send->add_option("--image", sendArguments.image,
                         "Send this image file as it is (checked first) instead of packing files");
    sendImage->excludes(sendFiles)->excludes(send->get_option("--site"));
    send->add_option("--dump", sendArguments.dumpPath,
                     "Where to write the copy of the image (default "
                     "$XDG_DATA_HOME/kelvarin/a.dat)");
    RequireOneOf(*send, {sendFiles, send->get_option("--site"), sendImage},
                 "files, --site or --image");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    if (*pack) {
        return RunPack(packOutput, packSource);
    }
    if (*send) {
        return RunSend(sendArguments);
    }
    if (*inspect) {
        return RunInspect(inspectImage, extractDir);
    }
    return kExitUsage;
}
