#pragma once

#include "platform/Spooler.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

// A test spooler: knows the printers given, records documents and calls, fails on request.
class RecordingSpooler final : public Spooler {
public:
    struct Document {
        std::string printer;
        std::string title;
        std::string datatype;
        std::vector<std::uint8_t> bytes;
        bool ended = false;
        // The spool job's id that its end gave, when givesIds.
        std::optional<SpoolJobId> id;
    };

    // The printers that open, in the order printerNames() lists them.
    std::vector<std::string> printers;
    // Every document started, in order.
    std::vector<Document> documents;
    // Every call, in order: "beginJob", "open <name>", "startDocument", "startPage", "write",
    // "endPage", "endDocument", "close", "ask <name>".
    std::vector<std::string> calls;
    // The name of an operation as in calls (without arguments) that throws failMessage, or
    // Interrupted when interrupt is set, as a wait that a stop request cut short.
    std::string failOn;
    std::string failMessage = "The spooler failed";
    bool interrupt = false;

    // Whether a document's end gives its spool job an id: 1, 2, ... in order.
    bool givesIds = false;
    // What askPrinter answers: each printer's report (jobs left out), each job's report by id
    // (Waiting when not given), and the printers whose question throws failMessage.
    std::map<std::string, PrinterReport> printerReports;
    std::map<SpoolJobId, SpoolJobReport> jobReports;
    std::set<std::string> unanswering;

    // Printers opened and not yet closed.
    int openPrinters() const { return openPrinters_; }

    void beginJob() override { calls.push_back("beginJob"); }
    std::unique_ptr<Printer> openPrinter(const std::string& name) override;
    PrinterReport askPrinter(const std::string& name, const std::vector<SpoolJobId>& jobs) override;
    std::vector<std::string> printerNames() override { return printers; }

private:
    class RecordingPrinter;

    int openPrinters_ = 0;
    SpoolJobId lastId_ = 0;
};

} // namespace platform
