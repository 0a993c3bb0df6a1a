#pragma once

#include "core/modConfig.h"

#include <cstddef>
#include <memory>
#include <string>

// Job processing: reads a job file, cuts it at its section markers and delivers every section
// to the output that its marker names, with the trailer of the output's type.
namespace modProcess {

struct JobState;

// Job processing as the program runs it: one job at a time, each to its end. The job is read
// in blocks into one buffer that lives as long as the object, so that a job of any length takes
// the same memory; nothing else is kept from one job to the next.
class JobProcessor {
public:
    // The size of the blocks that a job is read in.
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

    // blockSize: at least 1 byte.
    explicit JobProcessor(std::size_t blockSize = kBlockSize);
    ~JobProcessor();
    JobProcessor(const JobProcessor&) = delete;
    JobProcessor& operator=(const JobProcessor&) = delete;

    // Processes the work file at path (UTF-8) to its end with the output map of settings: opens
    // it, removes it from its directory, then delivers its sections. Never fails outward;
    // failures are logged.
    void ProcessFile(const std::string& path, const modConfig::Settings& settings);

private:
    std::unique_ptr<JobState> state_;
};

} // namespace modProcess
