// The system's spooler on Linux: CUPS, through its destination API.
#include "platform/Failure.h"
#include "platform/Spooler.h"

#include <cups/cups.h>

#include <map>
#include <string_view>

namespace platform {
namespace {

class CupsSpooler final : public Spooler {
public:
    Handle openPrinter(const std::string& name) override {
        // An empty name would make CUPS pick the default printer; it names no printer here.
        if (name.empty()) {
            return 0;
        }
        auto [queue, instance] = splitInstance(name);
        cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(),
                                             instance.empty() ? nullptr : instance.c_str());
        if (dest == nullptr) {
            return 0;
        }
        const Handle handle = ++lastHandle_;
        printers_[handle].dest = dest;
        return handle;
    }

    void startDocument(Handle printer, const std::string& title,
                       const std::string& datatype) override {
        Printer& p = find(printer);
        p.title = title;
        p.format = datatype == "RAW" ? CUPS_FORMAT_RAW : datatype;
        p.documentOpen = true;
    }

    void startPage(Handle printer) override { find(printer); }

    // The job is created with its first data, so a document that ends without data never
    // reaches the printer.
    void write(Handle printer, const std::uint8_t* data, std::size_t count) override {
        Printer& p = find(printer);
        if (!p.documentOpen) {
            throw Failure("No document is open");
        }
        if (p.jobId == 0) {
            startJob(p);
        }
        if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, reinterpret_cast<const char*>(data), count) !=
            HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
    }

    void endPage(Handle printer) override { find(printer); }

    void endDocument(Handle printer) override {
        Printer& p = find(printer);
        p.documentOpen = false;
        if (p.jobId == 0) {
            return;
        }
        const ipp_status_t status = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, p.dest, p.info);
        p.jobId = 0;
        if (status > IPP_STATUS_OK_CONFLICTING) {
            throw Failure(cupsLastErrorString());
        }
    }

    void closePrinter(Handle printer) override {
        auto it = printers_.find(printer);
        if (it == printers_.end()) {
            return;
        }
        Printer& p = it->second;
        if (p.jobId != 0) {
            // A job whose document never finished is withdrawn rather than left half-sent.
            cupsFinishDestDocument(CUPS_HTTP_DEFAULT, p.dest, p.info);
            cupsCancelDestJob(CUPS_HTTP_DEFAULT, p.dest, p.jobId);
        }
        if (p.info != nullptr) {
            cupsFreeDestInfo(p.info);
        }
        cupsFreeDests(1, p.dest);
        printers_.erase(it);
    }

    std::vector<std::string> printerNames() override {
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        std::vector<std::string> names;
        names.reserve(count > 0 ? count : 0);
        for (int i = 0; i < count; ++i) {
            std::string name = dests[i].name;
            if (dests[i].instance != nullptr) {
                name += '/';
                name += dests[i].instance;
            }
            names.push_back(std::move(name));
        }
        cupsFreeDests(count, dests);
        return names;
    }

private:
    struct Printer {
        cups_dest_t* dest = nullptr;
        cups_dinfo_t* info = nullptr;
        std::string title;
        std::string format;
        bool documentOpen = false;
        int jobId = 0;
    };

    static std::pair<std::string, std::string> splitInstance(const std::string& name) {
        const auto slash = name.find('/');
        if (slash == std::string::npos) {
            return {name, {}};
        }
        return {name.substr(0, slash), name.substr(slash + 1)};
    }

    Printer& find(Handle printer) {
        auto it = printers_.find(printer);
        if (it == printers_.end()) {
            throw Failure("Invalid printer handle");
        }
        return it->second;
    }

    static void startJob(Printer& p) {
        if (p.info == nullptr) {
            p.info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, p.dest);
            if (p.info == nullptr) {
                throw Failure(cupsLastErrorString());
            }
        }
        int jobId = 0;
        if (cupsCreateDestJob(CUPS_HTTP_DEFAULT, p.dest, p.info, &jobId, p.title.c_str(), 0,
                              nullptr) > IPP_STATUS_OK_CONFLICTING) {
            throw Failure(cupsLastErrorString());
        }
        p.jobId = jobId;
        if (cupsStartDestDocument(CUPS_HTTP_DEFAULT, p.dest, p.info, jobId, p.title.c_str(),
                                  p.format.c_str(), 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
    }

    std::map<Handle, Printer> printers_;
    Handle lastHandle_ = 0;
};

} // namespace

Spooler& systemSpooler() {
    static CupsSpooler cups;
    return cups;
}

} // namespace platform
