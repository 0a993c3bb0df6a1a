#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace routing {

// Takes a decimal number and the character end that must follow it from the front of a record's
// text; false, text unchanged, when they are not there.
inline bool readRecordNumber(std::string_view& text, std::uint64_t& number, char end) {
    const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || rest == text.data() + text.size() || *rest != end) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(rest - text.data()) + 1);
    return true;
}

} // namespace routing
