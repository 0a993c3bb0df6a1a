// The system's spooler on Linux: CUPS. Each open printer has its own scheduler connection:
// a restart costs only the sections sent meanwhile, and a half-sent document is abandoned by
// dropping it. Every call on a connection is bounded: an answer must come whole within 5
// seconds (the connection's watchdog cuts it), and a write of an upload that makes no progress
// for 5 seconds fails (libcups's timeout, which only sees inactivity). Once a call has been cut
// at its bound, no printer opens until the next job. A stop request cuts every wait short, and
// the call throws Interrupted. A printer's jobs are followed over one more connection, kept by
// the spooler between asks.
#include "platform/Failure.h"
#include "platform/Signals.h"
#include "platform/Spooler.h"
#include "platform/posix/ConnectionWatchdog.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

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
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

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

// Text of an attribute of the answer, empty when it has none.
std::string text(ipp_t* response, const char* name) {
    const char* value = ippGetString(ippFindAttribute(response, name, IPP_TAG_ZERO), 0, nullptr);
    return value != nullptr ? value : "";
}

// Whether a printer-state-reasons keyword tells of a problem that holds the jobs back. Warnings
// and reports do not, but for offline-report, with which CUPS's backends say that the printer
// does not answer while they try again; nor do the reasons of a printer at work.
bool holdsJobsBack(std::string_view reason) {
    if (reason == "none" || reason == "connecting-to-device" ||
        reason == "cups-waiting-for-job-completed") {
        return false;
    }
    if (reason.ends_with("-report")) {
        return reason == "offline-report";
    }
    return !reason.ends_with("-warning");
}

Failure unreachable() {
    return Failure(std::string("Unable to connect to the CUPS scheduler at ") + cupsServer());
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

    PrinterReport askPrinter(const std::string& name, const std::vector<SpoolJobId>& jobs) override;

    std::vector<std::string> printerNames() override {
        bool timedOut = false;
        const std::unique_ptr<Connection> connection = Connection::open(timedOut);
        if (!connection) {
            throw unreachable();
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

    Ipp ask(Ipp request);
    void askAboutPrinter(const std::string& uri, PrinterReport& report);
    std::vector<SpoolJobId> unfinishedJobs(const std::string& uri);
    SpoolJobReport askAboutJob(const std::string& uri, SpoolJobId job,
                               const std::string& printerMessage);

    bool silent_ = false;
    // The connection that askPrinter asks over, made at its first call and dropped when a call
    // on it fails; no job's silence applies to it.
    std::unique_ptr<Connection> asking_;
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
        return static_cast<SpoolJobId>(std::exchange(jobId_, 0));
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

// One printer's standing costs two requests whatever the number of jobs (its state, and its
// unfinished jobs' ids), plus one per asked job that has ended since. Any failure drops the
// asking connection, and the next ask connects anew.
PrinterReport CupsSpooler::askPrinter(const std::string& name,
                                      const std::vector<SpoolJobId>& jobs) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", name.substr(0, name.find('/')).c_str());
    PrinterReport report;
    try {
        askAboutPrinter(uri, report);
        const std::vector<SpoolJobId> unfinished = unfinishedJobs(uri);
        report.jobs.reserve(jobs.size());
        for (const SpoolJobId job : jobs) {
            report.jobs.push_back(std::binary_search(unfinished.begin(), unfinished.end(), job)
                                      ? SpoolJobReport{SpoolJobState::Waiting, {}}
                                      : askAboutJob(uri, job, report.message));
        }
    } catch (const Failure&) {
        asking_.reset();
        throw;
    }
    return report;
}

// Sends the request over the asking connection within the answer's bound; the answer, whatever
// its status. Throws when there is no answer.
Ipp CupsSpooler::ask(Ipp request) {
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    if (!asking_) {
        bool timedOut = false;
        asking_ = Connection::open(timedOut);
        if (!asking_) {
            throw timedOut ? cutShort(Bound::Answer) : unreachable();
        }
    }
    Ipp response;
    if (!asking_->run(Bound::Answer, [&] {
            response.reset(cupsDoRequest(asking_->get(), request.release(), "/"));
        })) {
        throw cutShort(Bound::Answer);
    }
    if (!response) {
        throw Failure(cupsLastErrorString());
    }
    return response;
}

// A printer that the scheduler does not know (any more) is troubled, in the scheduler's words.
void CupsSpooler::askAboutPrinter(const std::string& uri, PrinterReport& report) {
    static const char* const kAttributes[] = {"printer-state", "printer-state-reasons",
                                              "printer-state-message", "printer-is-accepting-jobs"};
    Ipp request(ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 uri.c_str());
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(kAttributes)), nullptr, kAttributes);
    const Ipp response = ask(std::move(request));
    const ipp_status_t status = ippGetStatusCode(response.get());
    if (status == IPP_STATUS_ERROR_NOT_FOUND) {
        report.troubled = true;
        report.message = cupsLastErrorString();
        return;
    }
    if (failed(status)) {
        throw Failure(cupsLastErrorString());
    }
    ipp_t* const answer = response.get();
    report.message = text(answer, "printer-state-message");
    ipp_attribute_t* const accepting =
        ippFindAttribute(answer, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    report.troubled = ippGetInteger(ippFindAttribute(answer, "printer-state", IPP_TAG_ENUM), 0) ==
                          IPP_PSTATE_STOPPED ||
                      (accepting != nullptr && !ippGetBoolean(accepting, 0));
    ipp_attribute_t* const reasons =
        ippFindAttribute(answer, "printer-state-reasons", IPP_TAG_ZERO);
    for (int i = 0; i < ippGetCount(reasons); ++i) {
        report.troubled = report.troubled || holdsJobsBack(ippGetString(reasons, i, nullptr));
    }
}

// The ids of the printer's jobs that are pending, held, printing or stopped, sorted; none for a
// printer that the scheduler does not know.
std::vector<SpoolJobId> CupsSpooler::unfinishedJobs(const std::string& uri) {
    Ipp request(ippNewRequest(IPP_OP_GET_JOBS));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 uri.c_str());
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                 "not-completed");
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "job-id");
    const Ipp response = ask(std::move(request));
    const ipp_status_t status = ippGetStatusCode(response.get());
    std::vector<SpoolJobId> ids;
    if (status == IPP_STATUS_ERROR_NOT_FOUND) {
        return ids;
    }
    if (failed(status)) {
        throw Failure(cupsLastErrorString());
    }
    for (ipp_attribute_t* attribute = ippFirstAttribute(response.get()); attribute != nullptr;
         attribute = ippNextAttribute(response.get())) {
        const char* const name = ippGetName(attribute);
        if (name != nullptr && std::string_view(name) == "job-id" &&
            ippGetValueTag(attribute) == IPP_TAG_INTEGER) {
            ids.push_back(static_cast<SpoolJobId>(ippGetInteger(attribute, 0)));
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

// How a job that has left the unfinished ones ended. A failed job's reason is the printer's
// message as the job saw it last, else the printer's message now, else the job's first reason.
// A scheduler that keeps no job history forgets a job as it ends: Unknown.
SpoolJobReport CupsSpooler::askAboutJob(const std::string& uri, SpoolJobId job,
                                        const std::string& printerMessage) {
    static const char* const kAttributes[] = {"job-state", "job-state-reasons",
                                              "job-printer-state-message"};
    Ipp request(ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES));
    ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 uri.c_str());
    ippAddInteger(request.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id",
                  static_cast<int>(job));
    ippAddStrings(request.get(), IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(kAttributes)), nullptr, kAttributes);
    const Ipp response = ask(std::move(request));
    const ipp_status_t status = ippGetStatusCode(response.get());
    if (status == IPP_STATUS_ERROR_NOT_FOUND) {
        return {SpoolJobState::Unknown, {}};
    }
    if (failed(status)) {
        throw Failure(cupsLastErrorString());
    }
    ipp_t* const answer = response.get();
    switch (ippGetInteger(ippFindAttribute(answer, "job-state", IPP_TAG_ENUM), 0)) {
    case IPP_JSTATE_COMPLETED:
        return {SpoolJobState::Completed, {}};
    case IPP_JSTATE_CANCELED:
    case IPP_JSTATE_ABORTED:
        break;
    default:
        // Not ended after all: restarted since the list was read.
        return {SpoolJobState::Waiting, {}};
    }
    std::string reason = text(answer, "job-printer-state-message");
    if (reason.empty()) {
        reason = printerMessage;
    }
    if (reason.empty()) {
        reason = text(answer, "job-state-reasons");
    }
    return {SpoolJobState::Failed, reason};
}

} // namespace

std::unique_ptr<Spooler> makeSystemSpooler() {
    return std::make_unique<CupsSpooler>();
}

} // namespace platform
