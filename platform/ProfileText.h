#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The text rules of a profile file, apart from the file itself. Names and values are bytes.
//
// The file form: a section starts at a line "[name]"; a key is a line "name=value"; a line
// whose first non-blank character is ";" is a comment. Section and key names are found
// regardless of letter case, and of duplicate sections or keys the first one counts. Lines end
// in CR LF, LF or CR; a UTF-8 byte-order mark at the start of the file is skipped; a NUL byte
// ends the text of its line.
namespace platform::profile {

// Where a file's bytes come from: puts up to size bytes into buffer and returns how many; 0 at
// the end.
using ByteSource = std::function<std::size_t(char* buffer, std::size_t size)>;

// The value of the key in the section, read from source: without the blanks around it and one
// pair of double or single quotes that encloses all of it; "" for a key with nothing after
// "=". Nothing when the section or the key is missing. Holds one chunk and one line at a time.
std::optional<std::string> findValue(const ByteSource& source, std::string_view section,
                                     std::string_view key);

// The text of a file (nothing: no file) with the key set to value: the value replaced in place
// when the key exists (indentation, the key as written, "=" and the blanks after it stay), or
// the key added after the last key of its section, the section added at the end when missing.
// Every other line stays as it was; new lines end as the file's first line does, or in CR LF.
std::string withKey(const std::optional<std::string>& text, std::string_view section,
                    std::string_view key, std::string_view value);

// Whether the section, the key and the value fit on one line of the file each, and would be
// read back as they are: no line break or NUL, no "]" in the section, no "=" in the key, and a
// key that does not begin like a comment or a section.
bool fitsTheFile(std::string_view section, std::string_view key, std::string_view value);

// Copies text into buffer, cut to fit with its terminating zero (at most size - 1 bytes);
// returns the number of bytes copied, without the zero.
std::size_t copyOut(std::string_view text, char* buffer, std::size_t size);

} // namespace platform::profile
