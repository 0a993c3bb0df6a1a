#include "platform/test/RecordingSpooler.h"

#include "platform/Failure.h"

#include <algorithm>

namespace platform {

class RecordingSpooler::RecordingPrinter final : public Spooler::Printer {
public:
    RecordingPrinter(RecordingSpooler& spooler, std::string name)
        : spooler_(spooler), name_(std::move(name)) {
        ++spooler_.openPrinters_;
    }
    ~RecordingPrinter() override {
        spooler_.calls.push_back("close");
        --spooler_.openPrinters_;
    }
    RecordingPrinter(const RecordingPrinter&) = delete;
    RecordingPrinter& operator=(const RecordingPrinter&) = delete;

    void startDocument(const std::string& title, const std::string& datatype) override {
        record("startDocument");
        spooler_.documents.push_back({name_, title, datatype, {}, false, std::nullopt});
    }
    void startPage() override { record("startPage"); }
    void write(const std::uint8_t* data, std::size_t count) override {
        record("write");
        auto& bytes = spooler_.documents.back().bytes;
        bytes.insert(bytes.end(), data, data + count);
    }
    void endPage() override { record("endPage"); }
    std::optional<SpoolJobId> endDocument() override {
        record("endDocument");
        Document& document = spooler_.documents.back();
        document.ended = true;
        if (spooler_.givesIds) {
            document.id = ++spooler_.lastId_;
        }
        return document.id;
    }

private:
    void record(const std::string& call) {
        spooler_.calls.push_back(call);
        if (call == spooler_.failOn) {
            if (spooler_.interrupt) {
                throw Interrupted();
            }
            throw Failure(spooler_.failMessage);
        }
    }

    RecordingSpooler& spooler_;
    std::string name_;
};

PrinterReport RecordingSpooler::askPrinter(const std::string& name,
                                           const std::vector<SpoolJobId>& jobs) {
    calls.push_back("ask " + name);
    if (unanswering.count(name) > 0) {
        throw Failure(failMessage);
    }
    PrinterReport report = printerReports[name];
    report.jobs.clear();
    for (const SpoolJobId id : jobs) {
        const auto found = jobReports.find(id);
        report.jobs.push_back(found == jobReports.end() ? SpoolJobReport{SpoolJobState::Waiting, {}}
                                                        : found->second);
    }
    return report;
}

std::unique_ptr<Spooler::Printer> RecordingSpooler::openPrinter(const std::string& name) {
    calls.push_back("open " + name);
    if (name.empty() || std::find(printers.begin(), printers.end(), name) == printers.end()) {
        return nullptr;
    }
    return std::make_unique<RecordingPrinter>(*this, name);
}

} // namespace platform
