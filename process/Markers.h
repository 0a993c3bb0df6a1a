#pragma once

#include <cstddef>
#include <cstdint>

// Section markers: "@!@" and a digit 1 to 9, the output the section after it goes to.
namespace routing {

inline constexpr std::size_t kMarkerLength = 4;

// The offset of the first marker that begins in [from, end) of bytes, or end when none does.
// The kMarkerLength - 1 bytes after end must be readable: a marker that begins before end may
// reach beyond it.
std::size_t findMarker(const std::uint8_t* bytes, std::size_t from, std::size_t end);

// The output number of the marker at bytes.
inline int markerOutput(const std::uint8_t* marker) {
    return marker[3] - '0';
}

} // namespace routing
