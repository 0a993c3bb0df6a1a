#include "platform/Failure.h"

#include "platform/Codepage.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace platform {

void throwSystemError(int errorNumber) {
    std::string text = fromCodepage(std::strerror(errorNumber));
    if (errorNumber == ENOENT) {
        throw NotFound(text);
    }
    throw Failure(text);
}

std::string describe(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure) != nullptr) {
        return description::kOutOfMemory;
    }
    if (dynamic_cast<const std::out_of_range*>(&failure) != nullptr) {
        return description::kSubscriptOutOfRange;
    }
    if (dynamic_cast<const std::overflow_error*>(&failure) != nullptr) {
        return description::kOverflow;
    }
    return failure.what();
}

} // namespace platform
