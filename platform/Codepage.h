#pragma once

#include <string>
#include <string_view>

namespace platform {

// Text is held as UTF-8 inside the program. These convert it at the boundaries where it meets
// the settings file, the log, the spooler and the operating system's file names, whose text is
// in the code set of the user's locale (UTF-8 where the locale is plain ASCII).
//
// A character that the code set cannot represent becomes "?"; so does a byte sequence that is
// not valid in the encoding it is converted from. Where the code set is UTF-8 itself, bytes
// pass unchanged, valid or not.
std::string toCodepage(std::string_view utf8);
std::string fromCodepage(std::string_view bytes);

// Takes the user's locale (setlocale(LC_ALL, "")); called once at start-up.
void initLocale();

} // namespace platform
