// The main function of every test program. The tests run with a home directory and XDG base
// directories of their own, made afresh under the temporary directory and removed at the end,
// so that nothing a test or a library under it writes for the user (Qt's file-dialog history,
// font caches, CUPS's printer options) reaches the real home, however the program is started.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

int main(int argc, char** argv) {
    const testsupport::TempDir home;
    const std::string runtime = home.file("runtime");
    for (const char* directory : {".config", ".cache", ".local/share", ".local/state"}) {
        std::filesystem::create_directories(home.file(directory));
    }
    // Only its owner may use a runtime directory; Qt refuses one that others can enter.
    mkdir(runtime.c_str(), 0700);
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.file(".config").c_str(), 1);
    setenv("XDG_CACHE_HOME", home.file(".cache").c_str(), 1);
    setenv("XDG_DATA_HOME", home.file(".local/share").c_str(), 1);
    setenv("XDG_STATE_HOME", home.file(".local/state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
