#include "platform/test/RecordingSpooler.h"

#include "platform/Failure.h"

#include <algorithm>

namespace platform {

void RecordingSpooler::record(const std::string& call, Handle printer) {
    calls.push_back(call);
    if (open_.count(printer) == 0) {
        throw Failure("Invalid printer handle");
    }
    if (call == failOn) {
        throw Failure(failMessage);
    }
}

Spooler::Handle RecordingSpooler::openPrinter(const std::string& name) {
    calls.push_back("open " + name);
    if (name.empty() || std::find(printers.begin(), printers.end(), name) == printers.end()) {
        return 0;
    }
    open_[++lastHandle_] = name;
    return lastHandle_;
}

void RecordingSpooler::startDocument(Handle printer, const std::string& title,
                                     const std::string& datatype) {
    record("startDocument", printer);
    documents.push_back({open_[printer], title, datatype, {}, false});
}

void RecordingSpooler::startPage(Handle printer) {
    record("startPage", printer);
}

void RecordingSpooler::write(Handle printer, const std::uint8_t* data, std::size_t count) {
    record("write", printer);
    documents.back().bytes.insert(documents.back().bytes.end(), data, data + count);
}

void RecordingSpooler::endPage(Handle printer) {
    record("endPage", printer);
}

void RecordingSpooler::endDocument(Handle printer) {
    record("endDocument", printer);
    documents.back().ended = true;
}

void RecordingSpooler::closePrinter(Handle printer) {
    calls.push_back("close");
    open_.erase(printer);
}

} // namespace platform
