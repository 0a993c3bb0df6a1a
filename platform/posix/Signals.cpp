#include "platform/Signals.h"

#include <csignal>

namespace platform {

void reportFailedWritesAsErrors() {
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace platform
