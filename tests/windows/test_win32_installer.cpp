// The Windows installer, run by msiexec under wine as a user would run it: a silent per-user
// installation with its shortcuts and a prepared tarvo.ini, the installed program routing a job,
// an upgrade that ends the running program gracefully and keeps the user's settings and log,
// and an uninstall that leaves only those. It needs a display for the program (ctest runs under
// xvfb-run).
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"
#include "version.h"

#include <windows.h>

#include <msi.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::writeFile;

constexpr const char* kUpgradeCode = "{CB979C8D-A8F0-4F6D-AD9F-41A5C2645387}";

std::string knownFolder(int folder) {
    char path[MAX_PATH];
    return SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK ? path : "";
}

std::string installFolder() {
    return knownFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Tarvo";
}
std::string menuShortcut() {
    return knownFolder(CSIDL_PROGRAMS) + "\\Tarvo.lnk";
}
std::string startupShortcut() {
    return knownFolder(CSIDL_STARTUP) + "\\Tarvo.lnk";
}

// Runs msiexec with the command line given after its name; its exit code.
int msiexec(const std::string& arguments) {
    std::string commandLine = "msiexec.exe " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
        return -1;
    }
    CloseHandle(started.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(started.hProcess, 180000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(started.hProcess, &code);
    } else {
        TerminateProcess(started.hProcess, 1);
        code = static_cast<DWORD>(-1);
    }
    CloseHandle(started.hProcess);
    return static_cast<int>(code);
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The product codes of the installed versions of Tarvo.
std::vector<std::string> installedProducts() {
    std::vector<std::string> products;
    char code[39];
    for (DWORD index = 0; MsiEnumRelatedProductsA(kUpgradeCode, 0, index, code) == ERROR_SUCCESS;
         ++index) {
        products.emplace_back(code);
    }
    return products;
}

std::string productInfo(const std::string& product, const char* property) {
    char value[256];
    DWORD size = sizeof value;
    return MsiGetProductInfoA(product.c_str(), property, value, &size) == ERROR_SUCCESS
               ? std::string(value, size)
               : "";
}

// The names in a folder, sorted; none when it does not exist.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The program that a shortcut starts.
std::string shortcutTarget(const std::string& shortcut) {
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    char target[MAX_PATH] = "";
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link)))) {
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            const std::wstring path(shortcut.begin(), shortcut.end());
            if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
                link->GetPath(target, MAX_PATH, nullptr, 0);
            }
            file->Release();
        }
        link->Release();
    }
    return target;
}

bool samePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// A value of the program's version resource, as Windows shows it in the file's properties.
std::string versionValue(const std::string& program, const std::string& name) {
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(program.c_str(), &ignored));
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() ||
        !GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueA(block.data(), ("\\StringFileInfo\\040904E4\\" + name).c_str(), &value,
                        &length) ||
        length == 0) {
        return "";
    }
    return static_cast<const char*>(value);
}

void removeFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// Takes away what an earlier run may have left: an installed Tarvo and its folder.
void uninstallEverything() {
    for (const std::string& product : installedProducts()) {
        msiexec("/x " + product + " /qn");
    }
    removeFolder(installFolder());
}

void dropJob(const std::string& folder, const std::string& name, const std::string& bytes) {
    writeFile(folder + "\\." + name, bytes);
    ASSERT_TRUE(MoveFileA((folder + "\\." + name).c_str(), (folder + "\\" + name).c_str()));
}

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
        }
        CoInitialize(nullptr);
        uninstallEverything();
        CreateDirectoryA(jobs.c_str(), nullptr);
        CreateDirectoryA(out.c_str(), nullptr);
    }
    void TearDown() override {
        uninstallEverything();
        CoUninitialize();
    }

    std::string settingsTo(const std::string& file) const {
        return "[MAP]\r\n@@1@=" + out + "\\" + file +
               "\r\nType1=File\r\n[MONITOR]\r\nPATH=" + jobs + "\r\n";
    }

    testsupport::TempDir work;
    const std::string dir = wintest::windowsPath(work.path());
    const std::string jobs = dir + "\\jobs";
    const std::string out = dir + "\\out";
    const std::string msi = wintest::fromUnixPath(TARVO_MSI);
    const std::string previousMsi = wintest::fromUnixPath(TARVO_MSI_PREVIOUS);
    const std::string folder = installFolder();
    const std::string program = folder + "\\tarvo.exe";
};

TEST_F(Installer, InstallsRunsUpgradesAndUninstallsKeepingTheUsersFiles) {
    const std::string prepared = dir + "\\prepared.ini";
    writeFile(prepared, settingsTo("one.txt"));
    ASSERT_EQ(msiexec("/i " + quoted(previousMsi) + " /qn TARVOINI=" + quoted(prepared)), 0);

    EXPECT_EQ(entries(folder), (std::vector<std::string>{"ReadMe.txt", "tarvo-setup.exe",
                                                         "tarvo.exe", "tarvo.ini"}));
    EXPECT_EQ(readFile(folder + "\\tarvo.ini"), settingsTo("one.txt"));
    EXPECT_TRUE(samePath(shortcutTarget(menuShortcut()), program)) << menuShortcut();
    EXPECT_TRUE(samePath(shortcutTarget(startupShortcut()), program)) << startupShortcut();
    ASSERT_EQ(installedProducts().size(), 1u);
    const std::string previous = installedProducts()[0];
    EXPECT_EQ(productInfo(previous, INSTALLPROPERTY_VERSIONSTRING), TARVO_MSI_PREVIOUS_VERSION);
    EXPECT_EQ(productInfo(previous, INSTALLPROPERTY_PUBLISHER), "Tarvo developers");
    EXPECT_EQ(productInfo(previous, INSTALLPROPERTY_INSTALLEDPRODUCTNAME), "Tarvo");
    EXPECT_TRUE(samePath(productInfo(previous, INSTALLPROPERTY_INSTALLLOCATION), folder + "\\"));
    EXPECT_EQ(versionValue(program, "ProductName"), "Tarvo");
    EXPECT_EQ(versionValue(program, "ProductVersion"), TARVO_VERSION);

    // An old program of the same name, to tell whether the upgrade replaces it.
    writeFile(program, readFile(program) + "old");

    // The installed program routes a job, and the user then changes its settings.
    {
        wintest::Process tarvo(program, {});
        ASSERT_TRUE(wintest::waitUntil([] { return wintest::tarvoTrayWindow() != nullptr; }, 60s));
        dropJob(jobs, "job1", "ignored@!@1hello\r\n");
        EXPECT_TRUE(wintest::waitUntil([&] { return readFile(out + "\\one.txt") == "hello"; }));
        writeFile(folder + "\\tarvo.ini", settingsTo("two.txt"));

        // The upgrade, while it runs: it ends as at log-off, and a prepared tarvo.ini does not
        // replace the user's.
        ASSERT_EQ(msiexec("/i " + quoted(msi) + " /qn TARVOINI=" + quoted(prepared)), 0);
        EXPECT_EQ(tarvo.wait(10s), 0);
    }
    EXPECT_EQ(readFile(folder + "\\tarvo.ini"), settingsTo("two.txt"));
    EXPECT_EQ(testsupport::logMessages(folder + "\\Tarvo.log"),
              std::vector<std::string>{"Processing " + jobs + "\\job1"});
    EXPECT_EQ(readFile(program), readFile(wintest::fromUnixPath(TARVO_MSI_TARVO_EXE)));
    ASSERT_EQ(installedProducts().size(), 1u);
    EXPECT_NE(installedProducts()[0], previous);
    EXPECT_EQ(productInfo(installedProducts()[0], INSTALLPROPERTY_VERSIONSTRING), TARVO_VERSION);
    EXPECT_TRUE(samePath(shortcutTarget(startupShortcut()), program));

    // The uninstall, while the upgraded program runs with the user's settings.
    {
        wintest::Process tarvo(program, {});
        ASSERT_TRUE(wintest::waitUntil([] { return wintest::tarvoTrayWindow() != nullptr; }, 60s));
        dropJob(jobs, "job2", "@!@1again");
        EXPECT_TRUE(wintest::waitUntil([&] { return readFile(out + "\\two.txt") == "again"; }));
        ASSERT_EQ(msiexec("/x " + quoted(msi) + " /qn"), 0);
        EXPECT_EQ(tarvo.wait(10s), 0);
    }
    EXPECT_EQ(entries(folder), (std::vector<std::string>{"Tarvo.log", "tarvo.ini"}));
    EXPECT_EQ(testsupport::logMessages(folder + "\\Tarvo.log").size(), 2u);
    EXPECT_FALSE(testsupport::exists(menuShortcut()));
    EXPECT_FALSE(testsupport::exists(startupShortcut()));
    EXPECT_TRUE(installedProducts().empty());
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tarvo\\Installer", 0, KEY_READ, &key),
              ERROR_SUCCESS);
}

TEST_F(Installer, AutostartIsAFeatureOfItsOwnAndABadSettingsFileFailsTheInstallation) {
    EXPECT_NE(msiexec("/i " + quoted(msi) + " /qn TARVOINI=" + quoted(dir + "\\missing.ini")), 0);
    EXPECT_TRUE(installedProducts().empty());
    EXPECT_FALSE(testsupport::exists(program));

    // Installed without the feature Autostart, which is then turned on, and off again.
    ASSERT_EQ(msiexec("/i " + quoted(msi) + " /qn ADDLOCAL=Program"), 0);
    EXPECT_TRUE(testsupport::exists(menuShortcut()));
    EXPECT_FALSE(testsupport::exists(startupShortcut()));
    EXPECT_FALSE(testsupport::exists(folder + "\\tarvo.ini")) << "none was prepared";
    ASSERT_EQ(msiexec("/i " + quoted(msi) + " /qn ADDLOCAL=Autostart"), 0);
    EXPECT_TRUE(samePath(shortcutTarget(startupShortcut()), program));
    ASSERT_EQ(msiexec("/i " + quoted(msi) + " /qn REMOVE=Autostart"), 0);
    EXPECT_FALSE(testsupport::exists(startupShortcut()));
    EXPECT_TRUE(testsupport::exists(program));

    // Nothing of the user's: the uninstall leaves nothing at all.
    ASSERT_EQ(msiexec("/x " + quoted(msi) + " /qn"), 0);
    EXPECT_FALSE(testsupport::exists(folder));
}

} // namespace
