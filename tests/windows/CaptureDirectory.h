#pragma once

#include <string>
#include <vector>

// What the tests' CUPS scheduler printed: its capture backend files each job of a queue as
// <job id>.title and .data in the queue's folder of the directory TARVO_CUPS_CAPTURE. (The
// format that it files too is not the spooler's: wine lets CUPS find out the document's type,
// on a raw queue that passes the bytes on unchanged.)
namespace wintest {

struct CapturedJob {
    std::string title;
    std::string bytes;
};

// The jobs that the queue has received, in job order.
std::vector<CapturedJob> capturedJobs(const std::string& queue);

// Waits until the queue has received at least count jobs, or 20 seconds have passed.
std::vector<CapturedJob> waitForJobs(const std::string& queue, std::size_t count);

} // namespace wintest
