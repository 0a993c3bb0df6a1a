#include "process/Markers.h"

#include <cstring>

namespace routing {
namespace {

constexpr std::uint8_t kAt = 0x40;
constexpr std::uint8_t kBang = 0x21;
constexpr std::uint8_t kFirstDigit = 0x31;
constexpr std::uint8_t kLastDigit = 0x39;

// Whether the "@" at p starts a marker.
bool isMarker(const std::uint8_t* p) {
    return p[1] == kBang && p[2] == kAt && p[3] >= kFirstDigit && p[3] <= kLastDigit;
}

} // namespace

// The search runs with memchr from "@" to "@": most bytes of a job are no marker's.
std::size_t findMarker(const std::uint8_t* bytes, std::size_t from, std::size_t end) {
    for (std::size_t at = from; at < end; ++at) {
        const void* found = std::memchr(bytes + at, kAt, end - at);
        if (found == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes);
        if (isMarker(bytes + at)) {
            return at;
        }
    }
    return end;
}

} // namespace routing
