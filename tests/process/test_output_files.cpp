// The output file of a "File" or "NamedFile" section: emptied by its first write, it holds
// exactly the bytes written once it is closed, given up, or a write to it fails.
#include "platform/Failure.h"
#include "platform/Files.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>
#include <optional>
#include <string>
#include <sys/resource.h>

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
