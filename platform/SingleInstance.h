#pragma once

namespace platform {

// The outcome of claiming the single-instance lock.
struct InstanceClaim {
    // True when this process holds the lock.
    bool claimed = false;
    // When another process holds it: the process id that it stored there, 0 where unknown.
    long runningProcess = 0;
};

// Claims the lock that marks a running Tarvo of this user, whichever copy of the program it
// is. The lock lasts as long as this process and is released by the operating system when the
// process ends, however it ends. It lies in the user's home directory as the password database
// names it, so its place depends on no environment variable, and only this user can create,
// hold or remove it. Throws Failure when no such place can be had.
InstanceClaim claimSingleInstance();

} // namespace platform
