#include "tests/monitor/HeldFile.h"

#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace monitortest {

HeldFile::HeldFile(const std::string& path, int flags) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) {
        throw std::runtime_error("pipe");
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        char opened = ::open(path.c_str(), flags | O_CREAT, 0666) >= 0 ? 1 : 0;
        if (::write(ready[1], &opened, 1) == 1) {
            while (::read(release[0], &opened, 1) > 0) {
            } // the read returns 0 once the parent closes its end
        }
        _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char opened = 0;
    const bool answered = ::read(ready[0], &opened, 1) == 1;
    ::close(ready[0]);
    if (!answered || opened != 1) {
        ::close(release_);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("the holding process could not open " + path);
    }
}

HeldFile::~HeldFile() {
    ::close(release_);
    ::waitpid(pid_, nullptr, 0);
}

} // namespace monitortest
