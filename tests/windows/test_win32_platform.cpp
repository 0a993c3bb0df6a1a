// The Windows platform on real files, with a second Windows process where one is needed.
#include "platform/Clock.h"
#include "platform/DirectoryChanges.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/RecordFile.h"
#include "platform/Signals.h"
#include "platform/SingleInstance.h"
#include "platform/WatchedDirectory.h"
#include "platform/win32/FileAccess.h"
#include "platform/win32/ListedNames.h"
#include "platform/win32/SystemError.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using platform::joinPath;
using testsupport::exists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

platform::WatchedDirectory& directory() {
    static const std::unique_ptr<platform::WatchedDirectory> system =
        platform::makeSystemWatchedDirectory();
    return *system;
}

TEST(WindowsFiles, TheExclusiveOpenSeesAnotherProcessHoldingTheFile) {
    TempDir dir;
    const std::string path = dir.file("job");
    writeFile(path, "x");
    for (const std::string mode : {"read", "write"}) {
        wintest::HeldFile held(path, mode);
        EXPECT_EQ(directory().fileUse(path), platform::FileUse::HeldOpen) << mode;
        EXPECT_TRUE(held.release());
        EXPECT_EQ(directory().fileUse(path), platform::FileUse::Free) << mode;
    }
    EXPECT_THROW(directory().fileUse(dir.file("missing")), platform::Failure);
}

TEST(WindowsFiles, TheListingYieldsPlainFilesInByteOrderWithoutNamesBeginningWithADot) {
    TempDir dir;
    for (const char* name : {"b", "B1", "a", ".hidden", ".newjob.tmp12-3", "newjob.tmp"}) {
        writeFile(dir.file(name), "x");
    }
    std::filesystem::create_directory(dir.file("sub"));
    std::vector<std::string> names;
    directory().listJobNames(dir.path(), names);
    EXPECT_EQ(names, (std::vector<std::string>{"B1", "a", "b", "newjob.tmp"}));
    EXPECT_TRUE(exists(dir.file(".newjob.tmp12-3")) && exists(dir.file(".hidden")));
}

TEST(WindowsFiles, TheHandOffRenamesTheJobAndNeverReplacesAWorkFile) {
    TempDir dir;
    const std::string job = dir.file("job");
    const std::string work = joinPath(dir.path(), "newjob");
    writeFile(job, "the job");
    directory().renameFile(job, work);
    EXPECT_EQ(readFile(work), "the job");
    EXPECT_FALSE(exists(job));
    writeFile(job, "the next job");
    EXPECT_THROW(directory().renameFile(job, work), platform::Failure);
    EXPECT_EQ(readFile(work), "the job");
    EXPECT_EQ(readFile(job), "the next job");
}

TEST(WindowsFiles, MovingOrWritingIntoFailedNeverReplacesAnything) {
    TempDir dir;
    const std::string job = dir.file("job");
    const std::string failed = joinPath(dir.path(), "failed");
    EXPECT_EQ(directory().failedSize(job), 0u);
    writeFile(job, "1");
    EXPECT_EQ(directory().moveToFailed(job, ""), joinPath(failed, "job"));
    writeFile(job, "2");
    EXPECT_EQ(directory().moveToFailed(job, ""), joinPath(failed, "job.1"));
    EXPECT_EQ(readFile(joinPath(failed, "job")), "1");
    EXPECT_EQ(readFile(joinPath(failed, "job.1")), "2");
    // A file written into failed takes its name only once whole; one given up leaves nothing.
    {
        const auto kept = directory().createInFailed(job, "job");
        kept->write(reinterpret_cast<const std::uint8_t*>("333"), 3);
        EXPECT_FALSE(exists(joinPath(failed, "job.2")));
        EXPECT_EQ(kept->keep(), joinPath(failed, "job.2"));
        directory()
            .createInFailed(job, "lost")
            ->write(reinterpret_cast<const std::uint8_t*>("4"), 1);
    }
    EXPECT_EQ(readFile(joinPath(failed, "job.2")), "333");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(failed), {}), 3);
    EXPECT_EQ(directory().failedSize(job), 5u);

    TempDir other;
    writeFile(other.file("failed"), "a file, not a directory");
    writeFile(other.file("job"), "3");
    EXPECT_THROW(directory().moveToFailed(other.file("job"), ""), platform::Failure);
    EXPECT_THROW(directory().createInFailed(other.file("job"), "job"), platform::Failure);
    EXPECT_THROW(directory().failedSize(other.file("job")), platform::Failure);
    EXPECT_EQ(readFile(other.file("job")), "3");
}

TEST(WindowsFiles, AJobFileRemovedWhileOpenStaysReadableAndGoesWhenClosed) {
    TempDir dir;
    const std::string path = dir.file("newjob");
    writeFile(path, "0123456789");
    {
        platform::JobFile file(path);
        file.remove();
        std::uint8_t bytes[4];
        ASSERT_EQ(file.readAt(6, bytes, 4), 4u);
        EXPECT_EQ(std::string(bytes, bytes + 4), "6789");
        ASSERT_EQ(file.read(bytes, 4), 4u);
        EXPECT_EQ(std::string(bytes, bytes + 4), "0123") << "a read at an offset moves nothing";
        EXPECT_EQ(file.length(), 10u);
    }
    EXPECT_EQ(directory().kind(path), platform::EntryKind::Missing);
    EXPECT_THROW(platform::JobFile{dir.path()}, platform::Failure);
}

// Two programs on one directory: the one that holds the work file's lock routes it, and the other
// leaves it alone, while it can still open it.
TEST(WindowsFiles, OneProcessAtATimeHoldsTheWorkFilesLock) {
    TempDir dir;
    const std::string work = wintest::windowsPath(dir.file("newjob"));
    writeFile(work, "@!@1x");
    const auto lockInAnother = [&] {
        const std::string answer = dir.file("answer");
        EXPECT_EQ(
            wintest::Process(wintest::testProgram("tarvo_test_helper.exe"), {"lock", work, answer})
                .wait(20s),
            0);
        return readFile(answer);
    };
    {
        platform::JobFile mine(work);
        ASSERT_TRUE(mine.lock());
        EXPECT_EQ(lockInAnother(), "held elsewhere");
    }
    EXPECT_EQ(lockInAnother(), "locked") << "the lock ends with its process's handle";
}

TEST(WindowsFiles, AnOutputFileIsCreatedAndEmptiedAtItsFirstWriteOnly) {
    TempDir dir;
    writeFile(dir.file("out"), "old content");
    platform::WriteFile(dir.file("out")).close();
    EXPECT_EQ(readFile(dir.file("out")), "old content");

    platform::WriteFile named(dir.path(), "out");
    named.write(reinterpret_cast<const std::uint8_t*>("new"), 3);
    named.write(reinterpret_cast<const std::uint8_t*>(" bytes"), 6);
    named.close();
    EXPECT_EQ(readFile(dir.file("out")), "new bytes");

    platform::WriteFile(dir.path(), "fresh").close();
    EXPECT_TRUE(exists(dir.file("fresh")));
}

TEST(WindowsChanges, ANewOrWrittenFileSignalsTheHandleOnceTheDirectoryExists) {
    TempDir parent;
    const std::string directory = parent.file("jobs");
    const auto changes = platform::followChanges(directory);
    const auto ready = reinterpret_cast<HANDLE>(changes->readyHandle());
    ASSERT_NE(ready, nullptr);
    EXPECT_FALSE(changes->readChanges()) << "nothing to watch yet";
    EXPECT_FALSE(changes->watching());

    std::filesystem::create_directory(directory);
    EXPECT_TRUE(changes->readChanges()) << "a directory watched from now on may hold jobs";
    EXPECT_TRUE(changes->watching()) << "an idle program may sleep";
    EXPECT_NE(WaitForSingleObject(ready, 0), WAIT_OBJECT_0);
    writeFile(joinPath(directory, "job"), "@!@1x");
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(changes->readChanges());
    // Windows does not report opens and closes: the sharing check tells.
    EXPECT_EQ(changes->openState("job"), platform::OpenState::Unknown);
}

// The probe of writability makes and removes a file of its own, the record of a job's progress
// is rewritten after every section: neither may wake the monitor for a pass of its own.
TEST(WindowsChanges, TheProgramsOwnFilesWakeNothing) {
    TempDir dir;
    const auto changes = platform::followChanges(dir.path());
    const auto ready = reinterpret_cast<HANDLE>(changes->readyHandle());
    ASSERT_TRUE(changes->watching());
    for (int probe = 0; probe < 3; ++probe) {
        directory().checkWritable(dir.path());
    }
    platform::RecordFile(joinPath(dir.path(), ".newjob.progress")).write("1");
    // Whatever the system reports of them within a second wakes nothing.
    for (auto until = std::chrono::steady_clock::now() + 1s;
         std::chrono::steady_clock::now() < until;) {
        if (WaitForSingleObject(ready, 100) == WAIT_OBJECT_0) {
            EXPECT_FALSE(changes->readChanges());
        }
    }
    writeFile(dir.file("job"), "x");
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(changes->readChanges());
}

// A job given the work file's name (the hand-off) came before and woke the monitor then; a file
// given a job's name from a name that no job has is a writer's finished job.
TEST(WindowsChanges, ARenameWakesOnlyWhenAWriterGivesTheJobItsName) {
    TempDir dir;
    writeFile(dir.file("job"), "x");
    writeFile(dir.file(".written"), "y");
    const auto changes = platform::followChanges(dir.path());
    const auto ready = reinterpret_cast<HANDLE>(changes->readyHandle());
    ASSERT_TRUE(MoveFileA(dir.file("job").c_str(), dir.file("newjob").c_str()));
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(changes->readChanges());
    ASSERT_TRUE(MoveFileA(dir.file(".written").c_str(), dir.file("written").c_str()));
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(changes->readChanges());
}

// Unicode programs name files as the ANSI code page (1252 under the tests' wine) cannot spell, and
// may end a name in a dot or a blank, which the system strips from every path it is given.
TEST(WindowsNames, EveryFileIsListedByANameThatReachesItAndNoOtherFile) {
    TempDir dir;
    const std::string folder = wintest::windowsPath(dir.path());
    const std::vector<std::pair<std::wstring, std::string>> files = {
        {L"j\u0101b", "a with macron"}, {L"jab", "plain a"},      {L"\u0141x", "L with stroke"},
        {L"a\u2212b", "minus"},         {L"dot.", "dot"},         {L"dot", "no dot"},
        {L"blank ", "blank"},           {L"caf\u00e9", "e acute"}};
    std::vector<wintest::WideFile> made;
    for (const auto& [name, bytes] : files) {
        made.emplace_back(folder, name, bytes);
    }
    std::vector<std::string> names;
    directory().listJobNames(folder, names);
    ASSERT_EQ(names.size(), files.size());
    std::set<std::string> reached;
    for (const std::string& name : names) {
        const std::string path = joinPath(folder, name);
        EXPECT_EQ(directory().kind(path), platform::EntryKind::RegularFile) << name;
        EXPECT_EQ(directory().fileUse(path), platform::FileUse::Free) << name;
        platform::JobFile job(path);
        std::string bytes(static_cast<std::size_t>(job.length()), '\0');
        job.read(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
        reached.insert(bytes);
    }
    EXPECT_EQ(reached.size(), files.size()) << "each name reaches a file of its own";
    // A name that the code page spells exactly is the file's own.
    EXPECT_NE(std::find(names.begin(), names.end(), "caf\xe9"), names.end());

    const std::string work = joinPath(folder, "newjob");
    const auto lookAlike = std::find_if(names.begin(), names.end(),
                                        [](const std::string& name) { return name[0] == 'J'; });
    ASSERT_NE(lookAlike, names.end());
    directory().renameFile(joinPath(folder, *lookAlike), work);
    EXPECT_EQ(readFile(work), "a with macron");
}

// Without a short name (8.3 names are off on many volumes; wine always makes one) such a file is
// listed under a name that reaches nothing, which fails clearly wherever it is used.
TEST(WindowsNames, AFileWithoutAShortNameThatNoANSINameReachesFailsClearly) {
    const auto entry = [](const wchar_t* name, const wchar_t* shortName) {
        WIN32_FIND_DATAW data{};
        wcscpy(data.cFileName, name);
        wcscpy(data.cAlternateFileName, shortName);
        return data;
    };
    using platform::win32::listedName;
    EXPECT_EQ(listedName(entry(L"plain.txt", L"")), "plain.txt");
    EXPECT_EQ(listedName(entry(L"caf\u00e9", L"CAF~1")), "caf\xe9");
    EXPECT_EQ(listedName(entry(L"j\u0101b", L"J_B~1")), "J_B~1");
    EXPECT_EQ(listedName(entry(L"j\u0101b", L"")), "j?b");
    EXPECT_EQ(listedName(entry(L"dot.", L"")), "dot.");
    EXPECT_EQ(listedName(entry(L"blank ", L"")), "blank ");
    for (const char* name : {"j?b", "dot.", "blank "}) {
        EXPECT_TRUE(platform::win32::isUnreachableName(name)) << name;
    }
    EXPECT_FALSE(platform::win32::isUnreachableName("J_B~1"));

    TempDir dir;
    const std::string folder = wintest::windowsPath(dir.path());
    writeFile(dir.file("dot"), "another file");
    for (const char* name : {"j?b", "dot."}) {
        const std::string path = joinPath(folder, name);
        EXPECT_EQ(directory().kind(path), platform::EntryKind::Missing) << name;
        try {
            directory().fileUse(path);
            ADD_FAILURE() << name << " was examined";
        } catch (const platform::Failure& failure) {
            EXPECT_NE(std::string(failure.what()).find("no short name"), std::string::npos)
                << failure.what();
        }
        EXPECT_THROW(directory().renameFile(path, joinPath(folder, "newjob")), platform::Failure);
    }
    EXPECT_EQ(readFile(dir.file("dot")), "another file");
}

// Paths past 260 characters: the job of 270, in a folder past the 248 that a folder may have
// before the system needs the long form, and the probe's and the record's own names beyond.
TEST(WindowsLongPaths, AJobOf270CharactersIsListedExaminedHandedOverRoutedAndKept) {
    TempDir dir;
    const std::string folder = wintest::longFolder(dir.path(), 250);
    const std::string name(19, 'j');
    const std::string job = joinPath(folder, name);
    ASSERT_EQ(job.size(), 270u);
    wintest::WideFile(folder, wintest::wide(name), "@!@1long").keep();

    EXPECT_TRUE(platform::directoryExists(folder));
    EXPECT_NO_THROW(platform::probeDirectory(folder));
    EXPECT_NO_THROW(directory().checkWritable(folder));
    const auto changes = platform::followChanges(folder);
    EXPECT_TRUE(changes->watching());
    std::vector<std::string> names;
    directory().listJobNames(folder, names);
    EXPECT_EQ(names, std::vector<std::string>{name});
    EXPECT_EQ(directory().kind(job), platform::EntryKind::RegularFile);
    EXPECT_EQ(directory().fileUse(job), platform::FileUse::Free);
    const platform::FileIdentity identity = directory().identity(job);

    const std::string work = joinPath(folder, "newjob");
    directory().renameFile(job, work);
    EXPECT_EQ(directory().identity(work).inode, identity.inode);
    const std::string record = joinPath(folder, ".newjob.progress");
    platform::RecordFile(record).write("1 section");
    EXPECT_EQ(platform::readRecord(record, 100), "1 section");
    platform::removeRecord(record);
    EXPECT_EQ(directory().kind(record), platform::EntryKind::Missing);
    {
        platform::JobFile file(work);
        EXPECT_TRUE(file.lock());
        std::uint8_t bytes[8];
        EXPECT_EQ(file.read(bytes, sizeof bytes), 8u);
    }
    platform::WriteFile output(joinPath(folder, "out"));
    output.write(reinterpret_cast<const std::uint8_t*>("out"), 3);
    output.close();
    platform::appendToFile(joinPath(folder, "Tarvo.log"), "line\r\n");
    EXPECT_EQ(directory().moveToFailed(work, name), joinPath(joinPath(folder, "failed"), name));
    EXPECT_EQ(directory().kind(joinPath(joinPath(folder, "failed"), name)),
              platform::EntryKind::RegularFile);
}

// A path that the system still refuses (under wine, one whose Unix path is longer than 4,096
// bytes, made by lengthening the folders above a file) is something there that cannot be
// examined: the monitor logs it once and passes it over, and the files beside it are listed.
TEST(WindowsLongPaths, APathTheSystemRefusesIsThereButCannotBeExamined) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) {
        GTEST_SKIP() << "Windows takes every path that the job's folder and name can make";
    }
    TempDir dir;
    char* unixPath = unixName(wintest::wide(wintest::windowsPath(dir.path())).c_str());
    const std::size_t unixLength = std::strlen(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    // Folders of 200 characters up to less than 4,000 bytes, then a name past 4,096.
    const std::size_t levels = (3990 - unixLength) / 201;
    const std::string jobName(4106 - unixLength - levels * 201, 'j');
    ASSERT_LE(jobName.size(), 255u);
    std::string folder = wintest::windowsPath(dir.path());
    std::vector<std::string> shortNames;
    for (std::size_t level = 0; level < levels; ++level) {
        folder += std::string("\\") + static_cast<char>('a' + level);
        shortNames.push_back(folder);
        ASSERT_TRUE(CreateDirectoryW(wintest::extendedPath(folder).c_str(), nullptr));
    }
    wintest::WideFile(folder, wintest::wide(jobName), "@!@1x").keep();
    writeFile(wintest::windowsPath(dir.file("a")) + "\\beside", "x");
    // Each folder from the top down is given a name of 200 characters.
    std::string renamed = wintest::windowsPath(dir.path());
    for (const std::string& shortName : shortNames) {
        const std::string longName = renamed + "\\" + std::string(200, shortName.back());
        ASSERT_TRUE(MoveFileW(wintest::extendedPath(renamed + "\\" + shortName.back()).c_str(),
                              wintest::extendedPath(longName).c_str()));
        renamed = longName;
    }
    const std::string job = joinPath(renamed, jobName);
    EXPECT_EQ(directory().kind(job), platform::EntryKind::Other);
    EXPECT_THROW(directory().fileUse(job), platform::Failure);
    std::vector<std::string> names;
    const std::string top = joinPath(wintest::windowsPath(dir.path()), std::string(200, 'a'));
    directory().listJobNames(top, names);
    EXPECT_EQ(names, std::vector<std::string>{"beside"});
    // Short again, for the temporary folder to go.
    for (auto shortName = shortNames.rbegin(); shortName != shortNames.rend(); ++shortName) {
        const std::string parent = renamed.substr(0, renamed.find_last_of('\\'));
        MoveFileW(wintest::extendedPath(renamed).c_str(),
                  wintest::extendedPath(parent + "\\" + shortName->back()).c_str());
        renamed = parent;
    }
}

// Another program (a viewer, a backup) holds the log for a moment: the append says that this
// passes (FileBusy), for the log to try again, and takes lines again once it is released.
TEST(WindowsLog, ALogThatAnotherProgramHoldsIsBusyUntilReleased) {
    TempDir dir;
    const std::string log = wintest::windowsPath(dir.file("Tarvo.log"));
    writeFile(log, "");
    {
        wintest::HeldFile held(log, "alone");
        EXPECT_THROW(platform::appendToFile(log, "lost\r\n"), platform::FileBusy);
        EXPECT_TRUE(held.release());
    }
    EXPECT_NO_THROW(platform::appendToFile(log, "first\r\n"));
    EXPECT_EQ(readFile(log), "first\r\n");
    EXPECT_THROW(platform::appendToFile(wintest::windowsPath(dir.path()), "x"), platform::Failure)
        << "a folder in the log's place";
}

// A window of the test's thread that hears of stops as the tray window does: a WM_CLOSE posted
// to it (as taskkill posts it), or a WM_ENDSESSION sent to it, to which it posts WM_QUIT.
class StopWindow {
public:
    StopWindow()
        : window_(CreateWindowA("STATIC", "stop", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                nullptr)) {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
    }
    ~StopWindow() { DestroyWindow(window_); }
    StopWindow(const StopWindow&) = delete;
    StopWindow& operator=(const StopWindow&) = delete;

    HWND window() const { return window_; }
    // Takes the stop requests out of the queue again.
    static void withdraw() {
        MSG message;
        while (PeekMessageA(&message, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE) ||
               PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_ENDSESSION) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND window_;
};

// A device or a pipe that takes nothing: a stop request cuts the wait short, and after 30
// seconds (1 here) of nothing taken the write fails, naming the target.
TEST(WindowsStops, AStopRequestOrAStalledTargetEndsAWriteThatWaits) {
    const std::string name = "tarvo-test-" + std::to_string(GetCurrentProcessId());
    const std::string block(64 * 1024, 'x');
    const auto bytes = reinterpret_cast<const std::uint8_t*>(block.data());
    for (const bool endOfSession : {false, true}) {
        wintest::PipeServer pipe(name + (endOfSession ? "-end" : "-close"));
        // The write runs in a thread of its own, whose queue the request goes to: a write that
        // never sees it is freed by the pipe's end, not left waiting.
        std::atomic<HWND> window = nullptr;
        std::atomic<int> outcome = 0;
        std::thread writer([&] {
            StopWindow stop;
            EXPECT_FALSE(platform::stopRequested());
            if (!endOfSession) {
                PostMessageA(stop.window(), WM_CLOSE, 0, 0);
                EXPECT_TRUE(platform::stopRequested());
            }
            window = stop.window();
            try {
                platform::WriteFile(pipe.path()).write(bytes, block.size());
                outcome = 1;
            } catch (const platform::Interrupted&) {
                outcome = 2;
            } catch (const std::exception&) {
                outcome = 3;
            }
            StopWindow::withdraw();
            EXPECT_FALSE(platform::stopRequested());
        });
        ASSERT_TRUE(wintest::waitUntil([&] { return window.load() != nullptr; }));
        if (endOfSession) {
            // Returns once the writer's thread has handled it, within the wait.
            SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 20000, nullptr);
        }
        EXPECT_TRUE(wintest::waitUntil([&] { return outcome != 0; }));
        if (outcome == 0) {
            pipe.cutOff();
        }
        writer.join();
        EXPECT_EQ(outcome, 2) << (endOfSession ? "the end of the session" : "WM_CLOSE")
                              << " ended the wait";
    }
    {
        wintest::PipeServer pipe(name + "-stall");
        const platform::win32::Handle file = platform::win32::openFile(
            pipe.path(), GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_OVERLAPPED);
        try {
            platform::win32::writeOverlapped(file.get(), bytes, block.size(), pipe.path(), 1s);
            ADD_FAILURE() << "a pipe that nobody reads took everything";
        } catch (const platform::Failure& failure) {
            EXPECT_EQ(failure.what(), "No progress writing for 1 seconds: " + pipe.path());
        }
    }
    {
        wintest::PipeServer pipe(name + "-read");
        pipe.startReading();
        {
            platform::WriteFile output(pipe.path());
            output.write(bytes, block.size());
            output.write(bytes, 1);
        }
        EXPECT_EQ(pipe.received(), block + "x");
    }
}

TEST(WindowsPaths, DeviceAndStreamNamesAreReserved) {
    for (const char* name :
         {"CON", "con.txt", "Nul", "aux.tar.gz", "PRN", "COM1", "com9.log", "LPT1", "lpt9.x",
          "COM0", "LPT\xB9", "CON .txt", "name.", "name ", "a:stream", "a*b", "what?", ""}) {
        EXPECT_TRUE(platform::isReservedFileName(name)) << name;
    }
    for (const char* name : {"CONSOLE", "COM10", "LPT", "NULL.txt", "file.txt", ".profile"}) {
        EXPECT_FALSE(platform::isReservedFileName(name)) << name;
    }
}

TEST(WindowsPaths, ADriveRootKeepsItsSeparator) {
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 2u);
    const std::string root = std::string(windows, 2) + "\\";
    const std::string helper =
        root + "tarvo_test_helper_" + std::to_string(GetCurrentProcessId()) + ".exe";
    ASSERT_TRUE(
        CopyFileA(wintest::testProgram("tarvo_test_helper.exe").c_str(), helper.c_str(), FALSE));
    TempDir dir;
    EXPECT_EQ(wintest::Process(helper, {"appdir", dir.file("answer")}).wait(20s), 0);
    DeleteFileA(helper.c_str());
    EXPECT_EQ(readFile(dir.file("answer")), root);
    EXPECT_EQ(joinPath(root, "tarvo.ini"), root + "\\tarvo.ini");
}

TEST(WindowsPaths, TheProgramsOwnFilesAreKnownHoweverTheirNamesAreWritten) {
    TempDir app;
    TempDir other;
    platform::Locations program = platform::systemLocations();
    program.applicationDirectory = app.path();
    program.settingsFile = app.file("tarvo.ini");
    program.logFile = app.file("Tarvo.log");
    std::string backslashed = app.path();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_TRUE(platform::isProgramFile(program, backslashed + "\\", "TARVO.INI"));
    EXPECT_TRUE(platform::isProgramFile(program, app.path(), "tarvo.log"));
    EXPECT_FALSE(platform::isProgramFile(program, app.path(), "tarvo.txt"));
    EXPECT_FALSE(platform::isProgramFile(program, other.path(), "tarvo.ini"));
}

TEST(WindowsInstance, ASecondProcessMeetsTheFirstAndLearnsItsId) {
    const platform::InstanceLock lock = platform::InstanceLock::claim("");
    ASSERT_TRUE(lock.held());
    TempDir dir;
    EXPECT_EQ(
        wintest::Process(wintest::testProgram("tarvo_test_helper.exe"), {"claim", dir.file("a")})
            .wait(20s),
        0);
    EXPECT_EQ(readFile(dir.file("a")), "running " + std::to_string(GetCurrentProcessId()));
}

TEST(WindowsClock, MidnightShowsTheDateAlone) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mday = 5;
    local.tm_isdst = -1;
    const std::string midnight = platform::generalDate(std::mktime(&local));
    local.tm_hour = 14;
    const std::string afternoon = platform::generalDate(std::mktime(&local));
    EXPECT_FALSE(midnight.empty());
    EXPECT_EQ(afternoon.substr(0, midnight.size() + 1), midnight + " ") << afternoon;
    EXPECT_GT(afternoon.size(), midnight.size() + 4) << afternoon;
}

TEST(WindowsFailures, DescriptionsAreTheSystemsOwnWithoutTheLineEnd) {
    TempDir dir;
    try {
        platform::JobFile missing(dir.file("missing"));
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.what(), platform::win32::systemText(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(std::strpbrk(failure.what(), "\r\n"), nullptr);
        return;
    }
    FAIL() << "a missing file was opened";
}

} // namespace
