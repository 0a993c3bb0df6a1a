// The real tarvo.exe, started under wine from an application directory of its own with its own
// settings, routing the jobs dropped into its watched directory. It needs a display for its
// window and tray icon (ctest runs under xvfb-run).
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"
#include "version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

namespace {

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::writeFile;

constexpr const char* kQueue = "tarvo_win_program";

// A file's names and contents below a directory, to tell whether anything changed.
std::string snapshot(const std::string& directory) {
    std::string state;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        state += entry.path().string() + "\n";
        if (entry.is_regular_file()) {
            state += readFile(entry.path().string()) + "\n";
        }
    }
    return state;
}

// Writes a job under a name that no job has, then gives it its own name, as writers do.
void dropJob(const std::string& directory, const std::string& name, const std::string& bytes) {
    writeFile(directory + "\\." + name, bytes);
    ASSERT_TRUE(MoveFileA((directory + "\\." + name).c_str(), (directory + "\\" + name).c_str()));
}

TEST(WindowsProgram, RoutesJobsAndASecondStartTouchesNothing) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
    }
    testsupport::TempDir app;
    testsupport::TempDir outside;
    const std::string dir = wintest::windowsPath(app.path());
    const std::string exe = wintest::installTarvo(TARVO_EXECUTABLE, dir);
    CreateDirectoryA((dir + "\\jobs").c_str(), nullptr);
    CreateDirectoryA((dir + "\\out").c_str(), nullptr);
    writeFile(dir + "\\tarvo.ini",
              "[MAP]\r\n@@1@=" + std::string(kQueue) + "\r\nType1=Ticket\r\n@@2@=" + dir +
                  "\\out\r\nType2=NamedFile\r\n@@3@=" + dir +
                  "\\out\\fixed.txt\r\nType3=File\r\n[MONITOR]\r\nPATH=" + dir + "\\jobs\r\n");
    const std::string jobs = dir + "\\jobs";

    // Its standard error goes to a file that it must not keep to itself while it runs.
    const std::string errors = wintest::windowsPath(outside.file("stderr.txt"));
    const HANDLE errorFile = CreateFileA(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    wintest::Process tarvo(exe, {}, {}, errorFile);
    CloseHandle(errorFile);
    ASSERT_TRUE(wintest::waitUntil([&] { return wintest::tarvoTrayWindow() != nullptr; }, 60s));
    EXPECT_TRUE(wintest::waitUntil([&] {
        return readFile(errors).starts_with("Tarvo: settings " + dir + "\\tarvo.ini, log " + dir +
                                            "\\Tarvo.log, watched directory " + jobs + " (exists)");
    })) << readFile(errors);

    // A job held open by its writer waits until the writer closes it.
    const HANDLE writer = CreateFileA((jobs + "\\a-held").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(writer, "@!@3fixed", 9, &written, nullptr);
    dropJob(jobs, "b-ticket", "@!@1ticket\r\n");
    dropJob(jobs, "c-device", "@!@2xCON|to the console");
    Sleep(1500);
    EXPECT_EQ(readFile(dir + "\\Tarvo.log"), "") << "nothing is taken past a held job";
    WriteFile(writer, " file", 5, &written, nullptr);
    CloseHandle(writer);
    dropJob(jobs, "d-named", "@!@2xnamed.txt|named bytes");

    // Every job taken; the refused NamedFile section is kept in "failed".
    const std::string failed = jobs + "\\failed";
    ASSERT_TRUE(wintest::waitUntil([&] {
        return std::distance(std::filesystem::directory_iterator(jobs), {}) == 1 &&
               !readFile(dir + "\\out\\named.txt").empty();
    })) << readFile(dir + "\\Tarvo.log");
    EXPECT_EQ(readFile(failed + "\\c-device.section1"), "@!@2xCON|to the console");
    EXPECT_EQ(readFile(dir + "\\out\\fixed.txt"), "fixed file");
    EXPECT_EQ(readFile(dir + "\\out\\named.txt"), "named bytes");
    const auto printed = wintest::waitForJobs(kQueue, 1);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0].bytes, "ticket\r\n\r\n\r\n");
    EXPECT_EQ(printed[0].title, "Tarvo job");
    EXPECT_EQ(testsupport::logMessages(dir + "\\Tarvo.log"),
              (std::vector<std::string>{"Processing " + jobs + "\\a-held",
                                        "Processing " + jobs + "\\b-ticket",
                                        "Processing " + jobs + "\\c-device",
                                        "modProcess::OpenOutput - File name not allowed",
                                        "modProcess::CloseOutput - Bad file name or number",
                                        "modProcess::KeepSection - Section 1 of c-device kept as " +
                                            failed + "\\c-device.section1",
                                        "Processing " + jobs + "\\d-named"}));

    // A second start, with no standard error at all, ends at once and changes nothing.
    const std::string before = snapshot(app.path());
    EXPECT_EQ(wintest::Process(exe, {}).wait(30s), 0);
    EXPECT_EQ(snapshot(app.path()), before);

    // Log-off ends the program, between two ticks.
    const HWND window = wintest::tarvoTrayWindow();
    EXPECT_TRUE(SendMessageA(window, WM_QUERYENDSESSION, 0, 0));
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(tarvo.wait(20s), 0);
}

// --version and --help answer on standard output, an unknown argument on standard error, in
// lines of text as Windows ends them.
TEST(WindowsProgram, AnswersItsCommandLineAndStartsNothing) {
    testsupport::TempDir app;
    const std::string dir = wintest::windowsPath(app.path());
    const std::string exe = wintest::installTarvo(TARVO_EXECUTABLE, dir);
    const auto run = [&](const std::string& argument, bool toOutput) {
        const std::string file = dir + "\\answer.txt";
        const HANDLE answer = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const int code = wintest::Process(exe, {argument}, {}, toOutput ? nullptr : answer,
                                          toOutput ? answer : nullptr)
                             .wait(30s);
        CloseHandle(answer);
        const std::string text = readFile(file);
        DeleteFileA(file.c_str());
        return std::make_pair(code, text);
    };
    EXPECT_EQ(run("--version", true),
              std::make_pair(0, std::string("tarvo " TARVO_VERSION "\r\n")));
    const auto [helpCode, help] = run("--help", true);
    EXPECT_EQ(helpCode, 0);
    EXPECT_NE(help.find("  keeps its settings in  " + dir + "\\tarvo.ini\r\n"), std::string::npos)
        << help;
    EXPECT_NE(help.find("  watches                C:\\Tarvo\r\n"), std::string::npos) << help;
    EXPECT_EQ(run("--bogus", false),
              std::make_pair(2, std::string("tarvo: unknown argument '--bogus'\r\n"
                                            "Try 'tarvo --help'.\r\n")));
    EXPECT_EQ(wintest::tarvoTrayWindow(), nullptr);
}

} // namespace
