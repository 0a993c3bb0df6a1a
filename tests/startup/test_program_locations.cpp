// Where a copy of the program keeps its settings file and its log: beside its executable, or,
// installed, in the user's XDG directories, which are made private when missing.
#include "platform/Failure.h"
#include "platform/posix/PrivateDirectory.h"
#include "platform/posix/ProgramLocations.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <sys/stat.h>

namespace {

using platform::Environment;
using platform::programLocations;

const Environment kAnn{"", "", "/home/ann"};

// A file system that holds only the given files, and remembers what it was asked.
struct Files {
    explicit Files(std::set<std::string> files) : present(std::move(files)) {}

    std::set<std::string> present;
    std::vector<std::string> asked;

    std::function<bool(const std::string&)> exists() {
        return [this](const std::string& path) {
            asked.push_back(path);
            return present.contains(path);
        };
    }
};

TEST(ProgramLocations, ACopyOutsideAnInstallationKeepsItsFilesBesideItsExecutable) {
    Files files({"/home/ann/src/tarvo/share/tarvo/installed", "/opt/share/tarvo/installed"});
    for (const char* directory : {"/home/ann/src/tarvo/build", "/opt/tarvo/bin"}) {
        const auto where = programLocations(directory, files.exists(), kAnn);
        EXPECT_FALSE(where.installed) << directory;
        EXPECT_EQ(where.settingsFile, std::string(directory) + "/tarvo.ini");
        EXPECT_EQ(where.logFile, std::string(directory) + "/Tarvo.log");
        EXPECT_EQ(where.settingsDirectory, directory);
        EXPECT_EQ(where.logDirectory, directory);
    }
    // Only a directory named bin is looked beside, and only for its own marker.
    EXPECT_EQ(files.asked, std::vector<std::string>{"/opt/tarvo/share/tarvo/installed"});
}

TEST(ProgramLocations, AnInstalledCopyKeepsItsFilesInTheUsersXdgDirectories) {
    Files files({"/usr/share/tarvo/installed", "/share/tarvo/installed"});
    const auto usual = programLocations("/usr/bin", files.exists(), kAnn);
    EXPECT_TRUE(usual.installed);
    EXPECT_EQ(usual.settingsDirectory, "/home/ann/.config/tarvo");
    EXPECT_EQ(usual.settingsFile, "/home/ann/.config/tarvo/tarvo.ini");
    EXPECT_EQ(usual.logDirectory, "/home/ann/.local/state/tarvo");
    EXPECT_EQ(usual.logFile, "/home/ann/.local/state/tarvo/Tarvo.log");

    const auto chosen =
        programLocations("/usr/bin", files.exists(), {"/srv/settings/", "/var/lib/ann", "/"});
    EXPECT_EQ(chosen.settingsFile, "/srv/settings/tarvo/tarvo.ini");
    EXPECT_EQ(chosen.logFile, "/var/lib/ann/tarvo/Tarvo.log");

    // A relative value is not a base directory: the default stands, below the home.
    const auto relative =
        programLocations("/usr/bin", files.exists(), {"config", "./state", "/home/ann/"});
    EXPECT_EQ(relative.settingsFile, "/home/ann/.config/tarvo/tarvo.ini");
    EXPECT_EQ(relative.logFile, "/home/ann/.local/state/tarvo/Tarvo.log");

    // /bin/tarvo with /share/tarvo/installed, and a user whose home is the root.
    const auto root = programLocations("/bin", files.exists(), {"", "", "/"});
    EXPECT_TRUE(root.installed);
    EXPECT_EQ(root.settingsFile, "/.config/tarvo/tarvo.ini");
}

TEST(ProgramLocations, AnInstalledCopyWithNoHomeAndNoXdgDirectoriesDoesNotGuess) {
    Files files({"/usr/share/tarvo/installed"});
    EXPECT_THROW(programLocations("/usr/bin", files.exists(), {"", "", ""}), std::runtime_error);
    EXPECT_THROW(programLocations("/usr/bin", files.exists(), {"", "/state", "relative/home"}),
                 std::runtime_error);
    EXPECT_NO_THROW(programLocations("/usr/bin", files.exists(), {"/config", "/state", ""}));
}

mode_t modeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(PrivateDirectories, MissingOnesAreMadeForTheUserAloneAndExistingOnesAreLeftAlone) {
    testsupport::TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    // Even a umask that would take the user's own bits away.
    const mode_t previous = umask(0277);
    platform::makePrivateDirectories(dir.file(".local//state/tarvo/"));
    umask(previous);
    EXPECT_EQ(modeOf(dir.path()), 0755u);
    EXPECT_EQ(modeOf(dir.file(".local")), 0700u);
    EXPECT_EQ(modeOf(dir.file(".local/state")), 0700u);
    EXPECT_EQ(modeOf(dir.file(".local/state/tarvo")), 0700u);

    // Made again: nothing changes, whatever the existing directory's mode.
    ASSERT_EQ(chmod(dir.file(".local/state").c_str(), 0750), 0);
    platform::makePrivateDirectories(dir.file(".local/state/tarvo"));
    EXPECT_EQ(modeOf(dir.file(".local/state")), 0750u);
}

TEST(PrivateDirectories, AFileInTheWayIsAFailureThatSaysSo) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("config"), "not a directory");
    try {
        platform::makePrivateDirectories(dir.file("config/tarvo"));
        FAIL() << "no failure";
    } catch (const platform::Failure& failure) {
        EXPECT_STREQ(failure.what(), "Not a directory");
    }
    try {
        platform::makePrivateDirectories(dir.file("config"));
        FAIL() << "no failure";
    } catch (const platform::Failure& failure) {
        EXPECT_STREQ(failure.what(), "Not a directory");
    }
    EXPECT_EQ(testsupport::readFile(dir.file("config")), "not a directory");
}

} // namespace
