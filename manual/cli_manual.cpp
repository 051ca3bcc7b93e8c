// Manuals of the programs whose command line CLI11 reads: their options as
// CLI11 holds them, so that a new option is documented where it is added.
#include "manual.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace kelvarin::manual {

namespace {

// The arguments of app's usage line, as its --help shows them.
std::string UsageOf(const CLI::App& app) {
    std::string usage = CLI::Formatter().make_usage(&app, "");
    const std::size_t colon = usage.find(':');
    usage.erase(0, colon == std::string::npos ? 0 : colon + 1);
    while (!usage.empty() && (usage.front() == ' ' || usage.back() == '\n')) {
        usage.erase(usage.front() == ' ' ? usage.begin() : usage.end() - 1);
    }
    return usage;
}

Command CommandOf(const CLI::App& app, std::string name, SectionsOf sectionsOf) {
    Command command;
    command.name = std::move(name);
    command.usage = UsageOf(app);
    command.description = app.get_description();
    command.options = OptionsOf(app);
    command.sections = sectionsOf(command.name);
    return command;
}

Manual ManualOf(const CLI::App& app, const std::string& version, const std::string& summary,
                SectionsOf sectionsOf, const std::vector<Section>& programSections) {
    Manual manual;
    manual.program = app.get_name();
    manual.summary = summary;
    manual.version = version;
    manual.main = CommandOf(app, "", sectionsOf);
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
        manual.commands.push_back(CommandOf(*sub, sub->get_name(), sectionsOf));
    }
    manual.sections = programSections;
    return manual;
}

}  // namespace

std::vector<Item> OptionsOf(const CLI::App& app) {
    const CLI::Formatter format;
    std::vector<Item> items;
    for (bool positional : {true, false}) {
        for (const CLI::Option* option : app.get_options()) {
            if (option->get_positional() != positional || option->get_group().empty()) {
                continue;
            }
            std::string term = format.make_option_name(option, positional);
            if (!positional) {
                // "-o,--output" as "-o, --output", easier to read.
                for (std::size_t comma = term.find(','); comma != std::string::npos;
                     comma = term.find(',', comma + 2)) {
                    term.insert(comma + 1, " ");
                }
            }
            term += format.make_option_opts(option);
            items.push_back({term, option->get_description()});
        }
    }
    return items;
}

void Document(CLI::App& app, std::string version, std::string summary, SectionsOf sectionsOf,
              std::vector<Section> programSections) {
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        sub->footer(HelpSections(sectionsOf(sub->get_name())));
    }
    std::vector<Section> sections = sectionsOf("");
    sections.insert(sections.end(), programSections.begin(), programSections.end());
    app.footer(HelpSections(sections));
    CLI::App* program = &app;
    app.add_flag_callback(
           "--manual",
           [program, version, summary, sectionsOf, programSections] {
               const std::string page = ManPage(
                   ManualOf(*program, version, summary, sectionsOf, programSections));
               std::fwrite(page.data(), 1, page.size(), stdout);
               throw CLI::Success();
           },
           "Print this manual as a man page (roff) and exit")
        ->trigger_on_parse();
}

}  // namespace kelvarin::manual
