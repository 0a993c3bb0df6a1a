// The system's spooler on Linux: CUPS, through its destination API.
//
// Every open printer has a connection of its own to the scheduler that libcups finds by its
// own rules (CUPS_SERVER, client.conf, the local scheduler), made when the printer is opened
// and closed with it. Nothing of a connection outlives the section it served, so a scheduler
// that stops or restarts while the program runs costs only the sections sent while it was
// away, and a half-sent document can be abandoned by dropping its connection.
//
// Every wait on the scheduler is bounded: a connection attempt, and each request or part of a
// document, may take kTimeoutMs. A scheduler that lets one run out of time is taken as not
// answering for the rest of the job: no printer is opened through it until the next job
// begins, so that a job of many sections waits for it once, not once per section.
#include "platform/Failure.h"
#include "platform/Spooler.h"

#include <cups/cups.h>

#include <cerrno>
#include <map>
#include <memory>
#include <string>

namespace platform {
namespace {

// How long the scheduler may take to accept a connection, to answer a request, or to take a
// part of a document. A scheduler answers within milliseconds when it answers at all.
constexpr int kTimeoutMs = 5000;

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
using Connection = std::unique_ptr<http_t, HttpClose>;

bool failed(ipp_status_t status) {
    return status >= IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// Whether "queue/instance" is one of the destinations CUPS lists. cupsGetNamedDest alone
// accepts any instance of a known queue, so a mistyped instance would print on the queue.
bool isInstanceDefined(http_t* http, const std::string& queue, const char* instance) {
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http, &dests);
    const bool defined =
        *instance != '\0' && cupsGetDest(queue.c_str(), instance, count, dests) != nullptr;
    cupsFreeDests(count, dests);
    return defined;
}

class CupsSpooler final : public Spooler {
public:
    void beginJob() override { silent_ = false; }

    Handle openPrinter(const std::string& name) override {
        // An empty name would make CUPS pick the default printer; it names no printer here.
        // A scheduler that cannot be reached, or has not answered during this job, opens no
        // printer, just as an unknown name does.
        if (name.empty() || silent_) {
            return 0;
        }
        Printer p;
        p.http = tryConnect();
        if (!p.http || !answers(p.http.get())) {
            return 0;
        }
        const auto slash = name.find('/');
        const std::string queue = name.substr(0, slash);
        const char* instance = nullptr;
        if (slash != std::string::npos) {
            instance = name.c_str() + slash + 1;
            if (!isInstanceDefined(p.http.get(), queue, instance)) {
                return 0;
            }
        }
        p.dest = cupsGetNamedDest(p.http.get(), queue.c_str(), instance);
        if (p.dest == nullptr) {
            return 0;
        }
        const Handle handle = ++lastHandle_;
        printers_.emplace(handle, std::move(p));
        return handle;
    }

    void startDocument(Handle printer, const std::string& title,
                       const std::string& datatype) override {
        Printer& p = find(printer);
        if (p.documentOpen) {
            throw Failure("A document is already open on this printer");
        }
        p.title = title;
        p.format = datatype == "RAW" ? CUPS_FORMAT_RAW : datatype;
        p.documentOpen = true;
    }

    void startPage(Handle printer) override { findDocument(printer); }

    // The job is created with the first data, so that a document ended without data never
    // reaches the printer.
    void write(Handle printer, const std::uint8_t* data, std::size_t count) override {
        Printer& p = findDocument(printer);
        if (count == 0) {
            return;
        }
        if (!p.sending) {
            startJob(p);
        }
        if (cupsWriteRequestData(p.http.get(), reinterpret_cast<const char*>(data), count) !=
            HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
    }

    void endPage(Handle printer) override { findDocument(printer); }

    void endDocument(Handle printer) override {
        Printer& p = findDocument(printer);
        p.documentOpen = false;
        if (!p.sending) {
            return;
        }
        p.sending = false;
        if (failed(cupsFinishDestDocument(p.http.get(), p.dest, p.info))) {
            throw Failure(cupsLastErrorString());
        }
        p.jobId = 0;
    }

    void closePrinter(Handle printer) override {
        auto it = printers_.find(printer);
        if (it == printers_.end()) {
            return;
        }
        Printer& p = it->second;
        if (p.jobId != 0) {
            withdraw(p);
        }
        if (p.info != nullptr) {
            cupsFreeDestInfo(p.info);
        }
        cupsFreeDests(1, p.dest);
        printers_.erase(it);
    }

    std::vector<std::string> printerNames() override {
        Connection http = connect();
        cups_dest_t* dests = nullptr;
        const int count = cupsGetDests2(http.get(), &dests);
        // No printers at all is reported as "not found"; anything else is a real failure.
        if (count == 0 && failed(cupsLastError()) &&
            cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
            throw Failure(cupsLastErrorString());
        }
        std::vector<std::string> names;
        names.reserve(static_cast<std::size_t>(count));
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
    // Called by libcups when a wait on the scheduler has run out of time: the wait fails, and
    // the scheduler counts as not answering until the next job.
    static int onTimeout(http_t*, void* spooler) {
        static_cast<CupsSpooler*>(spooler)->silent_ = true;
        return 0;
    }

    // A connection to the scheduler whose waits are all bounded, or nullptr when it cannot be
    // had. An attempt that runs out of time makes the scheduler count as not answering.
    Connection tryConnect() {
        // Made without connecting, so that the bounds are in place before the first wait.
        Connection http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                     1, 0, nullptr));
        if (!http) {
            return nullptr;
        }
        httpSetTimeout(http.get(), kTimeoutMs / 1000.0, &CupsSpooler::onTimeout, this);
        if (httpReconnect2(http.get(), kTimeoutMs, nullptr) != 0) {
            if (httpError(http.get()) == ETIMEDOUT) {
                silent_ = true;
            }
            return nullptr;
        }
        return http;
    }

    // A connection to the scheduler, or a Failure saying why there is none.
    Connection connect() {
        Connection http = tryConnect();
        if (!http) {
            throw Failure(std::string("Unable to connect to the CUPS scheduler at ") +
                          cupsServer());
        }
        return http;
    }

    // Whether the scheduler answers a request at all, whatever it answers. Asked before a
    // printer is looked up by name: a lookup that gets no answer goes on to search the network
    // over a connection of libcups's own, whose waits are not bounded.
    bool answers(http_t* http) {
        ippDelete(cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
        return !silent_;
    }

    struct Printer {
        Connection http;
        cups_dest_t* dest = nullptr;
        cups_dinfo_t* info = nullptr;
        std::string title;
        std::string format;
        bool documentOpen = false;
        bool sending = false; // a document request is under way on http
        int jobId = 0;        // the job made for the document, until it is finished
    };

    Printer& find(Handle printer) {
        auto it = printers_.find(printer);
        if (it == printers_.end()) {
            throw Failure("Invalid printer handle");
        }
        return it->second;
    }

    Printer& findDocument(Handle printer) {
        Printer& p = find(printer);
        if (!p.documentOpen) {
            throw Failure("No document is open on this printer");
        }
        return p;
    }

    static void startJob(Printer& p) {
        if (p.info == nullptr) {
            p.info = cupsCopyDestInfo(p.http.get(), p.dest);
            if (p.info == nullptr) {
                throw Failure(cupsLastErrorString());
            }
        }
        int jobId = 0;
        if (failed(cupsCreateDestJob(p.http.get(), p.dest, p.info, &jobId, p.title.c_str(), 0,
                                     nullptr))) {
            throw Failure(cupsLastErrorString());
        }
        p.jobId = jobId;
        if (cupsStartDestDocument(p.http.get(), p.dest, p.info, jobId, p.title.c_str(),
                                  p.format.c_str(), 0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
        p.sending = true;
    }

    // Cancels a job whose document never finished, so that no part of it prints. Dropping
    // the connection first abandons a half-sent document instead of completing it. A
    // scheduler that is gone, or does not answer, is not asked: the job it made has no
    // document to print.
    void withdraw(Printer& p) {
        p.http.reset();
        p.sending = false;
        if (!silent_) {
            if (Connection http = tryConnect()) {
                cupsCancelDestJob(http.get(), p.dest, p.jobId);
            }
        }
        p.jobId = 0;
    }

    std::map<Handle, Printer> printers_;
    Handle lastHandle_ = 0;
    // The scheduler has let a wait run out of time during this job.
    bool silent_ = false;
};

} // namespace

Spooler& systemSpooler() {
    static CupsSpooler cups;
    return cups;
}

} // namespace platform
