#pragma once

#include <cstdint>
#include <string>

// The monitor: each tick of the main window's timer looks at the first file of the watched
// directory and, once no other process has it open, hands it over to job processing.
namespace monitor {

// Flag values as the monitor returns them.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// What the monitor asks of the main window that owns the timer and the tray icon.
class Host {
public:
    virtual ~Host() = default;
    virtual void setTrayTooltip(const std::string& text) = 0;
    virtual void setTimerEnabled(bool enabled) = 0;
};

// The full path of the file found by the last examination; "" when none was found.
extern std::string strCurrentFile;

// One tick of the monitor timer: refreshes the tooltip and hands over at most one job file.
// Never fails outward; a failure is logged with the tick's prefix and leaves the timer as it
// was at that moment.
void Timer_Timer(Host& host);

// Examines the first file of the directory (a work file left behind by an interrupted
// hand-off comes before all others). kFalse: strCurrentFile names a file that no other
// process has open. kTrue: nothing to hand over (no file, the first file is held open, or the
// directory cannot be read). Never fails and never logs.
std::int16_t IsFileOpened(std::string pstrPath);

// Copies the job file to the work file "newjob" of the watched directory, deletes the job file
// and processes the work file. A work file left behind by an interrupted hand-off is processed
// as it is, once any other name of it in the directory is removed. A failure is logged with the
// hand-off's prefix and discards the job; a failure of that clean-up is passed on to the caller.
void HandleNewFile(std::string path);

} // namespace monitor
