#pragma once

#include <cstdint>
#include <string>

// The monitor: each tick of the main window's timer looks through the watched directory and
// hands the first job file that no other process has open over to job processing.
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
// Never fails outward; a failure is logged with the tick's prefix. The timer runs again after
// every tick, unless the hand-off found nothing at all that it could do: then the monitor
// stops, and the log and the tooltip say so.
void Timer_Timer(Host& host);

// Looks through the directory for the file to hand over: a work file left behind by an
// interrupted hand-off comes before all others, then the jobs in byte order of their names.
// Passes over the program's own files, the jobs that a failed hand-off left in place while they
// are unchanged, and files that cannot be examined (logged once each). kFalse: strCurrentFile
// names a file that no other process has open. kTrue: nothing to hand over (no file, the first
// one that can be examined is held open, the directory cannot be read, or it refuses the
// changes of a hand-off). Never fails. A file held open for a minute, and a directory that
// refuses changes while a job waits, are logged once.
std::int16_t IsFileOpened(std::string pstrPath);

// Copies the job file to the work file "newjob" of the watched directory, deletes the job file
// and processes the work file. A work file left behind by an interrupted hand-off is processed
// as it is, once any other name of it in the directory is removed. A job file that has gone
// is no failure. A job that cannot be handed over (nor a work file that cannot be processed)
// is never deleted: it is moved into the subdirectory "failed" of the watched directory, and
// where even that fails, left in place and passed over until it changes. The one line logged
// says which. Returns false when nothing at all could be done, and the monitor must stop.
bool HandleNewFile(std::string path);

} // namespace monitor
