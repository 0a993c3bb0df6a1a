#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The spooler's number for a job that holds one document, unique on its print server.
using SpoolJobId = std::uint32_t;

// Where a spool job stands.
enum class SpoolJobState {
    // Pending, held or printing: not ended yet.
    Waiting,
    Completed,
    // Aborted, canceled, or stopped with an error: not printed.
    Failed,
    // The spooler does not know the job (any more): its end cannot be followed.
    Unknown,
};

struct SpoolJobReport {
    SpoolJobState state = SpoolJobState::Unknown;
    // Why a Failed job failed, in the spooler's words (the printer's state message at the end);
    // may be empty.
    std::string reason;

    bool operator==(const SpoolJobReport&) const = default;
};

// How a printer stands, and the jobs of it that were asked about.
struct PrinterReport {
    // The queue holds its jobs back: stopped or paused, or the printer reports a problem
    // (offline, media empty, door open, ...).
    bool troubled = false;
    // The printer's own state message, e.g. "The printer is not connected."; may be empty.
    std::string message;
    // One per job asked about, in the order asked.
    std::vector<SpoolJobReport> jobs;

    bool operator==(const PrinterReport&) const = default;
};

// The print spooler: printers opened by name, one raw document per section.
class Spooler {
public:
    // An open printer. Releasing it drops any document still open: that prints nothing.
    class Printer {
    public:
        virtual ~Printer() = default;

        // Each of these throws Failure with the spooler's own message when the call fails, and
        // Interrupted when a stop request cut its wait short.
        virtual void startDocument(const std::string& title, const std::string& datatype) = 0;
        virtual void startPage() = 0;
        virtual void write(const std::uint8_t* data, std::size_t count) = 0;
        virtual void endPage() = 0;
        // Returns the id of the spool job that holds the document, when the spooler gives one.
        virtual std::optional<SpoolJobId> endDocument() = 0;
    };

    virtual ~Spooler() = default;

    // A job begins: a spooler that gave up on a silent print server asks it again.
    virtual void beginJob() {}

    // Opens the printer of that name; nullptr when the spooler does not recognise the name, or
    // its print server does not answer in time. Throws Interrupted when a stop request cut a wait
    // short.
    virtual std::unique_ptr<Printer> openPrinter(const std::string& name) = 0;

    // Asks how the printer and those of its jobs stand, each call bounded as the others. A spooler
    // that cannot tell reports every job Unknown. Throws Failure when the print server cannot be
    // asked now, and Interrupted when a stop request cut a wait short.
    virtual PrinterReport askPrinter(const std::string& name, const std::vector<SpoolJobId>& jobs);

    // The installed printers' names, in the spooler's own order; each opens with openPrinter.
    virtual std::vector<std::string> printerNames() = 0;
};

// The operating system's spooler: CUPS, or the Windows print spooler.
std::unique_ptr<Spooler> makeSystemSpooler();

} // namespace platform
