#pragma once

#include <functional>

// What the POSIX tests need besides the portable helpers: child processes.
namespace testsupport {

// Runs check in a child process that an alarm ends after the given seconds: true when check
// returned true in time. For a call that might wait forever, so that the test fails instead of
// hanging.
bool holdsWithin(unsigned seconds, const std::function<bool()>& check);

} // namespace testsupport
