#include "platform/Clock.h"

namespace platform {
namespace {
Clock currentClock;
}

void setClock(Clock clock) {
    currentClock = std::move(clock);
}

std::time_t now() {
    return currentClock ? currentClock() : std::time(nullptr);
}

} // namespace platform
