#include "platform/test/TestPlatform.h"

#include <utility>

namespace platform {

TestPlatform::TestPlatform(Locations locations, std::time_t time)
    : locations_(std::move(locations)), clock_(time) {}

} // namespace platform
