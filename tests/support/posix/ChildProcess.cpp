#include "tests/support/posix/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

bool holdsWithin(unsigned seconds, const std::function<bool()>& check) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace testsupport
