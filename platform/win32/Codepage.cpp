#include "platform/Codepage.h"

// On Windows the program's text is in the active ANSI code page, the code page of every "A"
// function it calls (files, settings, spooler): nothing is converted.
namespace platform {

std::string toCodepage(std::string_view text) {
    return std::string(text);
}

std::string fromCodepage(std::string_view bytes) {
    return std::string(bytes);
}

// The "A" functions follow the system's code page and the user's regional settings by
// themselves.
void initLocale() {}

} // namespace platform
