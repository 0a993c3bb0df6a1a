#pragma once

#include <memory>
#include <string>

namespace platform {

// The lock that marks a running Tarvo of this user, whichever copy of the program it is. It is
// held as long as the object that claimed it lives, and released by the operating system when
// the process ends, however it ends.
class InstanceLock {
public:
    // Claims the lock. On POSIX it lies in the home directory that the password database names
    // (homeDirectory), so its place depends on no environment variable, and only this user can
    // create, hold or remove it; on Windows it is an object of the user's session. Throws
    // Failure when no such place can be had.
    static InstanceLock claim(const std::string& homeDirectory);

    InstanceLock(InstanceLock&&) noexcept;
    InstanceLock& operator=(InstanceLock&&) noexcept;
    ~InstanceLock();

    // Whether this object holds the lock.
    bool held() const { return held_ != nullptr; }
    // When another process holds it: the process id that it stored, 0 where unknown.
    long runningProcess() const { return runningProcess_; }

private:
    struct Held;
    InstanceLock(std::unique_ptr<Held> held, long runningProcess);

    std::unique_ptr<Held> held_;
    long runningProcess_ = 0;
};

} // namespace platform
