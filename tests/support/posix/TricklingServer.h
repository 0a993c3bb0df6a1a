#pragma once

#include <atomic>
#include <string>

#include <sys/types.h>

namespace testsupport {

// A print server on a Unix socket that takes every connection and answers each with one byte a
// second, an answer that never ends: every single byte comes well within any wait for activity.
// It serves from a process of its own, so that a test may fork while it runs: a fork copies no
// thread of it, nor a lock that such a thread held.
class TricklingServer {
public:
    // Listens at path; throws std::runtime_error when it cannot.
    explicit TricklingServer(const std::string& path);
    ~TricklingServer();
    TricklingServer(const TricklingServer&) = delete;
    TricklingServer& operator=(const TricklingServer&) = delete;

    // The connections taken so far.
    int connections() const { return connections_->load(); }

private:
    // Serves until the process is killed.
    [[noreturn]] void serve();

    int listener_ = -1;
    // In memory shared with the serving process.
    std::atomic<int>* connections_ = nullptr;
    pid_t server_ = -1;
};

} // namespace testsupport
