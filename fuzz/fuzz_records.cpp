// The records that the program reads back from the watched directory, on arbitrary bytes: the
// spool job record and the progress record. Reading never fails on a file that exists; what is
// read names nothing outside "failed" (a plain job name, a held copy in "failed" under a hidden
// name), and the spool jobs read write back to a record that reads the same.
//
// Input: one byte that chooses the record, then the record's bytes.
#include "fuzz/Sandbox.h"
#include "platform/Paths.h"
#include "process/JobProgress.h"
#include "process/SpoolJobRecord.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

namespace fs = std::filesystem;

struct World {
    fuzz::Sandbox sandbox;
    const std::string watched = (sandbox.root() / "jobs").string();
    const std::string failed = platform::joinPath(watched, "failed");

    World() { fs::create_directories(failed); }
};

void checkSpoolJobRecord(const World& world, std::string_view bytes) {
    const std::string path = platform::joinPath(world.watched, ".printjobs");
    fuzz::writeBytes(path, bytes);
    routing::SpoolJobRecord record(path);
    const routing::SpoolJobRecord::Read read = record.read();
    for (const routing::SpooledSection& section : read.sections) {
        fuzz::require(platform::isPlainFileName(section.jobName), "a job name leads out");
        fuzz::require(section.output >= 1 && section.output <= 9, "an output row out of range");
        if (!section.heldCopy.empty()) {
            const std::string_view name = platform::fileNameOf(section.heldCopy);
            fuzz::require(name.starts_with('.') &&
                              section.heldCopy == platform::joinPath(world.failed, name),
                          "a held copy outside failed: " + fuzz::printable(section.heldCopy));
        }
    }
    record.write(read.sections);
    const routing::SpoolJobRecord::Read again = routing::SpoolJobRecord(path).read();
    fuzz::require(!again.damaged && again.sections == read.sections,
                  "the jobs read do not read back as written");
    std::error_code ignored;
    fs::remove(path, ignored);
}

void checkProgressRecord(const World& world, std::string_view bytes) {
    const std::string path = platform::joinPath(world.watched, ".newjob.progress");
    fuzz::writeBytes(path, bytes);
    routing::JobProgress progress(path);
    // The identity that a record must name to be read at all: the fuzzer finds it in the
    // dictionary.
    const platform::FileIdentity identity{1, 2, 3, 0, 0};
    if (const auto recorded = progress.read(identity)) {
        fuzz::require(recorded->jobName.empty() || platform::isPlainFileName(recorded->jobName),
                      "a recorded job name leads out: " + fuzz::printable(recorded->jobName));
    }
    std::error_code ignored;
    fs::remove(path, ignored);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const World world;
    if (size == 0) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        checkSpoolJobRecord(world, bytes);
    } else {
        checkProgressRecord(world, bytes);
    }
    return 0;
}
