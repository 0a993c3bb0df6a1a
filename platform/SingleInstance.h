#pragma once

#include <memory>
#include <string>

namespace platform {

// The lock that marks this user's running Tarvo, whichever copy of the program. Held while the
// claiming object lives; the system releases it when the process ends, however it ends.
class InstanceLock {
public:
    // On POSIX the lock lies in homeDirectory (from the password database, not the environment),
    // where only this user can create, hold or remove it; on Windows it is an object of the
    // user's session. Throws Failure when no such place can be had.
    static InstanceLock claim(const std::string& homeDirectory);

    InstanceLock(InstanceLock&&) noexcept;
    InstanceLock& operator=(InstanceLock&&) noexcept;
    ~InstanceLock();

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
