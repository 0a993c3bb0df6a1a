#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace testsupport {

// A print server on a Unix socket that takes every connection and answers each with one byte a
// second, an answer that never ends: every single byte comes well within any wait for activity.
class TricklingServer {
public:
    // Listens at path; throws std::runtime_error when it cannot.
    explicit TricklingServer(const std::string& path);
    ~TricklingServer();
    TricklingServer(const TricklingServer&) = delete;
    TricklingServer& operator=(const TricklingServer&) = delete;

    // The connections taken so far.
    int connections() const { return connections_; }

private:
    void run();

    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

} // namespace testsupport
