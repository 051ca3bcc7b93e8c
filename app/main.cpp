// kelvarin: the window that packs web files and loads them into a device.
#include "console.h"
#include "text_input.h"
#include "web_load_app.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The command line as UTF-8, whatever the system's own spelling.
    std::vector<std::string> args = kelvarin::Utf8Arguments(argc, argv);
    // --help and --version answer without a display.
    if (auto info = kelvarin::InfoText(args)) {
        kelvarin::UseParentConsole();
        std::fputs(info->c_str(), stdout);
        return 0;
    }
    kelvarin::CWebLoadApp app(argc, argv, std::move(args));
    app.InitInstance();
    return 0;
}
