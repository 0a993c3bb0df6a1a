#pragma once

#include <string>
#include <string_view>
#include <vector>

// The program's command line: it takes no arguments besides --help and --version, each of which
// prints its text on standard output and ends the program.
namespace commandline {

enum class Request {
    Run,     // no arguments: the program starts
    Help,    // --help
    Version, // --version
    Unknown, // an argument the program does not take
};

struct Parsed {
    Request request = Request::Run;
    std::string argument; // the argument not understood, for Request::Unknown
};

// The exit code after an argument the program does not take, as command-line tools use it.
inline constexpr int kUsageExitCode = 2;

// What the arguments (without the program's own name) ask for: the first argument decides, and
// one that is not understood is never passed over.
Parsed parse(const std::vector<std::string>& arguments);

// The text of --version, for example "tarvo 0.1.0\n".
std::string versionText(std::string_view version);

// The text of --help: what the program does, where this copy keeps its settings file and its
// log, the directory it watches, and its options.
std::string helpText(std::string_view settingsFile, std::string_view logFile,
                     std::string_view watchedDirectory);

// The text for standard error after an argument that is not understood.
std::string unknownArgumentText(std::string_view argument);

} // namespace commandline
