// kelvarin-cli pack: the packer from the command line.
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "options.h"
#include "job_run.h"

#include <iostream>

#include <memory>

namespace kelvarin::cli {

int RunPack(const std::string& output, const PackSource& source) {
    JobPlan plan;
    plan.kind = JobKind::kPack;
    plan.source = SourceOf({source, ""});
    plan.outputs.imageFile = output;
    const MessageCatalog catalog(LanguageFromEnvironment());
    StreamLog out(std::cout);
    CliLog log(catalog, out, out);
    return ExitCodeOf(RunJob(plan, log));
}

Command AddPackCommand(CLI::App& app) {
    auto output = std::make_shared<std::string>();
    auto source = std::make_shared<PackSource>();
    CLI::App* pack = app.add_subcommand("pack", "Pack files into a web image");
    pack->add_option("-o,--output", *output, "Image file to write")->required();
    AddPackOptions(*pack, *source);
    RequireOneOf(*pack, {"files", "--site"}, "files or --site");
    return {pack, [output, source] { return RunPack(*output, *source); }};
}

}  // namespace kelvarin::cli
