#include "platform/Clock.h"

#include "platform/win32/SystemError.h"

#include <windows.h>

namespace platform {
namespace {

// Seconds from 1601-01-01, where Windows counts from, to 1970-01-01, where time_t does.
constexpr long long kEpochDifference = 11644473600LL;
constexpr long long kTicksPerSecond = 10000000LL;

// The local time of the moment, under the time zone rules that held at that moment.
SYSTEMTIME localTime(std::time_t time) {
    ULARGE_INTEGER ticks{};
    ticks.QuadPart = static_cast<ULONGLONG>((time + kEpochDifference) * kTicksPerSecond);
    const FILETIME moment{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&moment, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        win32::throwLastError();
    }
    return local;
}

} // namespace

// The user's regional settings: the short date, and the long time with seconds.
std::string generalDate(std::time_t time) {
    const SYSTEMTIME local = localTime(time);
    char date[128];
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date) ==
        0) {
        win32::throwLastError();
    }
    if (local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0) {
        return date;
    }
    char clock[128];
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, clock, sizeof clock) == 0) {
        win32::throwLastError();
    }
    return std::string(date) + " " + clock;
}

} // namespace platform
