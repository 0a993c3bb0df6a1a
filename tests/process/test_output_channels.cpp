#include "ProcessFixture.h"

#include <algorithm>
#include <array>
#include <filesystem>

using Lines = std::vector<std::string>;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::size_t filesIn(const std::string& directory) {
    auto entries = std::filesystem::directory_iterator(directory);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

} // namespace

TEST_P(ProcessTest, TypeNamesMatchExactlyOrTheSectionIsDropped) {
    const std::vector<std::string> types = {"ticket", "Ticket ", "DupTicket",
                                            "",       "NotUsed", "FILE"};
    for (std::size_t i = 0; i < types.size(); ++i) {
        setRow(static_cast<int>(i) + 1, types[i], "P1");
    }
    runJob("@!@1a@!@2b@!@3c@!@4d@!@5e@!@6f");
    EXPECT_EQ(spooler.calls, Lines{"beginJob"});
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(filesIn(out.path()), 0u);
}

TEST_P(ProcessTest, UnknownPrinterGivesOneLinePerSection) {
    setRow(1, "Ticket", "Nope");
    setRow(2, "Label", "");
    setRow(3, "Report", "P3");
    runJob("@!@1a@!@2b@!@1c@!@3d");
    EXPECT_EQ(log(), Lines(3, "Printer Name not recognized."));
    ASSERT_EQ(spooler.documents.size(), 1u);
    EXPECT_EQ(spooler.documents[0].printer, "P3");
}

TEST_P(ProcessTest, SpoolerFailuresAreLoggedAndThePrinterIsClosed) {
    struct Case {
        std::string failOn;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"startDocument", "modProcess::OpenOutput - The spooler failed"},
        {"startPage", "modProcess::OpenOutput - The spooler failed"},
        {"write", "modProcess::CloseOutput - The spooler failed"},
        {"endPage", "modProcess::CloseOutput - The spooler failed"},
        {"endDocument", "modProcess::CloseOutput - The spooler failed"},
    };
    setRow(1, "Ticket", "P1");
    setRow(2, "File", outPath("after.txt"));
    for (const Case& c : cases) {
        std::filesystem::remove(sandbox.logPath());
        spooler.failOn = c.failOn;
        runJob("@!@1ticket@!@2after");
        EXPECT_EQ(log(), Lines{c.line}) << c.failOn;
        EXPECT_EQ(spooler.openPrinters(), 0) << c.failOn;
        EXPECT_EQ(spooler.calls.back(), "close") << c.failOn;
        // Nothing more of a section is written after a write of it failed.
        if (c.failOn == "write") {
            EXPECT_EQ(std::count(spooler.calls.begin(), spooler.calls.end(), "write"), 1);
        }
        // The job goes on with its next section.
        EXPECT_EQ(readFile(outPath("after.txt")), "after") << c.failOn;
        spooler.calls.clear();
    }
}

// A target cut short in the settings file would send the sections somewhere else: its row is
// not used, whatever its type, and the other rows are.
TEST_P(ProcessTest, ARowWhoseTargetWasCutIsNotUsed) {
    const std::string cutPath = outPath("cut");
    setRow(1, "File", cutPath);
    setRow(2, "Ticket", "P2");
    setRow(3, "Ticket", "P3");
    setRow(4, "NotUsed", "anything");
    for (int n : {1, 2, 4}) {
        settings.outputs[static_cast<std::size_t>(n - 1)].targetCut = true;
    }
    runJob("@!@1file@!@2ticket@!@3printed@!@4dropped");
    const std::string cut = "modProcess::OpenOutput - The target was cut to 254 bytes in the "
                            "settings file";
    EXPECT_EQ(log(), (std::vector<std::string>{cut, cut}));
    EXPECT_FALSE(testsupport::exists(cutPath));
    EXPECT_EQ(printed(),
              (std::vector<std::pair<std::string, std::string>>{{"P3", "printed\r\n\r\n\r\n"}}));
}

TEST_P(ProcessTest, FileOutputIsEmptiedAndWrittenFromItsFirstByte) {
    setRow(5, "File", outPath("f.txt"));
    writeFile(outPath("f.txt"), "a much longer earlier content");
    runJob("@!@5short\r\n");
    EXPECT_EQ(readFile(outPath("f.txt")), "short");
    // Two sections for the same file: the second replaces the first.
    runJob("@!@5first\xFF@!@5second\r\nline\n");
    EXPECT_EQ(readFile(outPath("f.txt")), "second\r\nline");
    EXPECT_TRUE(log().empty());
    // A section with nothing to deliver leaves the file as it was.
    runJob("@!@5\r\n");
    EXPECT_EQ(readFile(outPath("f.txt")), "second\r\nline");
    EXPECT_EQ(log(), (Lines{kAddTrailerEmpty, kCloseOutputEmpty}));
}

TEST_P(ProcessTest, FileThatCannotBeOpenedLogsOpenThenCloseInJobOrder) {
    setRow(5, "File", out.file("missing/f.txt"));
    setRow(1, "Ticket", "Nope");
    runJob("@!@5abc@!@1T");
    const Lines lines = log();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "modProcess::OpenOutput - No such file or directory");
    EXPECT_EQ(lines[1], kCloseOutputNoFile);
    EXPECT_EQ(lines[2], "Printer Name not recognized.");
    EXPECT_EQ(filesIn(out.path()), 0u);
}

TEST_P(ProcessTest, NamedFileTakesItsNameFromTheJob) {
    setRow(7, "NamedFile", out.path());
    const std::string example("\x40\x21\x40\x37\x20"
                              "A1.TXT\x7C"
                              "DATA\r\n",
                              18);
    runJob(example);
    EXPECT_EQ(readFile(outPath("A1.TXT")), "DATA");

    // 0xFF stays in the name and becomes 0x0C in the data; a trailing separator stays.
    setRow(7, "NamedFile", out.path() + "/");
    runJob("@!@7 A\xFF.TXT|x\xFF");
    EXPECT_EQ(readFile(outPath("A\xFF.TXT")), "x\x0C");

    // The longest name: "|" at position 100.
    const std::string longName(95, 'n');
    runJob("@!@7 " + longName + "|long");
    EXPECT_EQ(readFile(outPath(longName)), "long");
    EXPECT_TRUE(log().empty());
}

TEST_P(ProcessTest, NamedFileNameThatWouldLeaveItsDirectoryIsRefused) {
    setRow(7, "NamedFile", out.path());
    setRow(1, "Report", "P1");
    const std::vector<std::string> names = {
        "../up", "a/b", "a\\b", "c:x", ".", "..", std::string("a\x00", 2), "tab\there", "del\x7F"};
    for (const std::string& name : names) {
        std::filesystem::remove(sandbox.logPath());
        spooler.documents.clear();
        runJob("@!@7 " + name + "|secret@!@1next");
        EXPECT_EQ(log(),
                  (Lines{"modProcess::OpenOutput - File name not allowed", kCloseOutputNoFile}))
            << testing::PrintToString(name);
        EXPECT_EQ(printed(), (std::vector<std::pair<std::string, std::string>>{{"P1", "next"}}));
    }
    EXPECT_EQ(filesIn(out.path()), 0u);
    // The log, and "failed" with the sections refused: nothing escaped into the directory.
    EXPECT_EQ(filesIn(sandbox.dir().path()), 2u);
    EXPECT_EQ(filesIn(sandbox.dir().file("failed")), names.size());
}

TEST_P(ProcessTest, OnlyTheAdministratorsFileTargetsAreFollowedThroughLinks) {
    testsupport::TempDir elsewhere;
    writeFile(elsewhere.file("victim"), "precious");
    std::filesystem::create_symlink(elsewhere.file("victim"), outPath("link"));
    std::filesystem::create_symlink(elsewhere.file("created"), outPath("dangling"));
    writeFile(sandbox.iniPath(), "[settings]\n");
    // Links in a NamedFile's place, the program's own files, and a directory left empty (whose
    // "tmp" would be the root's) are all refused.
    const std::vector<std::array<std::string, 2>> refused = {{out.path(), "link"},
                                                             {out.path(), "dangling"},
                                                             {sandbox.dir().path(), "tarvo.ini"},
                                                             {sandbox.dir().path(), "Tarvo.log"},
                                                             {"", "tmp"}};
    for (const auto& [directory, name] : refused) {
        std::filesystem::remove(sandbox.logPath());
        setRow(7, "NamedFile", directory);
        runJob("@!@7 " + name + "|overwritten");
        EXPECT_EQ(log(),
                  (Lines{"modProcess::OpenOutput - File name not allowed", kCloseOutputNoFile}))
            << name;
    }
    EXPECT_EQ(readFile(elsewhere.file("victim")), "precious");
    EXPECT_FALSE(exists(elsewhere.file("created")));
    EXPECT_EQ(readFile(sandbox.iniPath()), "[settings]\n");

    // A "File" target is the administrator's: a link there, to a device say, is followed.
    setRow(5, "File", outPath("link"));
    runJob("@!@5to the link's target");
    EXPECT_EQ(readFile(elsewhere.file("victim")), "to the link's target");
}

TEST_P(ProcessTest, MalformedNamedFileHeaderIsAFailedOpen) {
    setRow(7, "NamedFile", out.path());
    setRow(1, "Report", "P1");
    const std::vector<std::string> jobs = {
        "@!@7 no terminator at all@!@1next",              // no "|" before the next section
        "@!@7 " + std::string(96, 'n') + "|late@!@1next", // "|" at position 101
        "@!@1next@!@7 name|lost",                         // marker not at position 0
    };
    for (const std::string& job : jobs) {
        std::filesystem::remove(sandbox.logPath());
        spooler.documents.clear();
        runJob(job);
        EXPECT_EQ(log(),
                  (Lines{"modProcess::OpenOutput - Bad file name or number", kCloseOutputNoFile}))
            << job;
        EXPECT_EQ(printed(), (std::vector<std::pair<std::string, std::string>>{{"P1", "next"}}))
            << job;
    }
    // A header cut short by the end of the job.
    std::filesystem::remove(sandbox.logPath());
    runJob("@!@7 abc");
    EXPECT_EQ(log(),
              (Lines{"modProcess::OpenOutput - Bad file name or number", kCloseOutputNoFile}));
    // An empty name names the directory itself, which cannot be opened for writing.
    std::filesystem::remove(sandbox.logPath());
    runJob("@!@7 |data");
    const Lines lines = log();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("modProcess::OpenOutput - ", 0), 0u);
    EXPECT_EQ(lines[1], kCloseOutputNoFile);
    EXPECT_EQ(filesIn(out.path()), 0u);
}

TEST_P(ProcessTest, NoDataStartOfAnEarlierJobIsReused) {
    setRow(7, "NamedFile", out.path());
    setRow(2, "Report", "P2");
    setRow(1, "Report", "P1");
    runJob("@!@7 named.txt|named data");
    EXPECT_EQ(readFile(outPath("named.txt")), "named data");

    // A NamedFile marker at position 6 of the next job resumes the scan 4 bytes after it, not
    // at the previous job's data start.
    runJob("@!@2AB@!@7xyz@!@1T");
    EXPECT_EQ(printed(),
              (std::vector<std::pair<std::string, std::string>>{{"P2", "AB"}, {"P1", "T"}}));
    EXPECT_EQ(log(),
              (Lines{"modProcess::OpenOutput - Bad file name or number", kCloseOutputNoFile}));

    // A job without markers delivers nothing.
    runJob("plain data");
    EXPECT_EQ(spooler.documents.size(), 2u);
    EXPECT_EQ(spooler.openPrinters(), 0);
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProcessTest, ::testing::ValuesIn(kBlockSizes));
