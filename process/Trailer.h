#pragma once

#include "core/OutputType.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// What a section's bytes become on their way out, whatever channel they take.
namespace routing {

inline constexpr std::uint8_t kFormFeed = 0x0C;

// The CR LF pairs that end a trimmed section of the type: two for a label, three for a ticket,
// four for a duplicate ticket (followed by its second copy and a form feed); none otherwise.
std::string_view trailerLineEnds(OutputType type);

// Whether b is a line end that a section's end loses: CR or LF.
inline bool isLineEnd(std::uint8_t b) {
    return b == 0x0D || b == 0x0A;
}

// Rewrites every 0xFF of the bytes as 0x0C (form feed), in place.
void rewriteFormFeeds(std::uint8_t* bytes, std::size_t count);

} // namespace routing
