// A second Windows process for the platform tests.
//
//   tarvo_test_helper hold PATH read|write|alone READY RELEASE
//       opens PATH for reading or for writing, sharing it with readers and writers, or for
//       reading sharing it with nobody (alone), signals the event READY (an inherited handle, in
//       decimal) and closes the file once RELEASE is signalled
//   tarvo_test_helper lock PATH OUT opens the work file PATH as the program does and writes
//                                   "locked", or "held elsewhere" when another process has
//                                   locked it, into the file OUT
//   tarvo_test_helper appdir OUT    writes its application directory into the file OUT
//   tarvo_test_helper claim OUT     claims the single-instance lock and writes "claimed", or
//                                   "running " and the holder's process id, into the file OUT
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

HANDLE handleArgument(const char* text) {
    return reinterpret_cast<HANDLE>(std::strtoull(text, nullptr, 10));
}

int hold(const std::string& path, const std::string& mode, HANDLE ready, HANDLE release) {
    const DWORD access = mode == "write" ? GENERIC_WRITE : GENERIC_READ;
    const DWORD share = mode == "alone" ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    const HANDLE file = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 2;
    }
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "hold" && argc == 6) {
        return hold(argv[2], argv[3], handleArgument(argv[4]), handleArgument(argv[5]));
    }
    if (mode == "lock" && argc == 4) {
        platform::JobFile job(argv[2]);
        std::ofstream(argv[3], std::ios::binary) << (job.lock() ? "locked" : "held elsewhere");
        return 0;
    }
    if ((mode == "appdir" || mode == "claim") && argc == 3) {
        std::ofstream out(argv[2], std::ios::binary);
        if (mode == "appdir") {
            out << platform::systemLocations().applicationDirectory;
        } else {
            const platform::InstanceLock lock = platform::InstanceLock::claim("");
            out << (lock.held() ? "claimed" : "running " + std::to_string(lock.runningProcess()));
        }
        return 0;
    }
    return 2;
}
