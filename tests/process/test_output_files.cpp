// The output file of a "File" or "NamedFile" section: emptied by its first write, it holds
// exactly the bytes written once it is closed, given up, or a write to it fails.
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Signals.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <thread>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

void writeBytes(platform::WriteFile& file, const std::string& bytes) {
    file.write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Limits the size of the files this process writes, for the scope of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

// A pipe whose read end the object holds open without reading, as a device that takes nothing.
class StalledPipe {
public:
    explicit StalledPipe(std::string path) : path_(std::move(path)) {
        if (::mkfifo(path_.c_str(), 0600) != 0) {
            throw std::runtime_error("mkfifo " + path_);
        }
        reader_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    }
    ~StalledPipe() { ::close(reader_); }
    StalledPipe(const StalledPipe&) = delete;
    StalledPipe& operator=(const StalledPipe&) = delete;

    const std::string& path() const { return path_; }
    int reader() const { return reader_; }

private:
    std::string path_;
    int reader_ = -1;
};

// More than a pipe holds, so that a writer waits.
const std::string kMoreThanAPipeHolds(1 << 20, 'x');

} // namespace

TEST(OutputFile, HoldsExactlyTheNewBytesWhateverItHeldBefore) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out.bin");
    struct Case {
        std::optional<std::string> before; // nullopt: no file yet
        std::string written;
    };
    const Case cases[] = {
        {std::nullopt, "new"},
        {std::string(1000, 'o'), "shorter"},
        {"old", "a longer section than before"},
        {std::string(5, 'o'), "equal"},
        {std::string("\x00\xFF\x00", 3), std::string("\x0C\x00", 2)},
    };
    for (const Case& c : cases) {
        if (c.before) {
            writeFile(path, *c.before);
        }
        platform::WriteFile file(path);
        // Written in two parts, as the position must carry over between writes.
        writeBytes(file, c.written.substr(0, 2));
        writeBytes(file, c.written.substr(2));
        file.close();
        EXPECT_EQ(readFile(path), c.written) << c.written;
    }
}

TEST(OutputFile, GivenUpOrFailedFileNeverHoldsOldBytesAfterNewOnes) {
    testsupport::TempDir dir;
    const std::string path = dir.file("out.bin");

    // Opened, never written, and given up (a section that delivers nothing): as it was.
    writeFile(path, "earlier content");
    { platform::WriteFile file(path); }
    EXPECT_EQ(readFile(path), "earlier content");

    // Given up after a write: what was written, without the old tail.
    writeFile(path, "earlier content");
    {
        platform::WriteFile file(path);
        writeBytes(file, "new");
    }
    EXPECT_EQ(readFile(path), "new");

    // A write that fails part way: the bytes that were written, never old bytes after them.
    writeFile(path, std::string(100, 'o'));
    {
        platform::WriteFile file(path);
        FileSizeLimit limit(50);
        EXPECT_THROW(writeBytes(file, std::string(80, 'n')), platform::Failure);
    }
    EXPECT_EQ(readFile(path), std::string(50, 'n'));
}

TEST(OutputFile, DevicesAreWrittenAndAPipeNobodyReadsFailsAtOnce) {
    platform::WriteFile device("/dev/null");
    writeBytes(device, "to a device");
    EXPECT_NO_THROW(device.close());

    // Waiting for a reader would stop every later job.
    testsupport::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_THROW(platform::WriteFile pipe(dir.file("pipe")), platform::Failure);
}

TEST(OutputFile, ANamedFileIsARegularFileOfItsDirectoryOrRefused) {
    testsupport::TempDir dir;
    testsupport::TempDir elsewhere;
    writeFile(elsewhere.file("victim"), "precious");
    std::filesystem::create_symlink(elsewhere.file("victim"), dir.file("link"));
    std::filesystem::create_symlink(elsewhere.file("created"), dir.file("dangling"));
    std::filesystem::create_directory(dir.file("folder"));
    // A pipe that another user planted and reads from, and one that nobody reads.
    const StalledPipe heldPipe(dir.file("held"));
    ASSERT_EQ(::mkfifo(dir.file("unread").c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, dir.file("socket").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);

    for (const char* name : {"link", "dangling", "folder", "held", "unread", "socket"}) {
        try {
            platform::WriteFile file(dir.path(), name);
            ADD_FAILURE() << name << " was opened";
        } catch (const platform::Failure& failure) {
            EXPECT_STREQ(failure.what(), "File name not allowed") << name;
        }
    }
    ::close(listener);
    EXPECT_EQ(readFile(elsewhere.file("victim")), "precious");
    EXPECT_FALSE(testsupport::exists(elsewhere.file("created")));
    char byte = 0;
    EXPECT_LE(::read(heldPipe.reader(), &byte, 1), 0) << "the planted pipe was written";

    platform::WriteFile file(dir.path(), "new.txt");
    writeBytes(file, "data");
    file.close();
    EXPECT_EQ(readFile(dir.file("new.txt")), "data");
}

TEST(OutputFile, ADeviceThatTakesNothingFailsOnceItHasMadeNoProgressForTheLimit) {
    testsupport::TempDir dir;
    const StalledPipe pipe(dir.file("device"));
    platform::WriteFile stalled(pipe.path(), std::chrono::seconds(2));
    try {
        writeBytes(stalled, kMoreThanAPipeHolds);
        ADD_FAILURE() << "the write did not fail";
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), "No progress writing for 2 seconds: " + pipe.path());
    }

    // A device that takes its bytes slowly, never pausing as long as the limit, is written whole
    // however long that takes.
    const StalledPipe slowPipe(dir.file("slow"));
    const std::string fourPipesFull(4 << 16, 's');
    std::size_t read = 0;
    std::thread reader([&] {
        char bytes[1 << 16];
        while (read < fourPipesFull.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const ssize_t got = ::read(slowPipe.reader(), bytes, sizeof bytes);
            read += got > 0 ? static_cast<std::size_t>(got) : 0;
        }
    });
    platform::WriteFile slow(slowPipe.path(), std::chrono::seconds(1));
    EXPECT_NO_THROW(writeBytes(slow, fourPipesFull));
    reader.join();
    EXPECT_EQ(read, fourPipesFull.size());
}

TEST(OutputFile, AStopRequestCutsAWaitOnADeviceShort) {
    testsupport::TempDir dir;
    const StalledPipe pipe(dir.file("device"));
    // Stop requests are the process's own: they are made in a child.
    EXPECT_TRUE(testsupport::holdsWithin(20, [&] {
        platform::catchStopRequests();
        platform::WriteFile device(pipe.path());
        std::thread stop([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ::kill(::getpid(), SIGTERM);
        });
        stop.detach();
        try {
            writeBytes(device, kMoreThanAPipeHolds);
        } catch (const platform::Interrupted&) {
            return true;
        }
        return false;
    })) << "the write did not end with Interrupted";
}
