#pragma once

#include "platform/Spooler.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

inline constexpr std::size_t kMiB = std::size_t{1} << 20;

// A scratch directory under TMPDIR (or /tmp), removed with its contents when the object goes.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes a job of totalBytes cut into the given number of sections, all for output 1.
// The data are pseudo-random bytes, 0x40 and 0xFF included, arranged so that no marker
// appears by chance. Written in blocks, never held whole in memory.
void writeJob(const std::string& path, std::size_t totalBytes, std::size_t sections);

// Gives the work file the master job's bytes without copying them (a hard link), so that each
// run of the job starts from the same file.
void linkJob(const std::string& master, const std::string& work);

// A spooler that knows every printer and keeps nothing but a count of the bytes sent.
class DiscardingSpooler final : public platform::Spooler {
public:
    std::uint64_t bytes = 0;

    Handle openPrinter(const std::string&) override { return 1; }
    void startDocument(Handle, const std::string&, const std::string&) override {}
    void startPage(Handle) override {}
    void write(Handle, const std::uint8_t*, std::size_t count) override { bytes += count; }
    void endPage(Handle) override {}
    void endDocument(Handle) override {}
    void closePrinter(Handle) override {}
    std::vector<std::string> printerNames() override { return {}; }
};

// Resident memory of this process now, in bytes.
std::size_t residentBytes();

} // namespace bench
