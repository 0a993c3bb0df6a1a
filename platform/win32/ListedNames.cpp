#include "platform/win32/ListedNames.h"

#include "platform/Failure.h"

#include <optional>

namespace platform::win32 {
namespace {

constexpr const char* kUnspellable =
    "The file's name has characters that the ANSI code page cannot spell, and the file has no "
    "short name";
constexpr const char* kEndsInDotOrBlank =
    "The file's name ends in a dot or a blank, which Windows programs cannot open, and the file "
    "has no short name";

bool endsInDotOrBlank(std::string_view name) {
    return !name.empty() && (name.back() == '.' || name.back() == ' ');
}

// The name in the ANSI code page, with "?" for what it cannot spell; exact when it converts back
// to the same characters. A code page of UTF-8 takes no replacement character.
std::string spelled(std::wstring_view name, bool& exact) {
    const int size = static_cast<int>(name.size());
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL replaced = FALSE;
    BOOL* replacedOut = utf8 ? nullptr : &replaced;
    const char* replacement = utf8 ? nullptr : "?";
    const int length =
        WideCharToMultiByte(CP_ACP, flags, name.data(), size, nullptr, 0, replacement, replacedOut);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, flags, name.data(), size, text.data(), length, replacement,
                        replacedOut);
    const int back = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring roundTrip(static_cast<std::size_t>(back), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, roundTrip.data(), back);
    exact = !replaced && roundTrip == name;
    return text;
}

std::optional<std::string> reachingName(std::wstring_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    bool exact = false;
    std::string text = spelled(name, exact);
    if (!exact || endsInDotOrBlank(text) || text.find('?') != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::string listedName(const WIN32_FIND_DATAW& entry) {
    const std::wstring_view name(entry.cFileName);
    if (std::optional<std::string> own = reachingName(name)) {
        return *own;
    }
    if (std::optional<std::string> shortName = reachingName(entry.cAlternateFileName)) {
        return *shortName;
    }
    bool exact = false;
    return spelled(name, exact);
}

bool isUnreachableName(std::string_view name) {
    return name.find('?') != std::string_view::npos || endsInDotOrBlank(name);
}

void requireReachable(const std::string& path) {
    const std::string_view name = std::string_view(path).substr(path.find_last_of("\\/") + 1);
    if (name.find('?') != std::string_view::npos) {
        throw Failure(kUnspellable);
    }
    if (endsInDotOrBlank(name)) {
        throw Failure(kEndsInDotOrBlank);
    }
}

} // namespace platform::win32
