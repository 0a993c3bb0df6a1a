#pragma once

namespace platform {

// Makes a write that cannot go on (to a pipe whose reader has left, or past the process's
// file size limit) fail with an error that its caller logs, instead of ending the program
// with a signal and losing the rest of the job. Called once at start-up.
void reportFailedWritesAsErrors();

} // namespace platform
