#pragma once

#include "platform/Files.h"
#include "platform/Spooler.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace routing {

// Where a section's bytes go. Releasing a channel that has not finished leaves its output
// without the section: a printer's document is dropped unprinted, a file is closed.
class OutputChannel {
public:
    virtual ~OutputChannel() = default;

    // Each of these throws Failure with the description of what failed.
    virtual void write(const std::uint8_t* data, std::size_t count) = 0;
    // Completes the delivery: the document is ended, or the file closed.
    virtual void finish() = 0;
};

// A raw document "Tarvo job" on a printer.
class PrinterChannel final : public OutputChannel {
public:
    // Starts the document. Throws Failure, with the printer released, when the spooler refuses.
    explicit PrinterChannel(std::unique_ptr<platform::Spooler::Printer> printer);

    void write(const std::uint8_t* data, std::size_t count) override;
    void finish() override;

    // The id of the spool job that holds the finished document, when the spooler gave one.
    std::optional<platform::SpoolJobId> spoolJob() const { return spoolJob_; }

private:
    std::unique_ptr<platform::Spooler::Printer> printer_;
    std::optional<platform::SpoolJobId> spoolJob_;
};

// A file written from its first byte. A channel whose file could not be opened still takes its
// section, whose delivery then fails ("Bad file name or number").
class FileChannel final : public OutputChannel {
public:
    // Opens the path (in the system's form), following symbolic links anywhere in it.
    void open(const std::string& path);
    // Opens name inside directory, never through a link in name's place.
    void open(const std::string& directory, const std::string& name);

    void write(const std::uint8_t* data, std::size_t count) override;
    void finish() override;

private:
    platform::WriteFile& file();

    std::optional<platform::WriteFile> file_;
};

} // namespace routing
