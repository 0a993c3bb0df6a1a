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

    std::unique_ptr<Printer> openPrinter(const std::string& name) override;

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

    // Whether the scheduler has let a wait run out of time during this job.
    bool silent() const { return silent_; }

private:
    // Called by libcups when a wait on the scheduler has run out of time: the wait fails, and
    // the scheduler counts as not answering until the next job.
    static int onTimeout(http_t*, void* spooler) {
        static_cast<CupsSpooler*>(spooler)->silent_ = true;
        return 0;
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

    bool silent_ = false;
};

// A destination of the scheduler with the connection that serves it, made when it is opened
// and closed with it.
class CupsPrinter final : public Spooler::Printer {
public:
    CupsPrinter(CupsSpooler& spooler, Connection http, cups_dest_t* dest)
        : spooler_(spooler), http_(std::move(http)), dest_(dest) {}

    ~CupsPrinter() override {
        if (jobId_ != 0) {
            withdraw();
        }
        if (info_ != nullptr) {
            cupsFreeDestInfo(info_);
        }
        cupsFreeDests(1, dest_);
    }

    CupsPrinter(const CupsPrinter&) = delete;
    CupsPrinter& operator=(const CupsPrinter&) = delete;

    void startDocument(const std::string& title, const std::string& datatype) override {
        if (documentOpen_) {
            throw Failure("A document is already open on this printer");
        }
        title_ = title;
        format_ = datatype == "RAW" ? CUPS_FORMAT_RAW : datatype;
        documentOpen_ = true;
    }

    void startPage() override { requireDocument(); }

    // The job is created with the first data, so that a document ended without data never
    // reaches the printer.
    void write(const std::uint8_t* data, std::size_t count) override {
        requireDocument();
        if (count == 0) {
            return;
        }
        if (!sending_) {
            startJob();
        }
        if (cupsWriteRequestData(http_.get(), reinterpret_cast<const char*>(data), count) !=
            HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
    }

    void endPage() override { requireDocument(); }

    void endDocument() override {
        requireDocument();
        documentOpen_ = false;
        if (!sending_) {
            return;
        }
        sending_ = false;
        if (failed(cupsFinishDestDocument(http_.get(), dest_, info_))) {
            throw Failure(cupsLastErrorString());
        }
        jobId_ = 0;
    }

private:
    void requireDocument() const {
        if (!documentOpen_) {
            throw Failure("No document is open on this printer");
        }
    }

    void startJob() {
        if (info_ == nullptr) {
            info_ = cupsCopyDestInfo(http_.get(), dest_);
            if (info_ == nullptr) {
                throw Failure(cupsLastErrorString());
            }
        }
        int jobId = 0;
        if (failed(
                cupsCreateDestJob(http_.get(), dest_, info_, &jobId, title_.c_str(), 0, nullptr))) {
            throw Failure(cupsLastErrorString());
        }
        jobId_ = jobId;
        if (cupsStartDestDocument(http_.get(), dest_, info_, jobId, title_.c_str(), format_.c_str(),
                                  0, nullptr, 1) != HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
        sending_ = true;
    }

    // Cancels a job whose document never finished, so that no part of it prints. Dropping
    // the connection first abandons a half-sent document instead of completing it. A
    // scheduler that is gone, or does not answer, is not asked: the job it made has no
    // document to print.
    void withdraw() {
        http_.reset();
        sending_ = false;
        if (!spooler_.silent()) {
            if (Connection http = spooler_.tryConnect()) {
                cupsCancelDestJob(http.get(), dest_, jobId_);
            }
        }
        jobId_ = 0;
    }

    CupsSpooler& spooler_;
    Connection http_;
    cups_dest_t* dest_;
    cups_dinfo_t* info_ = nullptr;
    std::string title_;
    std::string format_;
    bool documentOpen_ = false;
    bool sending_ = false; // a document request is under way on http_
    int jobId_ = 0;        // the job made for the document, until it is finished
};

// An empty name would make CUPS pick the default printer; it names no printer here. A scheduler
// that cannot be reached, or has not answered during this job, opens no printer, just as an
// unknown name does.
std::unique_ptr<Spooler::Printer> CupsSpooler::openPrinter(const std::string& name) {
    if (name.empty() || silent_) {
        return nullptr;
    }
    Connection http = tryConnect();
    if (!http || !answers(http.get())) {
        return nullptr;
    }
    const auto slash = name.find('/');
    const std::string queue = name.substr(0, slash);
    const char* instance = nullptr;
    if (slash != std::string::npos) {
        instance = name.c_str() + slash + 1;
        if (!isInstanceDefined(http.get(), queue, instance)) {
            return nullptr;
        }
    }
    cups_dest_t* dest = cupsGetNamedDest(http.get(), queue.c_str(), instance);
    if (dest == nullptr) {
        return nullptr;
    }
    return std::make_unique<CupsPrinter>(*this, std::move(http), dest);
}

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler() {
    return std::make_unique<CupsSpooler>();
}

} // namespace platform
