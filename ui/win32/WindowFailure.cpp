#include "ui/win32/WindowFailure.h"

#include "platform/Failure.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

namespace ui::win32 {

void throwWindowFailure(const char* description) {
    const DWORD error = GetLastError();
    if (error != 0) {
        platform::win32::throwError(error);
    }
    throw platform::Failure(description);
}

} // namespace ui::win32
