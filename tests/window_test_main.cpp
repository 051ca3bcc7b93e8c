// main() of the window tests: Qt's offscreen platform (no display needed),
// and settings and dump file kept in temporary folders, never the user's.
#include "web_load_app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string root = (std::filesystem::temp_directory_path() / "kelvarin-window-XXXXXX").string();
    if (!mkdtemp(root.data())) {
        return 1;
    }
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    int code = 0;
    {
        kelvarin::CWebLoadApp app(argc, argv, {argv[0]});
        code = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return code;
}
