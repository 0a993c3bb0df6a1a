// A named mutex of the session, named for the user; the system drops it with the last handle.
// A small named memory beside it holds the holder's process id for a second start to report.
#include "platform/SingleInstance.h"

#include "platform/win32/Handle.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {
namespace {

using win32::Handle;

std::string upperCase(const std::string& text) {
    std::string upper(text);
    LCMapStringA(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                 upper.data(), static_cast<int>(upper.size()));
    return upper;
}

std::string userName() {
    char name[256 + 1];
    DWORD size = sizeof name;
    return GetUserNameA(name, &size) ? std::string(name) : std::string();
}

// User names ignore case and may hold characters an object's name may not: it is hashed.
std::string instanceName() {
    const std::string key = upperCase(userName());
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const char c : key) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    char name[64];
    std::snprintf(name, sizeof name, "Local\\Tarvo-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

std::string processIdName(const std::string& instance) {
    return instance + "-pid";
}

// Stores this process's id where a second start can read it. The claim holds without it.
Handle publishProcessId(const std::string& instance) {
    Handle memory(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(DWORD), processIdName(instance).c_str()));
    if (memory) {
        if (void* view = MapViewOfFile(memory.get(), FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
            *static_cast<DWORD*>(view) = GetCurrentProcessId();
            UnmapViewOfFile(view);
        }
    }
    return memory;
}

// The id that the holder stored; 0 when there is none yet.
long storedProcessId(const std::string& instance) {
    const Handle memory(OpenFileMappingA(FILE_MAP_READ, FALSE, processIdName(instance).c_str()));
    long id = 0;
    if (memory) {
        if (const void* view = MapViewOfFile(memory.get(), FILE_MAP_READ, 0, 0, sizeof(DWORD))) {
            id = static_cast<long>(*static_cast<const DWORD*>(view));
            UnmapViewOfFile(view);
        }
    }
    return id;
}

} // namespace

// The session's mutex and the holder's process id, kept for the object's life.
struct InstanceLock::Held {
    Handle mutex;
    Handle processId;
};

InstanceLock::InstanceLock(std::unique_ptr<Held> held, long runningProcess)
    : held_(std::move(held)), runningProcess_(runningProcess) {}
InstanceLock::InstanceLock(InstanceLock&&) noexcept = default;
InstanceLock& InstanceLock::operator=(InstanceLock&&) noexcept = default;
InstanceLock::~InstanceLock() = default;

InstanceLock InstanceLock::claim(const std::string&) {
    const std::string name = instanceName();
    Handle mutex(CreateMutexA(nullptr, FALSE, name.c_str()));
    if (!mutex) {
        win32::throwLastError();
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return InstanceLock(nullptr, storedProcessId(name));
    }
    auto held = std::make_unique<Held>();
    held->processId = publishProcessId(name);
    held->mutex = std::move(mutex);
    return InstanceLock(std::move(held), 0);
}

} // namespace platform
