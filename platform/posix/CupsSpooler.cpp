// The system's spooler on Linux: CUPS. Each open printer has its own scheduler connection:
// a restart costs only the sections sent meanwhile, and a half-sent document is abandoned by
// dropping it. Every wait is bounded; after one times out, no printer opens until the next job.
#include "platform/Failure.h"
#include "platform/Spooler.h"

#include <cups/cups.h>

#include <cerrno>
#include <memory>
#include <string>

namespace platform {
namespace {

// Per connect, request or part of a document; a scheduler answers in milliseconds if at all.
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

    // A connection whose waits are all bounded, or nullptr. A connect that times out makes the
    // scheduler silent.
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

    // Whether a wait on the scheduler has timed out during this job.
    bool silent() const { return silent_; }

private:
    // The timed-out wait fails, and the scheduler is silent until the next job.
    static int onTimeout(http_t*, void* spooler) {
        static_cast<CupsSpooler*>(spooler)->silent_ = true;
        return 0;
    }

    // Throws Failure when there is no connection.
    Connection connect() {
        Connection http = tryConnect();
        if (!http) {
            throw Failure(std::string("Unable to connect to the CUPS scheduler at ") +
                          cupsServer());
        }
        return http;
    }

    // Asked before a lookup by name: a lookup without an answer goes on to search the network
    // over libcups's own connection, whose waits are unbounded.
    bool answers(http_t* http) {
        ippDelete(cupsDoRequest(http, ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
        return !silent_;
    }

    bool silent_ = false;
};

// A destination with the connection that serves it, closed with it.
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

    // The job is created with the first data: a document without data never reaches the printer.
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

    // Cancels the unfinished job. Dropping the connection first abandons a half-sent document
    // instead of completing it; a silent scheduler is not asked.
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

// An empty name would make CUPS pick the default printer. An unreachable or silent scheduler
// opens no printer, as an unknown name does.
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
