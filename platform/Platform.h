#pragma once

#include "platform/Clock.h"
#include "platform/DirectoryChanges.h"
#include "platform/Paths.h"
#include "platform/Spooler.h"
#include "platform/WatchedDirectory.h"

#include <memory>
#include <string>

namespace platform {

// What the program asks of the system: built once at start-up, handed down; tests use doubles.
class Platform {
public:
    virtual ~Platform() = default;

    virtual Spooler& spooler() = 0;
    // The file-system operations on the watched directory.
    virtual WatchedDirectory& directory() = 0;
    virtual const Clock& clock() const = 0;
    virtual const Locations& locations() const = 0;
    virtual std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory) = 0;
};

// Throws Failure when the system cannot tell where the program's executable is.
std::unique_ptr<Platform> makeSystemPlatform();

} // namespace platform
