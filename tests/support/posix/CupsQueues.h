#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// Raw queues on the tests' own CUPS scheduler, whose device files every job it prints. The
// scheduler is the one that CUPS_SERVER names; the jobs land under TARVO_CUPS_CAPTURE. Tests
// run in parallel against one scheduler, so each uses queue names of its own.
namespace cupstest {

// One printed job as the device received it.
struct CapturedJob {
    std::string title;
    std::string format; // the document format, "application/vnd.cups-raw" for a raw job
    std::string bytes;
};

// Adds (or replaces) an enabled raw queue NAME whose device captures its jobs; throws
// std::runtime_error when lpadmin fails. Names are letters, digits, "_" and "-".
void addQueue(const std::string& name);

// Adds (or replaces) an enabled raw queue NAME whose device fails every job as a printer that is
// not connected, and whose jobs are aborted when they fail; throws std::runtime_error when
// lpadmin fails.
void addFailingQueue(const std::string& name);

// Stops the queue with that reason as its state message (cupsdisable), or starts it again
// (cupsenable); throws std::runtime_error on failure.
void disableQueue(const std::string& name, const std::string& reason);
void enableQueue(const std::string& name);

// Makes the queue the scheduler's default printer; throws std::runtime_error on failure.
void setDefaultQueue(const std::string& name);

// Removes the queue; its captured jobs stay. Never throws.
void removeQueue(const std::string& name);

// The jobs the queue's device has received, in job order.
std::vector<CapturedJob> capturedJobs(const std::string& queue);

// How many jobs of the queue the scheduler still holds (pending, held or printing).
std::size_t unfinishedJobs(const std::string& queue);

// Waits until the queue's device has received at least COUNT jobs or TIMEOUT has passed, and
// returns what it has received by then.
std::vector<CapturedJob> waitForJobs(const std::string& queue, std::size_t count,
                                     std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A capture queue for the life of the object; any jobs captured under its name earlier are
// discarded when it is made.
class CaptureQueue {
public:
    explicit CaptureQueue(std::string name);
    ~CaptureQueue();
    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    const std::string& name() const { return name_; }
    std::vector<CapturedJob> jobs() const { return capturedJobs(name_); }
    std::vector<CapturedJob> waitForJobs(std::size_t count) const {
        return cupstest::waitForJobs(name_, count);
    }

private:
    std::string name_;
};

} // namespace cupstest
