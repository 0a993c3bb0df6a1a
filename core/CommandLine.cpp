#include "core/CommandLine.h"

namespace commandline {

Parsed parse(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return {};
    }
    const std::string& first = arguments.front();
    if (first == "--help") {
        return {Request::Help, {}};
    }
    if (first == "--version") {
        return {Request::Version, {}};
    }
    return {Request::Unknown, first};
}

std::string versionText(std::string_view version) {
    return "tarvo " + std::string(version) + "\n";
}

std::string helpText(std::string_view settingsFile, std::string_view logFile,
                     std::string_view watchedDirectory) {
    std::string text =
        "Usage: tarvo [--help | --version]\n"
        "\n"
        "Tarvo routes print jobs. It takes each job file dropped into its watched\n"
        "directory, cuts it at the section markers @!@1 to @!@9 and sends every\n"
        "section to a printer or a file. It runs until it is told to end (\"Terminate\"\n"
        "in its configuration window, or a stop request such as SIGTERM), and\n"
        "finishes the job in hand first.\n"
        "\n"
        "This copy of Tarvo\n";
    text += "  keeps its settings in  " + std::string(settingsFile) + "\n";
    text += "  writes its log to      " + std::string(logFile) + "\n";
    text += "  watches                " + std::string(watchedDirectory) + "\n";
    text += "\n"
            "Options:\n"
            "  --help     show this text and end\n"
            "  --version  show the version and end\n";
    return text;
}

std::string unknownArgumentText(std::string_view argument) {
    return "tarvo: unknown argument '" + std::string(argument) + "'\nTry 'tarvo --help'.\n";
}

} // namespace commandline
