#include "platform/win32/SystemError.h"

#include "platform/Failure.h"

#include <windows.h>

namespace platform::win32 {

std::string systemText(unsigned long error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    if (length == 0) {
        return "System error " + std::to_string(error);
    }
    std::string message(text, length);
    LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

void throwError(unsigned long error) {
    if (error == ERROR_FILE_NOT_FOUND) {
        throw NotFound(systemText(error));
    }
    throw Failure(systemText(error));
}

void throwLastError() {
    throwError(GetLastError());
}

} // namespace platform::win32
