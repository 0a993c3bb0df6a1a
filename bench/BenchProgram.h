#pragma once

#include "tests/support/posix/TarvoProcess.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

// Writes a job straight into a watched directory, as the upstream application does.
void writeJobFile(const std::string& path, const std::string& bytes);

// Tells when a file of a directory, made here when missing, has been written and closed.
class OutputCloses {
public:
    explicit OutputCloses(const std::string& directory);
    ~OutputCloses();
    OutputCloses(const OutputCloses&) = delete;
    OutputCloses& operator=(const OutputCloses&) = delete;

    // Waits for the next close of a file of that name after writing; false on timeout.
    bool waitForClose(const std::string& name, double timeoutSeconds);
    // Waits until the file at path holds bytes, looking again at every close of a file of the
    // directory; false on timeout.
    bool waitForContent(const std::string& path, const std::string& bytes, double timeoutSeconds);

private:
    int fd_;
};

// The program's NamedFile row, whose files are made in out/.
inline constexpr int kNamedRow = 8;

// A copy of the real program with a home and an application directory of its own, on Qt's
// offscreen platform, its "File" rows writing out/out<n>.bin, and row kNamedRow a NamedFile row
// into out/; running until the object goes. The first job it routes tells that it has started.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }
    pid_t pid() const { return pid_; }
    std::string outFile(int n) const { return out + "/out" + std::to_string(n) + ".bin"; }
    // Stops the program where it stands, and waits until it has stopped; or lets it go on.
    void pause(bool paused) const;
    // CPU time the program has spent so far, all its threads, in seconds.
    double cpuSeconds() const;
    // The names of the jobs taken after the start, in the order of the log's "Processing"
    // lines; every other line goes to unexpected.
    std::vector<std::string> jobsTaken(std::string& unexpected) const;

private:
    testsupport::TarvoInstall install_;

public:
    const std::string watched = install_.dir().file("jobs");
    const std::string out = install_.dir().file("out");
    // Beside the watched directory, on its file system: a job put together here is renamed in.
    const std::string staging = install_.dir().file("staging");
    // Made before the program starts, with the output directory.
    OutputCloses closes{out};

private:
    pid_t pid_ = -1;
    clockid_t cpuClock_ = CLOCK_MONOTONIC;
    bool started_ = false;
};

// Skips the run with the program's log lines other than those of the jobs taken, if any.
void checkLog(benchmark::State& state, const Program& program);

} // namespace bench
