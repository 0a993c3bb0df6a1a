// The system's spooler on Windows, through the print spooler's own functions.
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <winspool.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace platform {
namespace {

// WritePrinter takes counts of 32 bits.
constexpr std::size_t kLargestWrite = std::size_t{1} << 30;

struct PrinterClose {
    void operator()(HANDLE printer) const { ClosePrinter(printer); }
};
// A printer's handle from OpenPrinterA, closed when it goes.
using PrinterHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, PrinterClose>;

// Opens the printer of that name with no defaults, so that its own settings apply; an empty
// handle when the spooler knows no such printer.
PrinterHandle openNamed(const std::string& name) {
    HANDLE printer = nullptr;
    if (!OpenPrinterA(const_cast<char*>(name.c_str()), &printer, nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_PRINTER_NAME) {
            win32::throwError(error);
        }
        return nullptr;
    }
    return PrinterHandle(printer);
}

// Runs a spooler query that fills a buffer of the size it asks for, until the buffer is large
// enough: the answer may grow between asking for its size and reading it. False when the query
// fails otherwise; GetLastError tells why, and is ERROR_SUCCESS when the query did not say.
template <typename Query> bool query(std::vector<BYTE>& buffer, const Query& fill) {
    DWORD needed = 0;
    SetLastError(ERROR_SUCCESS);
    while (!fill(buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) {
            return false;
        }
        buffer.resize(needed);
        SetLastError(ERROR_SUCCESS);
    }
    return true;
}

// A status bit and what it says, in words of the program's own.
struct StatusText {
    DWORD bit;
    const char* text;
};

// The printer's states that hold its jobs back, most telling first.
constexpr StatusText kPrinterTrouble[] = {
    {PRINTER_STATUS_PAUSED, "The printer is paused."},
    {PRINTER_STATUS_OFFLINE, "The printer is offline."},
    {PRINTER_STATUS_NOT_AVAILABLE, "The printer is not available."},
    {PRINTER_STATUS_SERVER_UNKNOWN, "The printer's server is unknown."},
    {PRINTER_STATUS_DOOR_OPEN, "The printer's door is open."},
    {PRINTER_STATUS_PAPER_JAM, "Paper is jammed in the printer."},
    {PRINTER_STATUS_PAPER_OUT, "The printer is out of paper."},
    {PRINTER_STATUS_PAPER_PROBLEM, "The printer has a paper problem."},
    {PRINTER_STATUS_MANUAL_FEED, "The printer waits for paper to be fed by hand."},
    {PRINTER_STATUS_NO_TONER, "The printer is out of toner."},
    {PRINTER_STATUS_OUTPUT_BIN_FULL, "The printer's output bin is full."},
    {PRINTER_STATUS_PAGE_PUNT, "The printer cannot print the current page."},
    {PRINTER_STATUS_OUT_OF_MEMORY, "The printer is out of memory."},
    {PRINTER_STATUS_USER_INTERVENTION, "The printer needs the user's attention."},
    {PRINTER_STATUS_PENDING_DELETION, "The printer is being deleted."},
    {PRINTER_STATUS_ERROR, "The printer is in an error state."},
};

// A job's states that keep it from printing while it stays in the queue.
constexpr StatusText kJobTrouble[] = {
    {JOB_STATUS_OFFLINE, "The printer is offline."},
    {JOB_STATUS_PAPEROUT, "The printer is out of paper."},
    {JOB_STATUS_BLOCKED_DEVQ, "The printer's driver cannot print the job."},
    {JOB_STATUS_USER_INTERVENTION, "The printer needs the user's attention."},
    {JOB_STATUS_ERROR, "The job is in an error state."},
};

// The text of the first of the table's bits that the status holds; nullptr for none.
template <std::size_t Count> const char* troubleIn(DWORD status, const StatusText (&table)[Count]) {
    const auto found =
        std::find_if(std::begin(table), std::end(table),
                     [&](const StatusText& entry) { return (status & entry.bit) != 0; });
    return found != std::end(table) ? found->text : nullptr;
}

// How one job of the open printer stands; a job in trouble makes the printer troubled.
SpoolJobReport askAboutJob(HANDLE printer, SpoolJobId id, std::vector<BYTE>& buffer,
                           PrinterReport& report) {
    if (!query(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
            return GetJobA(printer, id, 1, data, size, needed);
        })) {
        // The spooler removes a job from the queue once it has printed (unless the printer keeps
        // printed documents), and then knows its id no more. Wine, which hands each job on to
        // its print system at the document's end, fails for the id without saying why.
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_SUCCESS) {
            return {SpoolJobState::Completed, {}};
        }
        win32::throwError(error);
    }
    const auto* job = reinterpret_cast<const JOB_INFO_1A*>(buffer.data());
    const std::string status = job->pStatus != nullptr ? job->pStatus : "";
    if ((job->Status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) != 0) {
        return {SpoolJobState::Completed, {}};
    }
    const char* const trouble = troubleIn(job->Status, kJobTrouble);
    if ((job->Status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) != 0) {
        std::string reason = !status.empty() ? status : report.message;
        if (reason.empty()) {
            reason = trouble != nullptr ? trouble : "The job was deleted.";
        }
        return {SpoolJobState::Failed, reason};
    }
    if (trouble != nullptr) {
        report.troubled = true;
        if (report.message.empty()) {
            report.message = !status.empty() ? status : trouble;
        }
    }
    return {SpoolJobState::Waiting, {}};
}

class WindowsPrinter final : public Spooler::Printer {
public:
    explicit WindowsPrinter(PrinterHandle printer) : printer_(std::move(printer)) {}

    // A document that never ended is deleted first, so that no part of it prints.
    ~WindowsPrinter() override {
        if (documentOpen_) {
            AbortPrinter(printer_.get());
        }
    }

    WindowsPrinter(const WindowsPrinter&) = delete;
    WindowsPrinter& operator=(const WindowsPrinter&) = delete;

    void startDocument(const std::string& title, const std::string& datatype) override {
        DOC_INFO_1A document{const_cast<char*>(title.c_str()), nullptr,
                             const_cast<char*>(datatype.c_str())};
        jobId_ = StartDocPrinterA(printer_.get(), 1, reinterpret_cast<BYTE*>(&document));
        if (jobId_ == 0) {
            win32::throwLastError();
        }
        documentOpen_ = true;
    }

    void startPage() override {
        if (!StartPagePrinter(printer_.get())) {
            win32::throwLastError();
        }
    }

    // A call that takes fewer bytes than given fails: the rest would be missing from the print.
    void write(const std::uint8_t* data, std::size_t count) override {
        while (count > 0) {
            const auto piece = static_cast<DWORD>(std::min(count, kLargestWrite));
            DWORD written = 0;
            if (!WritePrinter(printer_.get(), const_cast<std::uint8_t*>(data), piece, &written)) {
                win32::throwLastError();
            }
            if (written != piece) {
                win32::throwError(ERROR_WRITE_FAULT);
            }
            data += piece;
            count -= piece;
        }
    }

    void endPage() override {
        if (!EndPagePrinter(printer_.get())) {
            win32::throwLastError();
        }
    }

    std::optional<SpoolJobId> endDocument() override {
        if (!EndDocPrinter(printer_.get())) {
            win32::throwLastError();
        }
        documentOpen_ = false;
        return jobId_;
    }

private:
    PrinterHandle printer_;
    bool documentOpen_ = false;
    DWORD jobId_ = 0; // the spool job of the last document started
};

class WindowsSpooler final : public Spooler {
public:
    std::unique_ptr<Printer> openPrinter(const std::string& name) override {
        // An empty name would open the print server itself; it names no printer here.
        if (name.empty()) {
            return nullptr;
        }
        PrinterHandle printer = openNamed(name);
        if (!printer) {
            return nullptr;
        }
        return std::make_unique<WindowsPrinter>(std::move(printer));
    }

    // The printer's status, and "Use Printer Offline", which holds its jobs back too; the words
    // of the first trouble found. A printer that is gone is troubled, and its jobs unknown.
    PrinterReport askPrinter(const std::string& name,
                             const std::vector<SpoolJobId>& jobs) override {
        PrinterReport report;
        const PrinterHandle printer = name.empty() ? nullptr : openNamed(name);
        if (!printer) {
            report.troubled = true;
            report.message = win32::systemText(ERROR_INVALID_PRINTER_NAME);
            report.jobs.resize(jobs.size());
            return report;
        }
        std::vector<BYTE> buffer;
        if (!query(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
                return GetPrinterA(printer.get(), 2, data, size, needed);
            })) {
            win32::throwLastError();
        }
        const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
        const char* trouble = troubleIn(info->Status, kPrinterTrouble);
        if (trouble == nullptr && (info->Attributes & PRINTER_ATTRIBUTE_WORK_OFFLINE) != 0) {
            trouble = "The printer is used offline.";
        }
        report.troubled = trouble != nullptr;
        report.message = trouble != nullptr ? trouble : "";
        report.jobs.reserve(jobs.size());
        for (const SpoolJobId job : jobs) {
            report.jobs.push_back(askAboutJob(printer.get(), job, buffer, report));
        }
        return report;
    }

    // The local printers and the connections to shared ones, by their device names.
    std::vector<std::string> printerNames() override {
        constexpr DWORD kWhich = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
        std::vector<BYTE> buffer;
        DWORD count = 0;
        if (!query(buffer, [&](BYTE* data, DWORD size, DWORD* needed) {
                return EnumPrintersA(kWhich, nullptr, 4, data, size, needed, &count);
            })) {
            win32::throwLastError();
        }
        const auto* printers = reinterpret_cast<const PRINTER_INFO_4A*>(buffer.data());
        std::vector<std::string> names;
        names.reserve(count);
        for (DWORD i = 0; i < count; ++i) {
            names.emplace_back(printers[i].pPrinterName);
        }
        return names;
    }
};

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler() {
    return std::make_unique<WindowsSpooler>();
}

} // namespace platform
