// Malformed settings files and job files given to the real program: none crashes or hangs it,
// each gets its log lines, and the good jobs after them are routed.
#include "platform/Failure.h"
#include "tests/load/LoadSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testsupport::readFile;

namespace {

std::string junk(std::size_t length, const std::string& alphabet, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(length, '\0');
    for (char& b : bytes) {
        b = alphabet[random() % alphabet.size()];
    }
    return bytes;
}

// Every byte but "[", so that no junk line can open a section of its own.
std::string junkWithoutSections(std::size_t length, unsigned seed) {
    std::string alphabet;
    for (int b = 0; b < 256; ++b) {
        if (b != '[') {
            alphabet += static_cast<char>(b);
        }
    }
    return junk(length, alphabet, seed);
}

// The program is still running; asked to end by SIGTERM, it ends.
void expectRunningAndStop(pid_t pid) {
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "the program ended by itself";
    ::kill(pid, SIGTERM);
    EXPECT_NE(testsupport::waitForExit(pid, std::chrono::seconds(5)), -1)
        << "it did not end on SIGTERM";
}

struct SettingsCase {
    std::string name;
    // Makes the settings file of the layout.
    std::function<void(const load::Layout&)> make;
    // Whether output 1 is "File" OUT/one.txt and jobs in the watched directory are routed.
    bool routes;
    std::vector<std::string> startupLines;
};

} // namespace

TEST(Malformed, SettingsFilesNeitherCrashNorHangTheProgram) {
    const auto valid = [](const load::Layout& l) {
        return load::settingsText(l.watched, {{1, l.out + "/one.txt", "File"}});
    };
    const std::string hugeValue(1024 * 1024, 'B');
    const std::vector<SettingsCase> cases = {
        {"binary junk around the keys",
         [&](const load::Layout& l) {
             testsupport::writeFile(l.install.iniPath(), junkWithoutSections(8192, 1) + "\r\n" +
                                                             valid(l) +
                                                             junkWithoutSections(8192, 2));
         },
         true,
         {}},
        {"huge lines, a huge section name and huge values",
         [&](const load::Layout& l) {
             testsupport::writeFile(l.install.iniPath(),
                                    std::string(8 * 1024 * 1024, 'A') + "\n[" + hugeValue + "]\n" +
                                        hugeValue + "=" + hugeValue + "\n" + valid(l) +
                                        "[MAP]\nType2=" + hugeValue + "\n@@2@=" + hugeValue + "\n");
         },
         true,
         {}},
        {"line ends of every kind and NUL bytes",
         [&](const load::Layout& l) {
             std::string text = valid(l);
             std::replace(text.begin(), text.end(), '\n', '\r');
             testsupport::writeFile(l.install.iniPath(), std::string("\0\0\r\n\r\r\n\n", 8) + text +
                                                             std::string("x\0=\0\r", 5));
         },
         true,
         {}},
        // A settings file that cannot be read, or junk alone, leaves the default monitor
        // directory, "Tarvo" in the test's own home.
        {"a directory in its place",
         [](const load::Layout& l) { std::filesystem::create_directory(l.install.iniPath()); },
         false,
         {"modConfig::getIni - " + std::string(std::strerror(EISDIR))}},
        {"a symbolic link to itself",
         [](const load::Layout& l) {
             std::filesystem::create_symlink(l.install.iniPath(), l.install.iniPath());
         },
         false,
         {"modConfig::getIni - " + std::string(std::strerror(ELOOP))}},
        {"junk alone",
         [](const load::Layout& l) {
             testsupport::writeFile(l.install.iniPath(), junkWithoutSections(64 * 1024, 3));
         },
         false,
         {}},
    };

    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        load::Layout layout;
        c.make(layout);
        const pid_t pid = layout.install.start();
        if (c.routes) {
            testsupport::dropJob(layout.watched, "job", "@!@1routed\r\n");
            EXPECT_TRUE(load::waitForContent(layout.out + "/one.txt", "routed"));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
        }
        std::vector<std::string> expected = c.startupLines;
        if (c.routes) {
            expected.push_back(layout.processing("job"));
        }
        EXPECT_EQ(layout.log(), expected);
        expectRunningAndStop(pid);
    }
}

namespace {

// The lines that the job's processing wrote: those between its "Processing " line and the next.
std::vector<std::string> linesOf(const load::Layout& layout, const std::string& name) {
    const std::vector<std::string> log = layout.log();
    auto line = std::find(log.begin(), log.end(), layout.processing(name));
    if (line == log.end()) {
        return {"(not taken)"};
    }
    const auto end = std::find_if(std::next(line), log.end(), [](const std::string& text) {
        return text.rfind("Processing ", 0) == 0;
    });
    return std::vector<std::string>(std::next(line), end);
}

} // namespace

TEST(Malformed, JobFilesNeitherCrashNorHangTheProgram) {
    load::Layout layout;
    layout.configure({{1, layout.out + "/one.txt", "File"},
                      {2, layout.out, "NamedFile"},
                      {3, layout.out + "/three.txt", "File"},
                      {9, layout.out + "/nine.txt", "File"}});
    const pid_t pid = layout.install.start();
    const std::string bad = platform::description::kBadFileName;
    const std::string hugeLine(8 * 1024 * 1024, 'L');

    // Everything arrives in one rename of a directory filled beforehand.
    std::filesystem::remove(layout.watched);
    const std::string staging = layout.install.dir().file("staging");
    std::filesystem::create_directory(staging);
    const auto put = [&](const std::string& name, const std::string& bytes) {
        testsupport::writeFile(staging + "/" + name, bytes);
    };
    // Markers, "|", 0xFF, line ends and NUL bytes in random order; output 4 and 5 are not set.
    put("01-junk", junk(256 * 1024, std::string("@@@!!12345\xFF\r\n|\0A", 15), 4));
    put("02-empty", "");
    put("03-only-markers", "@!@1@!@3\r\n@!@1\r\n");
    put("04-named-without-bar", "@!@2 NONAME" + std::string(200, 'n'));
    put("05-huge-line", "@!@3" + hugeLine);
    std::filesystem::create_directory(staging + "/06-directory");
    put("06-directory/inner", "@!@1inner");
    std::filesystem::create_symlink(staging + "/nowhere", staging + "/07-dangling");
    put("08 spaced \xC3\xA9", "@!@2 e-acute.txt|accented");
    put("08-line\nfeed", "@!@2 newline.txt|line feed");
    put("08-a|b", "@!@2 bar.txt|bar");
    put("-08", "@!@2 dash.txt|dash");
    const std::string invalidName = "09-\xFF\xFE";
    put(invalidName, "@!@2 invalid.txt|invalid");
    put("newjob", "@!@2 leftover.txt|left behind");
    put("zz-good", "@!@9good\r\n");
    std::filesystem::rename(staging, layout.watched);

    EXPECT_TRUE(load::waitForContent(layout.out + "/nine.txt", "good", std::chrono::seconds(30)))
        << testing::PrintToString(layout.log());
    // What the program could take is gone, in byte order of names, each with its own lines.
    std::vector<std::string> taken;
    for (const std::string& line : layout.log()) {
        if (line.rfind("Processing ", 0) == 0) {
            taken.push_back(line);
        } else {
            EXPECT_EQ(line.rfind("modProcess::", 0), 0u) << line;
        }
    }
    // A work file left behind goes first: it may hold the only copy of its job. A line feed in
    // a name shows as "?", so that the name's line stays one line.
    EXPECT_EQ(taken,
              (std::vector<std::string>{
                  layout.processing("newjob"), layout.processing("-08"),
                  layout.processing("01-junk"), layout.processing("02-empty"),
                  layout.processing("03-only-markers"), layout.processing("04-named-without-bar"),
                  layout.processing("05-huge-line"), layout.processing("08 spaced \xC3\xA9"),
                  layout.processing("08-a|b"), layout.processing("08-line?feed"),
                  layout.processing(invalidName), layout.processing("zz-good")}));
    EXPECT_EQ(linesOf(layout, "02-empty"),
              std::vector<std::string>{"modProcess::LoadFile - Subscript out of range"});
    const std::string emptySection = "modProcess::AddTrailer - Subscript out of range";
    const std::string undelivered = "modProcess::CloseOutput - Subscript out of range";
    EXPECT_EQ(linesOf(layout, "03-only-markers"),
              (std::vector<std::string>{emptySection, undelivered, emptySection, undelivered,
                                        emptySection, undelivered}));
    EXPECT_EQ(linesOf(layout, "04-named-without-bar"),
              (std::vector<std::string>{"modProcess::OpenOutput - " + bad,
                                        "modProcess::CloseOutput - " + bad,
                                        layout.kept("04-named-without-bar", 1)}));
    EXPECT_TRUE(linesOf(layout, "05-huge-line").empty());
    EXPECT_EQ(readFile(layout.out + "/three.txt"), hugeLine);
    EXPECT_EQ(readFile(layout.out + "/e-acute.txt"), "accented");
    EXPECT_EQ(readFile(layout.out + "/newline.txt"), "line feed");
    EXPECT_EQ(readFile(layout.out + "/bar.txt"), "bar");
    EXPECT_EQ(readFile(layout.out + "/dash.txt"), "dash");
    EXPECT_EQ(readFile(layout.out + "/leftover.txt"), "left behind");
    EXPECT_EQ(readFile(layout.out + "/invalid.txt"), "invalid");

    // A directory and a link to nowhere are never jobs; they stay, and hold up nothing. "failed"
    // holds the NamedFile section without a name.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(layout.watched)) {
        left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"06-directory", "07-dangling", "failed"}));
    EXPECT_EQ(readFile(layout.watched + "/06-directory/inner"), "@!@1inner");
    expectRunningAndStop(pid);
}
