// Manuals: the man page's roff says the text as written (no hyphen, dot or
// backslash taken as roff), and --help lays sections out within 80 columns;
// a CLI11 command's options come out as its --help shows them.
#include "manual.h"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace kelvarin::manual {
namespace {

Manual Sample() {
    Manual m;
    m.program = "tool";
    m.summary = "does things";
    m.version = "1.0";
    m.main.usage = "[FILE...]";
    m.main.description = "First paragraph.\n\n.starts with a dot, 'and a quote, C:\\path";
    m.main.options = {{"--all-or-nothing", "Send nothing unless -- everything fits."}};
    m.main.sections = {{"Exit status", "", {{"0", "Fine."}, {"2", "Usage."}}, {}}};
    m.sections = {{"Examples", "", {}, {".hidden-file --x", "plain"}}};
    return m;
}

TEST(ManualPage, RoffSaysTheTextAsWritten) {
    const std::string page = ManPage(Sample());
    EXPECT_NE(page.find(".TH \"TOOL\" 1 \"\" \"tool 1.0\""), std::string::npos) << page;
    EXPECT_NE(page.find(".SH NAME\ntool \\- does things\n"), std::string::npos) << page;
    // Every hyphen escaped, so options come out as ASCII hyphens to copy.
    EXPECT_NE(page.find("\\fB\\-\\-all\\-or\\-nothing\\fR"), std::string::npos) << page;
    EXPECT_NE(page.find("unless \\-\\- everything"), std::string::npos) << page;
    // A paragraph break, then lines that would be roff requests are protected.
    EXPECT_NE(page.find("First paragraph.\n.PP\n\\&.starts with a dot, 'and a quote, C:\\epath\n"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find(".nf\n\\&.hidden\\-file \\-\\-x\nplain\n.fi\n"), std::string::npos) << page;
    EXPECT_NE(page.find(".SH \"EXIT STATUS\"\n.TP\n\\fB0\\fR\nFine.\n"), std::string::npos) << page;
    // No line but the page's own requests and comment starts with a dot or a quote.
    const std::set<std::string> requests = {".\\\"", ".TH", ".SH", ".SS", ".PP", ".TP",
                                            ".RS", ".RE", ".nf", ".fi", ".nh", ".ad"};
    std::istringstream lines(page);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
            EXPECT_TRUE(requests.contains(line.substr(0, line.find(' ')).substr(0, 3))) << line;
        }
    }
}

TEST(ManualPage, HelpWrapsAt80ColumnsUnderItsTerms) {
    Section section{"Exit status", "", {{"1", std::string(30, 'a') + " " + std::string(60, 'b')},
                                        {"a-term-longer-than-the-column", "short"}}, {}};
    EXPECT_EQ(HelpSections({section}),
              "Exit status:\n"
              "  1                     " + std::string(30, 'a') + "\n" +
              std::string(24, ' ') + std::string(60, 'b') + "\n" +
              "  a-term-longer-than-the-column\n" + std::string(24, ' ') + "short\n");
    const std::string help = HelpText(Sample());
    EXPECT_TRUE(help.starts_with("Usage: tool [FILE...]\n\nFirst paragraph.\n\n.starts")) << help;
    EXPECT_NE(help.find("Options:\n  --all-or-nothing      Send nothing"), std::string::npos) << help;
    EXPECT_NE(help.find("Examples:\n    .hidden-file --x\n    plain\n"), std::string::npos) << help;
}

TEST(ManualPage, ACommandsOptionsAreAsItsHelpShowsThem) {
    CLI::App app{"An app", "app"};
    std::string output;
    bool flag = false;
    int hidden = 0;
    app.add_option("files", output, "Files");
    app.add_option("-o,--output", output, "Where")->required();
    app.add_flag("--flag", flag, "A flag");
    app.add_option("--hidden", hidden, "Not shown")->group("");
    const std::vector<Item> items = OptionsOf(app);
    std::vector<std::string> terms;
    for (const Item& item : items) {
        terms.push_back(item.term);
    }
    EXPECT_EQ(terms, (std::vector<std::string>{"files TEXT", "-h, --help", "-o, --output TEXT REQUIRED",
                                               "--flag"}));
    EXPECT_EQ(items[2].text, "Where");
}

}  // namespace
}  // namespace kelvarin::manual
