// kelvarin-cli: the headless front end (pack, inspect, send).
#include "commands.h"

#include <kelvarin/version.h>

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace kelvarin::cli;

    CLI::App app{"Kelvarin: packs web pages into a device image and downloads it over Modbus/TCP",
                 "kelvarin-cli"};
    app.set_version_flag("--version", std::string("kelvarin-cli ") + kelvarin::kVersion);
    app.require_subcommand(1);

    std::string packOutput;
    std::vector<std::string> packFiles;
    CLI::App* pack = app.add_subcommand("pack", "Pack files into a web image");
    pack->add_option("-o,--output", packOutput, "Image file to write")->required();
    pack->add_option("files", packFiles, "Files to pack, at most 50")->required();

    std::string inspectImage;
    std::string extractDir;
    CLI::App* inspect = app.add_subcommand("inspect", "List and check the records of an image");
    inspect->add_option("image", inspectImage, "Image file")->required();
    inspect->add_option("--extract", extractDir, "Write each file's contents under this folder");

    SendArguments sendArguments;
    CLI::App* send = app.add_subcommand(
        "send", "Pack files, or take an image file, and download the image to a device");
    send->add_option("address", sendArguments.address, "Device IPv4 address or host name")
        ->required();
    send->add_option("port", sendArguments.port, "Device TCP port")
        ->required()
        ->check(CLI::Range(1, 65535));
    CLI::Option* sendFiles =
        send->add_option("files", sendArguments.files, "Files to pack, at most 50");
    CLI::Option* sendImage =
        send->add_option("--image", sendArguments.image,
                         "Send this image file as it is (checked first) instead of packing files");
    sendImage->excludes(sendFiles);
    send->add_option("--dump", sendArguments.dumpPath,
                     "Where to write the copy of the image (default "
                     "$XDG_DATA_HOME/kelvarin/a.dat)");
    send->callback([&] {
        if (sendArguments.files.empty() && sendArguments.image.empty()) {
            throw CLI::RequiredError("files or --image");
        }
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    if (*pack) {
        return RunPack(packOutput, packFiles);
    }
    if (*send) {
        return RunSend(sendArguments);
    }
    if (*inspect) {
        return RunInspect(inspectImage, extractDir);
    }
    return kExitUsage;
}
