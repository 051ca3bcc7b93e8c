// kelvarin-cli pack: the packer from the command line.
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "job_run.h"

#include <iostream>

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

}  // namespace kelvarin::cli
