#pragma once

#include "tests/support/TestSupport.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// What the fuzz targets share: a scratch directory for the whole process, file helpers, and the
// check that stops the run on the first wrong result.
namespace fuzz {

// Prints what went wrong and aborts, so that the fuzzer keeps the input that caused it.
[[noreturn]] void fail(std::string_view what);

inline void require(bool condition, std::string_view what) {
    if (!condition) {
        fail(what);
    }
}

// A fresh directory made once per process: <parent>/sandbox, where nothing else is meant to
// be written into <parent>. Removed at exit.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    std::filesystem::path parent() const { return parent_.path(); }
    const std::filesystem::path& root() const { return root_; }

private:
    testsupport::TempDir parent_;
    std::filesystem::path root_;
};

std::string readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, std::string_view bytes);

// Every entry under directory, as paths relative to it, sorted.
std::vector<std::string> listTree(const std::filesystem::path& directory);

// Shows bytes as text with every byte outside printable ASCII escaped, for failure messages.
std::string printable(std::string_view bytes);

// Number of lines of text that contain needle.
int countLines(std::string_view text, std::string_view needle);

// Checks the reference model of job processing against the worked examples of the job format;
// a model that is wrong would make every later comparison worthless.
void checkModelOnWorkedExamples();

} // namespace fuzz
