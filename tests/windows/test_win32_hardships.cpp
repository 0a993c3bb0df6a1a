// The real tarvo.exe under wine, met as a user meets it when things go wrong: killed or stopped
// in the middle of a job, given names and paths that Unicode programs make, a log that another
// program holds, a job it cannot remove, a watched folder that is a file. It needs a display for
// its window and tray icon (ctest runs under xvfb-run).
#include "platform/RecordFile.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::writeFile;

// A copy of tarvo.exe in a folder of its own, watching a folder (by default its folder "jobs"),
// with its output folder "out"; both folders are made here.
struct Copy {
    explicit Copy(const std::string& watched = "")
        : dir(wintest::windowsPath(app.path())), exe(wintest::installTarvo(TARVO_EXECUTABLE, dir)),
          jobs(watched.empty() ? dir + "\\jobs" : watched), out(dir + "\\out") {
        CreateDirectoryA(jobs.c_str(), nullptr);
        CreateDirectoryA(out.c_str(), nullptr);
        configure("");
    }

    // Writes tarvo.ini with the lines of [MAP] given.
    void configure(const std::string& map) const {
        writeFile(dir + "\\tarvo.ini", "[MAP]\r\n" + map + "[MONITOR]\r\nPATH=" + jobs + "\r\n");
    }

    std::string log() const { return dir + "\\Tarvo.log"; }
    std::vector<std::string> logMessages() const { return testsupport::logMessages(log()); }

    testsupport::TempDir app;
    const std::string dir;
    const std::string exe;
    const std::string jobs;
    const std::string out;
};

// The copy running, its standard error into a file; ended with WM_CLOSE when the object goes.
class Running {
public:
    explicit Running(const Copy& copy) : errors_(copy.dir + "\\stderr.txt") {
        const HANDLE errorFile =
            CreateFileA(errors_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        process_.emplace(copy.exe, std::vector<std::string>{}, std::vector<HANDLE>{}, errorFile);
        CloseHandle(errorFile);
        started_ = wintest::waitUntil([] { return wintest::tarvoTrayWindow() != nullptr; }, 60s);
    }
    ~Running() { stop(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    bool started() const { return started_; }
    std::string errors() const { return readFile(errors_); }
    DWORD id() const { return process_->id(); }

    // As "taskkill /pid" does without /f (a WM_CLOSE to its windows), or with it (the process
    // ended at once); its exit code.
    int stop() { return end(false); }
    int kill() { return end(true); }

private:
    int end(bool force) {
        if (!process_) {
            return -1;
        }
        std::vector<std::string> arguments{"/pid", std::to_string(process_->id())};
        if (force) {
            arguments.insert(arguments.begin(), "/f");
        }
        wintest::Process("C:\\windows\\system32\\taskkill.exe", arguments).wait(20s);
        const int code = process_->wait(20s);
        process_.reset();
        wintest::waitUntil([] { return wintest::tarvoTrayWindow() == nullptr; });
        return code;
    }

    const std::string errors_;
    std::optional<wintest::Process> process_;
    bool started_ = false;
};

// Writes a job under a name that no job has, then gives it its own name, as writers do.
void dropJob(const std::string& directory, const std::string& name, const std::string& bytes) {
    writeFile(directory + "\\." + name, bytes);
    ASSERT_TRUE(MoveFileA((directory + "\\." + name).c_str(), (directory + "\\" + name).c_str()));
}

bool needsDisplay() {
    return std::getenv("DISPLAY") == nullptr;
}

// How many sections the progress record of the folder's work file counts as delivered; -1
// without a record.
int delivered(const std::string& jobs) {
    const std::optional<std::string> record =
        platform::readRecord(jobs + "\\.newjob.progress", 4096);
    if (!record) {
        return -1;
    }
    const std::size_t line = record->find('\n', record->find('\n') + 1);
    return line == std::string::npos ? -1 : std::atoi(record->c_str() + line + 1);
}

// A job cut off in its second section, by "taskkill /f" and then by a plain "taskkill", goes on
// at each start from that section: the first, delivered, is never delivered again, and nothing
// is lost.
TEST(WindowsResume, AKillOrAStopMidJobLosesNoSectionAndRepeatsNoneDelivered) {
    if (needsDisplay()) {
        GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
    }
    const std::string pipeName = "tarvo-resume-" + std::to_string(GetCurrentProcessId());
    Copy copy;
    const std::string first = copy.out + "\\first.txt";
    const std::string third = copy.out + "\\third.txt";
    copy.configure("@@1@=" + first + "\r\nType1=File\r\n@@2@=\\\\.\\pipe\\" + pipeName +
                   "\r\nType2=File\r\n@@3@=" + third + "\r\nType3=File\r\n");
    const std::string second(256 * 1024, 'p');
    const std::string work = copy.jobs + "\\newjob";
    {
        wintest::PipeServer pipe(pipeName);
        Running tarvo(copy);
        ASSERT_TRUE(tarvo.started());
        dropJob(copy.jobs, "job", "@!@1first@!@2" + second + "@!@3third");
        ASSERT_TRUE(wintest::waitUntil([&] { return delivered(copy.jobs) == 1; }))
            << readFile(copy.log());
        EXPECT_EQ(readFile(first), "first");
        ASSERT_TRUE(wintest::waitUntil([&] { return pipe.waiting() > 0; }));
        tarvo.kill();
    }
    EXPECT_TRUE(testsupport::exists(work));
    EXPECT_EQ(delivered(copy.jobs), 1);
    // A repeat of the first section would overwrite this.
    writeFile(first, "delivered once");
    {
        wintest::PipeServer pipe(pipeName);
        Running tarvo(copy);
        ASSERT_TRUE(tarvo.started());
        // Its buffer full, the pipe keeps the second section waiting.
        ASSERT_TRUE(wintest::waitUntil([&] { return pipe.waiting() > 0; }));
        EXPECT_EQ(tarvo.stop(), 0) << "the stop request cut the wait on the pipe short";
    }
    EXPECT_TRUE(testsupport::exists(work));
    EXPECT_EQ(delivered(copy.jobs), 1);
    {
        wintest::PipeServer pipe(pipeName);
        pipe.startReading();
        Running tarvo(copy);
        ASSERT_TRUE(tarvo.started());
        EXPECT_EQ(pipe.received(), second);
        ASSERT_TRUE(wintest::waitUntil([&] { return !testsupport::exists(work); }));
    }
    EXPECT_EQ(readFile(first), "delivered once");
    EXPECT_EQ(readFile(third), "third");
    EXPECT_FALSE(testsupport::exists(copy.jobs + "\\.newjob.progress"));
    // Each start takes the work file up again, and says how far it had gone.
    const std::vector<std::string> resumed = {
        "Processing " + work,
        "Resuming " + work + ", skipping the 1 sections delivered before the program stopped"};
    std::vector<std::string> expected = {"Processing " + copy.jobs + "\\job"};
    for (int start = 0; start < 2; ++start) {
        expected.insert(expected.end(), resumed.begin(), resumed.end());
    }
    EXPECT_EQ(copy.logMessages(), expected);
}

// The manifest's declaration, as Windows reads it from the program.
std::string manifestOf(const std::string& program) {
    const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    const HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    std::string text;
    if (loaded != nullptr) {
        text.assign(static_cast<const char*>(LockResource(loaded)),
                    SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

// Names that the ANSI code page spells only with a look-alike, a name that ends in a dot, and a
// job path of 270 characters in a watched folder of 245: all taken, none for another.
TEST(WindowsFileNames, LookAlikeNamesDotsAndLongPathsAreRouted) {
    if (needsDisplay()) {
        GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
    }
    testsupport::TempDir deep;
    const std::string jobs = wintest::longFolder(deep.path(), 245);
    Copy copy(jobs);
    copy.configure("@@2@=" + copy.out + "\r\nType2=NamedFile\r\n");
    EXPECT_NE(manifestOf(copy.exe).find(">true</longPathAware>"), std::string::npos);
    Running tarvo(copy);
    ASSERT_TRUE(tarvo.started());
    EXPECT_TRUE(wintest::waitUntil([&] {
        return tarvo.errors().find(jobs + " (exists)") != std::string::npos;
    })) << tarvo.errors();

    const std::string longName(270 - jobs.size() - 1, 'j');
    for (const auto& [name, bytes] : std::vector<std::pair<std::wstring, std::string>>{
             {L"j\u0101b", "@!@2xmacron|a"},
             {L"jab", "@!@2xplain|b"},
             {L"dot.", "@!@2xdot|c"},
             {wintest::wide(longName), "@!@2xlong|d"}}) {
        wintest::WideFile(jobs, name, bytes).keep();
    }
    ASSERT_TRUE(wintest::waitUntil([&] { return std::filesystem::is_empty(jobs); }))
        << readFile(copy.log());
    std::string outputs;
    for (const char* name : {"macron", "plain", "dot", "long"}) {
        outputs += readFile(copy.out + "\\" + name);
    }
    EXPECT_EQ(outputs, "abcd");
    const std::vector<std::string> messages = copy.logMessages();
    EXPECT_EQ(messages.size(), 4u) << readFile(copy.log());
    for (const std::string& message : messages) {
        EXPECT_TRUE(message.starts_with("Processing " + jobs + "\\")) << message;
    }
    EXPECT_EQ(messages.back(), "Processing " + jobs + "\\" + longName);
    EXPECT_EQ(tarvo.stop(), 0);
}

// The boxes of the process captioned "Tarvo".
int boxesOf(DWORD process) {
    int boxes = 0;
    for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", "Tarvo"); box != nullptr;
         box = FindWindowExA(nullptr, box, "#32770", "Tarvo")) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        boxes += owner == process ? 1 : 0;
    }
    return boxes;
}

// Another program holds Tarvo.log without sharing it: for a moment, and the line of the job in
// hand waits for it; for long, and the jobs go on without their lines, one box telling of it.
TEST(WindowsLogHeld, AHeldLogHoldsUpNoJobAndAMomentsHoldLosesNoLine) {
    if (needsDisplay()) {
        GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
    }
    Copy copy;
    const std::string output = copy.out + "\\a.txt";
    copy.configure("@@1@=" + output + "\r\nType1=File\r\n");
    writeFile(copy.log(), "");
    Running tarvo(copy);
    ASSERT_TRUE(tarvo.started());
    {
        wintest::HeldFile held(copy.log(), "alone");
        std::thread releaser([&] {
            Sleep(100);
            held.release();
        });
        dropJob(copy.jobs, "moment", "@!@1first");
        releaser.join();
    }
    ASSERT_TRUE(wintest::waitUntil([&] { return readFile(output) == "first"; }));
    EXPECT_EQ(copy.logMessages(), std::vector<std::string>{"Processing " + copy.jobs + "\\moment"});
    {
        wintest::HeldFile held(copy.log(), "alone");
        dropJob(copy.jobs, "long", "@!@1second");
        dropJob(copy.jobs, "longer", "@!@1third");
        EXPECT_TRUE(wintest::waitUntil([&] { return readFile(output) == "third"; }))
            << "the jobs wait for nobody";
        EXPECT_TRUE(wintest::waitUntil([&] { return boxesOf(tarvo.id()) == 1; }));
        Sleep(500);
        EXPECT_EQ(boxesOf(tarvo.id()), 1);
    }
    EXPECT_EQ(tarvo.stop(), 0) << "an open box holds up no end";
}

// A job that can be routed but not removed (read-only) is kept in "failed" under its own name.
TEST(WindowsKeep, AReadOnlyJobIsKeptInFailedUnderItsOwnName) {
    if (needsDisplay()) {
        GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
    }
    Copy copy;
    const std::string output = copy.out + "\\ro.txt";
    copy.configure("@@1@=" + output + "\r\nType1=File\r\n");
    Running tarvo(copy);
    ASSERT_TRUE(tarvo.started());
    const std::string hidden = copy.jobs + "\\.readonly";
    writeFile(hidden, "@!@1read only");
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(MoveFileA(hidden.c_str(), (copy.jobs + "\\readonly").c_str()));
    const std::string kept = copy.jobs + "\\failed\\readonly";
    EXPECT_TRUE(wintest::waitUntil([&] { return testsupport::exists(kept); }))
        << readFile(copy.log());
    EXPECT_EQ(readFile(kept), "@!@1read only");
    EXPECT_EQ(readFile(output), "read only");
    const std::vector<std::string> messages = copy.logMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "Processing " + copy.jobs + "\\readonly");
    EXPECT_EQ(messages.back(),
              "frmMain::HandleNewFile - Work file not processed, job kept as " + kept);
    SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The start-up line tells a watched folder that is missing from one that is a file.
TEST(WindowsStartUp, AWatchedFolderThatIsAFileIsSaidToBeNoFolder) {
    if (needsDisplay()) {
        GTEST_SKIP() << "the program needs a display: run ctest under xvfb-run";
    }
    testsupport::TempDir other;
    const std::string file = wintest::windowsPath(other.file("jobs"));
    writeFile(file, "a file");
    Copy copy(file);
    Running tarvo(copy);
    ASSERT_TRUE(tarvo.started());
    EXPECT_TRUE(wintest::waitUntil([&] {
        return tarvo.errors().ends_with(
            "watched directory " + file +
            " (not a folder: jobs are taken once a folder takes its place)\r\n");
    })) << tarvo.errors();
    EXPECT_EQ(tarvo.stop(), 0);
}

} // namespace
