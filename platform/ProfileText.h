#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The text of a profile file; names and values are bytes. A line "[name]" starts a section,
// "name=value" is a key, a first non-blank ";" makes a comment. Names match in any letter case;
// of duplicates the first counts. Lines end in CR LF, LF or CR; a leading UTF-8 byte-order mark
// is skipped; a NUL byte ends its line's text.
namespace platform::profile {

// Puts up to size bytes into buffer and returns how many; 0 at the end.
using ByteSource = std::function<std::size_t(char* buffer, std::size_t size)>;

// The value without surrounding blanks and one pair of enclosing double or single quotes;
// nothing when the section or key is missing. Holds one chunk and one line at a time.
std::optional<std::string> findValue(const ByteSource& source, std::string_view section,
                                     std::string_view key);

// text (nothing: no file) with the key set: the value replaced in place when the key exists,
// else the key added after its section's last key, the section at the end when missing. Other
// lines stay; new lines end as the file's first line does, or in CR LF.
std::string withKey(const std::optional<std::string>& text, std::string_view section,
                    std::string_view key, std::string_view value);

// Whether each fits on one line and reads back as it is: no line break or NUL, no "]" in the
// section, no "=" in the key, and a key that does not begin like a comment or a section.
bool fitsTheFile(std::string_view section, std::string_view key, std::string_view value);

// Copies at most size - 1 bytes of text and a zero into buffer; returns the bytes copied.
std::size_t copyOut(std::string_view text, char* buffer, std::size_t size);

} // namespace platform::profile
