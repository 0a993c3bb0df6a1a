#include "platform/Codepage.h"

// The program's text is in the ANSI code page of every "A" function it calls: nothing converts.
namespace platform {

std::string toCodepage(std::string_view text) {
    return std::string(text);
}

std::string fromCodepage(std::string_view bytes) {
    return std::string(bytes);
}

// The "A" functions follow the system's code page and regional settings by themselves.
void initLocale() {}

} // namespace platform
