#pragma once

#include "platform/Paths.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace routing {

// The NamedFile header: the marker at 0, one byte, the name, and "|" at position 100 at the latest.
inline constexpr std::size_t kNamedFileHeaderLength = 101;

struct NamedFileHeader {
    // The name's bytes as they stand in the job.
    std::string name;
    // Offset just after the "|".
    std::uint64_t dataStart = 0;
};

// From the job's first length bytes. Throws Failure unless the marker is at position 0 and a "|"
// stands at positions 5 to 100.
NamedFileHeader readNamedFileHeader(const std::uint8_t* job, std::size_t length,
                                    std::uint64_t markerOffset);

// Throws Failure ("File name not allowed") unless name (the job's bytes) names a file of its own
// in directory (text): no "/", "\", ":" or control byte, not "." or "..", a non-empty directory
// (an empty one would mean the root), and none of the program's own files.
void checkFileName(const platform::Locations& program, const std::string& directory,
                   const std::string& name);

} // namespace routing
