#pragma once

#include <string>
#include <string_view>

namespace platform {

// The program's text is UTF-8 (on Windows the ANSI code page: nothing converts). These convert
// to and from the locale's code set (UTF-8 if plain ASCII): what the target cannot represent, or
// invalid input, becomes "?"; a UTF-8 code set passes bytes as they are.
std::string toCodepage(std::string_view utf8);
std::string fromCodepage(std::string_view bytes);

// Takes the user's locale (setlocale(LC_ALL, "")); called once at start-up.
void initLocale();

} // namespace platform
