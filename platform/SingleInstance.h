#pragma once

namespace platform {

// Claims the per-user lock that marks a running Tarvo. Returns false when another process
// holds it. The lock lasts as long as this process and is released by the operating system
// when the process ends, however it ends.
bool claimSingleInstance();

} // namespace platform
