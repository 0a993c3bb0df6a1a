#pragma once

#include <cstdint>
#include <string>

namespace modProcess {

// The header of a NamedFile section: the marker at position 0, one byte, the file name, "|".
struct NamedFileHeader {
    // The name's bytes as they stand in the job.
    std::string name;
    // Index just after the "|".
    std::int32_t dataStart = 0;
};

// Reads the header of the NamedFile marker at markerIndex of the job's length bytes. Throws
// Failure when the marker is not at position 0 or no "|" stands at positions 5 to 100.
NamedFileHeader readNamedFileHeader(const std::uint8_t* job, std::int32_t length,
                                    std::int32_t markerIndex);

// Throws Failure unless the name (the job's bytes) names a file of its own inside directory
// (UTF-8): no "/", "\", ":", no control byte, neither "." nor "..", a directory that is named
// at all (an empty one would put the file in the root), and none of the program's own files
// when directory is the application directory.
void checkFileName(const std::string& directory, const std::string& name);

} // namespace modProcess
