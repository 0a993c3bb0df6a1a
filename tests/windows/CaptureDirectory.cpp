#include "tests/windows/CaptureDirectory.h"

#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace wintest {

std::vector<CapturedJob> capturedJobs(const std::string& queue) {
    const char* capture = std::getenv("TARVO_CUPS_CAPTURE");
    if (capture == nullptr) {
        return {};
    }
    const std::string folder = fromUnixPath(std::string(capture) + "/" + queue) + "\\";
    std::vector<std::string> jobs;
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "*.data").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            jobs.emplace_back(entry.cFileName);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    std::sort(jobs.begin(), jobs.end());
    std::vector<CapturedJob> captured;
    for (const std::string& data : jobs) {
        const std::string stem = folder + data.substr(0, data.size() - 5);
        captured.push_back(
            {testsupport::readFile(stem + ".title"), testsupport::readFile(stem + ".data")});
    }
    return captured;
}

std::vector<CapturedJob> waitForJobs(const std::string& queue, std::size_t count) {
    waitUntil([&] { return capturedJobs(queue).size() >= count; });
    return capturedJobs(queue);
}

} // namespace wintest
