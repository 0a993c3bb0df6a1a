// The system's spooler on Linux: CUPS. Each open printer has its own scheduler connection:
// a restart costs only the sections sent meanwhile, and a half-sent document is abandoned by
// dropping it. Every call on a connection is bounded: an answer must come whole within 5
// seconds (the connection's watchdog cuts it), and a write of an upload that makes no progress
// for 5 seconds fails (libcups's timeout, which only sees inactivity). Once a call has been cut
// at its bound, no printer opens until the next job. A stop request cuts every wait short, and
// the call throws Interrupted.
#include "platform/Failure.h"
#include "platform/Signals.h"
#include "platform/Spooler.h"
#include "platform/posix/ConnectionWatchdog.h"

#include <cups/cups.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>

namespace platform {
namespace {

using posix::ConnectionWatchdog;
using Bound = ConnectionWatchdog::Bound;

// For a connect, an answer, or a write without progress; a scheduler answers in milliseconds if
// at all.
constexpr std::chrono::seconds kLimit{5};

struct HttpClose {
    void operator()(http_t* http) const { httpClose(http); }
};
struct IppDelete {
    void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};
struct DestFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct DestInfoFree {
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};
using Dest = std::unique_ptr<cups_dest_t, DestFree>;
using DestInfo = std::unique_ptr<cups_dinfo_t, DestInfoFree>;

// The destinations that cupsGetDests2 lists.
struct DestList {
    DestList() = default;
    ~DestList() { cupsFreeDests(count, dests); }
    DestList(const DestList&) = delete;
    DestList& operator=(const DestList&) = delete;

    int count = 0;
    cups_dest_t* dests = nullptr;
};

bool failed(ipp_status_t status) {
    return status >= IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// The failure of a call that its bound cut short.
Failure cutShort(Bound bound) {
    return Failure(std::string(bound == Bound::Answer ? description::kNoAnswerFromPrintServerWithin
                                                      : description::kNoProgressPrintingFor) +
                   std::to_string(kLimit.count()) + description::kSeconds);
}

// A connection to the scheduler with the watchdog that bounds its calls.
class Connection {
public:
    // Connects within the limit: nullptr when the scheduler cannot be reached, and timedOut then
    // tells whether it did not answer in time.
    static std::unique_ptr<Connection> open(bool& timedOut);

    // Closing may wait too: on an encrypted connection it says goodbye.
    ~Connection() {
        try {
            watchdog_.watch(Bound::Answer, [this] { http_.reset(); });
        } catch (const std::exception&) {
            http_.reset();
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    http_t* get() const { return http_.get(); }

    // Runs a libcups call on the connection: true when it returned by itself, false when it was
    // cut at its bound. A stop request throws Interrupted.
    template <typename Call> bool run(Bound bound, Call&& call) {
        if (stopRequested()) {
            throw Interrupted();
        }
        inactive_ = false;
        switch (watchdog_.watch(bound, std::forward<Call>(call))) {
        case ConnectionWatchdog::Outcome::Returned:
            return !inactive_;
        case ConnectionWatchdog::Outcome::Stopped:
            throw Interrupted();
        case ConnectionWatchdog::Outcome::TimedOut:
            break;
        }
        return false;
    }

private:
    Connection() : watchdog_(kLimit) {}

    // libcups's timeout: a wait without activity fails.
    static int onInactive(http_t*, void* connection) {
        static_cast<Connection*>(connection)->inactive_ = true;
        return 0;
    }

    ConnectionWatchdog watchdog_;
    std::unique_ptr<http_t, HttpClose> http_;
    bool inactive_ = false;
};

// Made without connecting, then connected under the watchdog, which cancels the connect at a
// stop request.
std::unique_ptr<Connection> Connection::open(bool& timedOut) {
    timedOut = false;
    std::unique_ptr<Connection> connection(new Connection);
    connection->http_.reset(
        httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 0, nullptr));
    http_t* const http = connection->get();
    if (http == nullptr) {
        return nullptr;
    }
    httpSetTimeout(http, std::chrono::duration<double>(kLimit).count(), &Connection::onInactive,
                   connection.get());
    const auto timeoutMs = static_cast<int>(std::chrono::milliseconds(kLimit).count());
    bool connected = false;
    if (!connection->run(Bound::Answer, [&] {
            connected = httpReconnect2(http, timeoutMs, connection->watchdog_.cancelFlag()) == 0;
        })) {
        timedOut = true;
        return nullptr;
    }
    if (!connected) {
        timedOut = httpError(http) == ETIMEDOUT;
        return nullptr;
    }
    connection->watchdog_.follow(httpGetFd(http));
    return connection;
}

// Whether "queue/instance" is one of the destinations CUPS lists. cupsGetNamedDest alone
// accepts any instance of a known queue, so a mistyped instance would print on the queue.
bool isInstanceDefined(http_t* http, const std::string& queue, const char* instance) {
    DestList list;
    list.count = cupsGetDests2(http, &list.dests);
    return *instance != '\0' &&
           cupsGetDest(queue.c_str(), instance, list.count, list.dests) != nullptr;
}

class CupsSpooler final : public Spooler {
public:
    void beginJob() override { silent_ = false; }

    std::unique_ptr<Printer> openPrinter(const std::string& name) override;

    std::vector<std::string> printerNames() override {
        bool timedOut = false;
        const std::unique_ptr<Connection> connection = Connection::open(timedOut);
        if (!connection) {
            throw Failure(std::string("Unable to connect to the CUPS scheduler at ") +
                          cupsServer());
        }
        DestList list;
        if (!connection->run(Bound::Answer,
                             [&] { list.count = cupsGetDests2(connection->get(), &list.dests); })) {
            throw cutShort(Bound::Answer);
        }
        // No printers at all is reported as "not found"; anything else is a real failure.
        if (list.count == 0 && failed(cupsLastError()) &&
            cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
            throw Failure(cupsLastErrorString());
        }
        std::vector<std::string> names;
        names.reserve(static_cast<std::size_t>(list.count));
        for (int i = 0; i < list.count; ++i) {
            std::string name = list.dests[i].name;
            if (list.dests[i].instance != nullptr) {
                name += '/';
                name += list.dests[i].instance;
            }
            names.push_back(std::move(name));
        }
        return names;
    }

    // A connection for a job, or nullptr: the scheduler cannot be reached, or is silent. A
    // connect that timed out makes it silent.
    std::unique_ptr<Connection> tryConnect() {
        if (silent_) {
            return nullptr;
        }
        bool timedOut = false;
        std::unique_ptr<Connection> connection = Connection::open(timedOut);
        silent_ = timedOut;
        return connection;
    }

    // Runs a call of a job's on the connection: true when it returned by itself. A silent
    // scheduler is not called (false), and a call cut at its bound makes it silent.
    template <typename Call> bool bounded(Connection& connection, Bound bound, Call&& call) {
        if (silent_ || !connection.run(bound, std::forward<Call>(call))) {
            silent_ = true;
        }
        return !silent_;
    }

    // Whether a wait on the scheduler has been cut during this job.
    bool silent() const { return silent_; }

private:
    // Asked before a lookup by name: a lookup without an answer goes on to search the network
    // over libcups's own connection.
    bool answers(Connection& connection) {
        std::unique_ptr<ipp_t, IppDelete> response;
        return bounded(connection, Bound::Answer, [&] {
            response.reset(
                cupsDoRequest(connection.get(), ippNewRequest(IPP_OP_CUPS_GET_DEFAULT), "/"));
        });
    }

    bool silent_ = false;
};

// A destination with the connection that serves it, closed with it.
class CupsPrinter final : public Spooler::Printer {
public:
    CupsPrinter(CupsSpooler& spooler, std::unique_ptr<Connection> connection, Dest dest)
        : spooler_(spooler), connection_(std::move(connection)), dest_(std::move(dest)) {}

    ~CupsPrinter() override {
        if (jobId_ != 0) {
            withdraw();
        }
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
        http_status_t status = HTTP_STATUS_ERROR;
        call(Bound::Upload, [&] {
            status = cupsWriteRequestData(http(), reinterpret_cast<const char*>(data), count);
        });
        if (status != HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
    }

    void endPage() override { requireDocument(); }

    // The rest of the document goes out before the answer comes: an upload's bound.
    std::optional<SpoolJobId> endDocument() override {
        requireDocument();
        documentOpen_ = false;
        if (!sending_) {
            return std::nullopt;
        }
        sending_ = false;
        ipp_status_t status = IPP_STATUS_ERROR_INTERNAL;
        call(Bound::Upload,
             [&] { status = cupsFinishDestDocument(http(), dest_.get(), info_.get()); });
        if (failed(status)) {
            throw Failure(cupsLastErrorString());
        }
        jobId_ = 0;
        return std::nullopt;
    }

private:
    http_t* http() const { return connection_->get(); }

    void requireDocument() const {
        if (!documentOpen_) {
            throw Failure("No document is open on this printer");
        }
    }

    // Runs a libcups call on the printer's connection; throws when it was cut at its bound.
    template <typename Call> void call(Bound bound, Call&& libcupsCall) {
        if (!spooler_.bounded(*connection_, bound, std::forward<Call>(libcupsCall))) {
            throw cutShort(bound);
        }
    }

    void startJob() {
        if (!info_) {
            call(Bound::Answer, [&] { info_.reset(cupsCopyDestInfo(http(), dest_.get())); });
            if (!info_) {
                throw Failure(cupsLastErrorString());
            }
        }
        int jobId = 0;
        ipp_status_t created = IPP_STATUS_ERROR_INTERNAL;
        call(Bound::Answer, [&] {
            created = cupsCreateDestJob(http(), dest_.get(), info_.get(), &jobId, title_.c_str(), 0,
                                        nullptr);
        });
        if (failed(created)) {
            throw Failure(cupsLastErrorString());
        }
        jobId_ = jobId;
        http_status_t started = HTTP_STATUS_ERROR;
        call(Bound::Answer, [&] {
            started = cupsStartDestDocument(http(), dest_.get(), info_.get(), jobId, title_.c_str(),
                                            format_.c_str(), 0, nullptr, 1);
        });
        if (started != HTTP_STATUS_CONTINUE) {
            throw Failure(cupsLastErrorString());
        }
        sending_ = true;
    }

    // Cancels the unfinished job. Dropping the connection first abandons a half-sent document
    // instead of completing it; a silent scheduler is not asked. A stop request leaves the job
    // to the scheduler, which drops a job that never gets its document after a while.
    void withdraw() noexcept {
        connection_.reset();
        sending_ = false;
        try {
            if (std::unique_ptr<Connection> connection = spooler_.tryConnect()) {
                spooler_.bounded(*connection, Bound::Answer, [&] {
                    cupsCancelDestJob(connection->get(), dest_.get(), jobId_);
                });
            }
        } catch (const std::exception&) {
            // Stopped, or out of memory: the job stays with the scheduler.
        }
        jobId_ = 0;
    }

    CupsSpooler& spooler_;
    std::unique_ptr<Connection> connection_;
    Dest dest_;
    DestInfo info_;
    std::string title_;
    std::string format_;
    bool documentOpen_ = false;
    bool sending_ = false; // a document request is under way on the connection
    int jobId_ = 0;        // the job made for the document, until it is finished
};

// An empty name would make CUPS pick the default printer. An unreachable or silent scheduler
// opens no printer, as an unknown name does.
std::unique_ptr<Spooler::Printer> CupsSpooler::openPrinter(const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    std::unique_ptr<Connection> connection = tryConnect();
    if (!connection || !answers(*connection)) {
        return nullptr;
    }
    const auto slash = name.find('/');
    const std::string queue = name.substr(0, slash);
    const char* instance = nullptr;
    if (slash != std::string::npos) {
        instance = name.c_str() + slash + 1;
        bool defined = false;
        if (!bounded(*connection, Bound::Answer,
                     [&] { defined = isInstanceDefined(connection->get(), queue, instance); }) ||
            !defined) {
            return nullptr;
        }
    }
    Dest dest;
    if (!bounded(
            *connection, Bound::Answer,
            [&] { dest.reset(cupsGetNamedDest(connection->get(), queue.c_str(), instance)); }) ||
        !dest) {
        return nullptr;
    }
    return std::make_unique<CupsPrinter>(*this, std::move(connection), std::move(dest));
}

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler() {
    return std::make_unique<CupsSpooler>();
}

} // namespace platform
