#pragma once

#include <string>
#include <sys/types.h>

namespace monitortest {

// Another process that holds a file open, opened with the given flags, until the object goes.
class HeldFile {
public:
    HeldFile(const std::string& path, int flags);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
    pid_t pid_;
    int release_;
};

} // namespace monitortest
