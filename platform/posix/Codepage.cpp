#include "platform/Codepage.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

namespace platform {
namespace {

const char* codeset() {
    static const std::string name = [] {
        const char* set = nl_langinfo(CODESET);
        std::string value = set != nullptr ? set : "";
        if (value.empty() || value == "ANSI_X3.4-1968" || value == "ASCII" || value == "US-ASCII") {
            return std::string("UTF-8");
        }
        return value;
    }();
    return name.c_str();
}

bool isUtf8(const char* name) {
    return strcasecmp(name, "UTF-8") == 0 || strcasecmp(name, "UTF8") == 0;
}

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when it is not valid.
std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

// Valid UTF-8 passes unchanged; every byte of an invalid sequence becomes "?".
std::string cleanUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            out += '?';
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

// Converts with iconv, turning each character that cannot be converted into "?".
std::string convert(std::string_view text, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return cleanUtf8(text);
    }
    std::string out;
    out.reserve(text.size() + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (result == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // An unconvertible or invalid character: skip one source character.
            std::size_t skip = 1;
            if (isUtf8(from)) {
                const std::size_t length = utf8SequenceLength(std::string_view(in, inLeft), 0);
                skip = length == 0 ? 1 : length;
            }
            out += '?';
            in += skip;
            inLeft -= skip;
        }
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    iconv_close(cd);
    return out;
}

} // namespace

void initLocale() {
    std::setlocale(LC_ALL, "");
}

// In a UTF-8 locale the bytes pass unchanged both ways: a file name that is not valid UTF-8
// still names its file, and a settings value reads back exactly as it was written.
std::string toCodepage(std::string_view utf8) {
    const char* target = codeset();
    return isUtf8(target) ? std::string(utf8) : convert(utf8, target, "UTF-8");
}

std::string fromCodepage(std::string_view bytes) {
    const char* source = codeset();
    return isUtf8(source) ? std::string(bytes) : convert(bytes, "UTF-8", source);
}

} // namespace platform
