// A manual as roff and as plain text.
#include "manual.h"

#include <cctype>

namespace kelvarin::manual {

namespace {

constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kTermColumn = 24;

// text safe in a roff line: backslashes and every hyphen escaped (so that
// options come out as ASCII hyphens, which can be copied), and a line that
// would start with a control character protected.
std::string Roff(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) {
            out += "\\&";
        }
        lineStart = c == '\n';
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// The paragraphs of text, split at blank lines.
std::vector<std::string_view> Paragraphs(std::string_view text) {
    std::vector<std::string_view> paragraphs;
    while (!text.empty()) {
        const std::size_t end = text.find("\n\n");
        paragraphs.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
    }
    return paragraphs;
}

// The paragraphs of text as roff, each after .PP but the first when the
// caller has started one.
void RoffText(std::string& page, std::string_view text) {
    bool first = true;
    for (std::string_view paragraph : Paragraphs(text)) {
        if (!first) {
            page += ".PP\n";
        }
        first = false;
        page += Roff(paragraph) + "\n";
    }
}

void RoffItems(std::string& page, const std::vector<Item>& items) {
    for (const Item& item : items) {
        page += ".TP\n\\fB" + Roff(item.term) + "\\fR\n";
        RoffText(page, item.text);
    }
}

void RoffVerbatim(std::string& page, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    page += ".PP\n.RS\n.nf\n";
    for (const std::string& line : lines) {
        page += Roff(line) + "\n";
    }
    page += ".fi\n.RE\n";
}

// A section's body: its paragraph, items and verbatim lines.
void RoffBody(std::string& page, const Section& section) {
    if (!section.text.empty()) {
        RoffText(page, section.text);
    }
    RoffItems(page, section.items);
    RoffVerbatim(page, section.verbatim);
}

void RoffSections(std::string& page, const std::vector<Section>& sections) {
    for (const Section& section : sections) {
        page += ".SH \"" + Roff(Upper(section.title)) + "\"\n";
        RoffBody(page, section);
    }
}

std::string Invocation(const Manual& manual, const Command& command) {
    std::string line = manual.program;
    if (!command.name.empty()) {
        line += " " + command.name;
    }
    if (!command.usage.empty()) {
        line += " " + command.usage;
    }
    return line;
}

// text wrapped into lines of at most kHelpWidth columns, the first starting
// at column first (the caller has written that much), the others indented
// by indent.
std::string Wrapped(std::string_view text, std::size_t first, std::size_t indent) {
    std::string out;
    std::size_t column = first;
    bool lineEmpty = true;
    while (!text.empty()) {
        const std::size_t space = text.find(' ');
        const std::string_view word = text.substr(0, space);
        text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
        if (word.empty()) {
            continue;
        }
        if (!lineEmpty && column + 1 + word.size() > kHelpWidth) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    return out;
}

void HelpParagraphs(std::string& help, std::string_view text, std::size_t indent) {
    bool first = true;
    for (std::string_view paragraph : Paragraphs(text)) {
        if (!first) {
            help += "\n";
        }
        first = false;
        help += std::string(indent, ' ') + Wrapped(paragraph, indent, indent) + "\n";
    }
}

void HelpItems(std::string& help, const std::vector<Item>& items) {
    for (const Item& item : items) {
        std::string line = "  " + item.term;
        if (line.size() + 2 <= kTermColumn) {
            line.resize(kTermColumn, ' ');
        } else {
            line += "\n" + std::string(kTermColumn, ' ');
        }
        std::string text;
        for (std::string_view paragraph : Paragraphs(item.text)) {
            if (!text.empty()) {
                text += "\n" + std::string(kTermColumn, ' ');
            }
            text += Wrapped(paragraph, kTermColumn, kTermColumn);
        }
        help += line + text + "\n";
    }
}

}  // namespace

std::string ManPage(const Manual& manual) {
    std::string page = ".\\\" Written by " + manual.program + " --manual from its own options and texts.\n";
    page += ".TH \"" + Roff(Upper(manual.program)) + "\" 1 \"\" \"" + Roff(manual.program) + " " +
            Roff(manual.version) + "\" \"User Commands\"\n";
    // Options and paths are never hyphenated across lines, nor stretched.
    page += ".nh\n.ad l\n";
    page += ".SH NAME\n" + Roff(manual.program) + " \\- " + Roff(manual.summary) + "\n";

    page += ".SH SYNOPSIS\n.nf\n";
    page += Roff(Invocation(manual, manual.main)) + "\n";
    for (const Command& command : manual.commands) {
        page += Roff(Invocation(manual, command)) + "\n";
    }
    page += ".fi\n";

    page += ".SH DESCRIPTION\n";
    RoffText(page, manual.main.description);
    if (!manual.main.options.empty()) {
        page += ".SH OPTIONS\n";
        RoffItems(page, manual.main.options);
    }
    RoffSections(page, manual.main.sections);

    if (!manual.commands.empty()) {
        page += ".SH COMMANDS\n";
        for (const Command& command : manual.commands) {
            page += ".SS \"" + Roff(Invocation(manual, command)) + "\"\n";
            RoffText(page, command.description);
            RoffItems(page, command.options);
            for (const Section& section : command.sections) {
                page += ".PP\n\\fB" + Roff(section.title) + "\\fR\n.PP\n";
                RoffBody(page, section);
            }
        }
    }
    RoffSections(page, manual.sections);
    return page;
}

std::string HelpSections(const std::vector<Section>& sections) {
    std::string help;
    for (const Section& section : sections) {
        if (!help.empty()) {
            help += "\n";
        }
        help += section.title + ":\n";
        if (!section.text.empty()) {
            HelpParagraphs(help, section.text, 2);
        }
        HelpItems(help, section.items);
        if (!section.verbatim.empty() && (!section.text.empty() || !section.items.empty())) {
            help += "\n";
        }
        for (const std::string& line : section.verbatim) {
            help += "    " + line + "\n";
        }
    }
    return help;
}

std::string HelpText(const Manual& manual) {
    std::string help = "Usage: " + Invocation(manual, manual.main) + "\n\n";
    HelpParagraphs(help, manual.main.description, 0);
    if (!manual.main.options.empty()) {
        help += "\nOptions:\n";
        HelpItems(help, manual.main.options);
    }
    std::vector<Section> sections = manual.main.sections;
    sections.insert(sections.end(), manual.sections.begin(), manual.sections.end());
    if (!sections.empty()) {
        help += "\n" + HelpSections(sections);
    }
    return help;
}

std::string DefaultPlace(std::string_view path) {
    return path.empty() ? std::string() : " (default " + std::string(path) + ")";
}

}  // namespace kelvarin::manual
