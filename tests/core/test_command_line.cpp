// The command line: --help and --version, and nothing else taken silently.
#include "core/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using commandline::Request;

TEST(CommandLine, TheFirstArgumentDecidesAndAnUnknownOneIsNamed) {
    EXPECT_EQ(commandline::parse({}).request, Request::Run);
    EXPECT_EQ(commandline::parse({"--help"}).request, Request::Help);
    EXPECT_EQ(commandline::parse({"--version", "--help"}).request, Request::Version);
    for (const char* argument : {"-h", "--Help", "--versions", "help", "", "--"}) {
        const auto parsed = commandline::parse({argument, "--help"});
        EXPECT_EQ(parsed.request, Request::Unknown) << argument;
        EXPECT_EQ(parsed.argument, argument);
    }
    EXPECT_EQ(commandline::unknownArgumentText("-x"),
              "tarvo: unknown argument '-x'\nTry 'tarvo --help'.\n");
}

TEST(CommandLine, VersionAndHelpTexts) {
    EXPECT_EQ(commandline::versionText("0.1.0"), "tarvo 0.1.0\n");

    const std::string help =
        commandline::helpText("/home/ann/.config/tarvo/tarvo.ini",
                              "/home/ann/.local/state/tarvo/Tarvo.log", "/srv/print jobs");
    EXPECT_TRUE(help.starts_with("Usage: tarvo [--help | --version]\n")) << help;
    EXPECT_NE(help.find("\n  keeps its settings in  /home/ann/.config/tarvo/tarvo.ini\n"
                        "  writes its log to      /home/ann/.local/state/tarvo/Tarvo.log\n"
                        "  watches                /srv/print jobs\n"),
              std::string::npos)
        << help;
    EXPECT_NE(help.find("\n  --help "), std::string::npos);
    EXPECT_NE(help.find("\n  --version "), std::string::npos);
    // It fits a terminal of 80 columns.
    std::size_t start = 0;
    for (std::size_t end = help.find('\n'); end != std::string::npos;
         start = end + 1, end = help.find('\n', start)) {
        EXPECT_LE(end - start, 79u) << help.substr(start, end - start);
    }
    EXPECT_EQ(start, help.size()) << "the text ends with a line end";
}

} // namespace
