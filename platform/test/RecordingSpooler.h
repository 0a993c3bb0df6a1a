#pragma once

#include "platform/Spooler.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform {

// A spooler for tests: knows the printers it is given, records every document and every call,
// and fails a chosen operation on request.
class RecordingSpooler final : public Spooler {
public:
    struct Document {
        std::string printer;
        std::string title;
        std::string datatype;
        std::vector<std::uint8_t> bytes;
        bool ended = false;
    };

    // The printers that open, in the order printerNames() lists them.
    std::vector<std::string> printers;
    // Every document started, in order.
    std::vector<Document> documents;
    // Every call, in order: "beginJob", "open <name>", "startDocument", "startPage", "write",
    // "endPage", "endDocument", "close".
    std::vector<std::string> calls;
    // The name of an operation as in calls (without arguments) that throws failMessage.
    std::string failOn;
    std::string failMessage = "The spooler failed";

    // Printers opened and not yet closed.
    int openPrinters() const { return static_cast<int>(open_.size()); }

    void beginJob() override { calls.push_back("beginJob"); }
    Handle openPrinter(const std::string& name) override;
    void startDocument(Handle printer, const std::string& title,
                       const std::string& datatype) override;
    void startPage(Handle printer) override;
    void write(Handle printer, const std::uint8_t* data, std::size_t count) override;
    void endPage(Handle printer) override;
    void endDocument(Handle printer) override;
    void closePrinter(Handle printer) override;
    std::vector<std::string> printerNames() override { return printers; }

private:
    void record(const std::string& call, Handle printer);

    std::map<Handle, std::string> open_;
    Handle lastHandle_ = 0;
};

} // namespace platform
