#include "monitor/Monitor.h"

#include "core/Prefixes.h"
#include "core/modConfig.h"
#include "core/modMain.h"
#include "platform/Paths.h"
#include "platform/WatchedDirectory.h"
#include "process/modProcess.h"

#include <exception>

namespace monitor {

std::string strCurrentFile;

namespace {

std::string workFilePath() {
    return platform::joinPath(modMain::strWatchDir, "newjob");
}

} // namespace

void Timer_Timer(Host& host) {
    try {
        host.setTrayTooltip("Tarvo - Monitor active on " + modConfig::settings.strMonitorPath);
        if (IsFileOpened(modMain::strWatchDir) != kTrue) {
            host.setTimerEnabled(false);
            modMain::logError("Processing " + strCurrentFile);
            HandleNewFile(strCurrentFile);
            host.setTimerEnabled(true);
        }
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kTimerTimer, failure);
    }
}

std::int16_t IsFileOpened(std::string pstrPath) {
    try {
        strCurrentFile.clear();
        platform::WatchedDirectory& directory = platform::watchedDirectory();
        // A work file left behind by an interrupted hand-off may hold the only copy of its job.
        // It goes before every other file, whose hand-off would replace it.
        if (const std::string workPath = workFilePath(); directory.isFile(workPath)) {
            strCurrentFile = workPath;
        } else {
            const std::string name = directory.firstFileName(pstrPath);
            if (name.empty()) {
                return kTrue;
            }
            strCurrentFile = platform::joinPath(modMain::strWatchDir, name);
        }
        return directory.isHeldOpen(strCurrentFile) ? kTrue : kFalse;
    } catch (const std::exception&) {
        return kTrue;
    }
}

void HandleNewFile(std::string path) {
    platform::WatchedDirectory& directory = platform::watchedDirectory();
    const std::string workPath = workFilePath();
    try {
        // A work file left behind by an interrupted hand-off is itself the job: copying it
        // onto itself and deleting "the job file" would delete it before it is processed. A
        // job file that it is another name of is that same job, which goes only once.
        if (path != workPath) {
            directory.copyFile(path, workPath);
            directory.deleteFile(path);
        } else {
            directory.removeOtherNames(workPath);
        }
        modProcess::ProcessFile(workPath);
        // Job processing deletes the work file once it has read it. One that it could not
        // delete would be handed over again on every tick: its deletion fails here instead,
        // and the clean-up below leaves the monitor stopped.
        if (directory.isFile(workPath)) {
            directory.deleteFile(workPath);
        }
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kHandleNewFile, failure);
        directory.deleteFile(path);
        directory.deleteFile(workPath);
    }
}

} // namespace monitor
