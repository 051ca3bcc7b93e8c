// main() of the window tests: Qt's offscreen platform (no display needed),
// and settings and dump file kept in temporary folders, never the user's.
#include "test_support.h"
#include "web_load_app.h"

#include <gtest/gtest.h>

#include <string>

int main(int argc, char** argv) {
    using kelvarin::test::SetEnv;
    ::testing::InitGoogleTest(&argc, argv);
    SetEnv("QT_QPA_PLATFORM", "offscreen");
    int code = 0;
    {
        const kelvarin::test::TempDir root;
        if (root.Path().empty()) {
            return 1;
        }
        SetEnv("XDG_CONFIG_HOME", (root.Path() + "/config").c_str());
        SetEnv("XDG_DATA_HOME", (root.Path() + "/data").c_str());
        SetEnv("XDG_RUNTIME_DIR", root.Path().c_str());
        SetEnv("APPDATA", (root.Path() + "/config").c_str());
        SetEnv("LOCALAPPDATA", (root.Path() + "/data").c_str());
        kelvarin::CWebLoadApp app(argc, argv, {argv[0]});
        code = RUN_ALL_TESTS();
    }
    return code;
}
