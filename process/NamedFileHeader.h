#pragma once

#include "platform/Paths.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace routing {

// The bytes at the start of a job that hold a NamedFile header: the marker at position 0, one
// byte, the file name, and a "|" at position 100 at the latest.
inline constexpr std::size_t kNamedFileHeaderLength = 101;

// The header of a NamedFile section.
struct NamedFileHeader {
    // The name's bytes as they stand in the job.
    std::string name;
    // Offset just after the "|".
    std::uint64_t dataStart = 0;
};

// Reads the header of the NamedFile marker at markerOffset from the first length bytes of the
// job. Throws Failure when the marker is not at position 0 or no "|" stands at positions 5 to
// 100.
NamedFileHeader readNamedFileHeader(const std::uint8_t* job, std::size_t length,
                                    std::uint64_t markerOffset);

// Throws Failure ("File name not allowed") unless the name (the job's bytes) names a file of its
// own inside directory (text): no "/", "\", ":", no control byte, neither "." nor "..", a
// directory that is named at all (an empty one would put the file in the root), and none of
// the program's own files.
void checkFileName(const platform::Locations& program, const std::string& directory,
                   const std::string& name);

} // namespace routing
