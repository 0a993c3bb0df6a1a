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

// Throws Failure unless the name stays inside its directory: no "/", "\", ":", no control
// byte, and neither "." nor "..".
void checkFileName(const std::string& name);

} // namespace modProcess
