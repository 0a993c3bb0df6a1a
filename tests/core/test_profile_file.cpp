#include "platform/Failure.h"
#include "platform/ProfileFile.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

// The same cases run against the POSIX profile code and against the Windows build, which uses
// the system's own profile functions. Where Windows answers otherwise, the case says so and
// expects Windows' answer.
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

using namespace std::string_literals;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// What a read of the key delivers, checked for its terminating zero.
std::string get(const std::string& path, std::string_view section, std::string_view key,
                std::string_view defaultValue = "DEFAULT", std::size_t size = 255) {
    std::string buffer(size + 1, '#');
    const std::size_t count =
        platform::readProfileValue(section, key, defaultValue, buffer.data(), size, path);
    EXPECT_LT(count, size == 0 ? 1 : size);
    if (size > 0) {
        EXPECT_EQ(buffer[count], '\0');
    }
    return buffer.substr(0, count);
}

bool put(const std::string& path, std::string_view section, std::string_view key,
         std::string_view value) {
    return platform::writeProfileValue(section, key, value, path);
}

std::vector<std::string> namesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(ProfileRead, ValueLosesBlanksAndOnePairOfEnclosingQuotes) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    writeFile(ini, "[map]\r\n"
                   "  type1 \t=  Ticket \t\r\n"
                   "dq=\"  inside  \"\r\n"
                   "sq=  'single'  \r\n"
                   "twice=\"\"x\"\"\r\n"
                   "open=\"unmatched\r\n"
                   "mixed=\"a'\r\n"
                   "one=\"\r\n"
                   "semi=a ; b;c\r\n"
                   "inner=a \"b\" c\r\n"
                   "eq=a=b\r\n");
    EXPECT_EQ(get(ini, "MAP", "TYPE1"), "Ticket");
    EXPECT_EQ(get(ini, "Map", "dq"), "  inside  ");
    EXPECT_EQ(get(ini, "MAP", "sq"), "single");
    EXPECT_EQ(get(ini, "MAP", "twice"), "\"x\"");
    EXPECT_EQ(get(ini, "MAP", "open"), "\"unmatched");
    EXPECT_EQ(get(ini, "MAP", "mixed"), "\"a'");
    EXPECT_EQ(get(ini, "MAP", "one"), "\"");
    EXPECT_EQ(get(ini, "MAP", "semi"), "a ; b;c");
    EXPECT_EQ(get(ini, "MAP", "inner"), "a \"b\" c");
    EXPECT_EQ(get(ini, "MAP", "eq"), "a=b");
}

TEST(ProfileRead, DefaultOnlyWhenFileSectionOrKeyIsMissing) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    EXPECT_EQ(get(ini, "MAP", "a"), "DEFAULT");
    EXPECT_FALSE(testsupport::exists(ini)) << "a read never creates the file";
    // A path through a regular file names no file either.
    EXPECT_EQ(get(dir.file("tarvo.ini/x.ini"), "MAP", "a"), "DEFAULT");

    writeFile(ini, "; comment a=1\n"
                   "a=outside\n"
                   "[MAP]\n"
                   "empty=\n"
                   "blank=   \n"
                   "quotes=\"\"\n"
                   "PATH\n"
                   ";b=commented\n"
                   "[OTHER]\n"
                   "b=elsewhere\n");
    EXPECT_EQ(get(ini, "MAP", "empty"), "");
    EXPECT_EQ(get(ini, "MAP", "blank"), "");
    EXPECT_EQ(get(ini, "MAP", "quotes"), "");
    EXPECT_EQ(get(ini, "MAP", "a"), "DEFAULT") << "keys before any section belong to none";
    EXPECT_EQ(get(ini, "MAP", "b"), "DEFAULT") << "keys of the next section are not this one's";
    EXPECT_EQ(get(ini, "MAP", "PATH"), "DEFAULT") << "a line without = is no key";
    // Windows knows no comment lines: one that reads as a key is one.
    EXPECT_EQ(get(ini, "MAP", ";b"), kWindows ? "commented" : "DEFAULT");
    EXPECT_EQ(get(ini, "NONE", "b"), "DEFAULT");
    EXPECT_EQ(get(ini, "OTHER", "b"), "elsewhere");
}

TEST(ProfileRead, CopyIsCutToTheBuffer) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    const std::string longValue(300, 'x');
    writeFile(ini, "[MAP]\r\nlong=" + longValue + "\r\nq=\"" + longValue + "\"\r\nshort=abc\r\n");
    EXPECT_EQ(get(ini, "MAP", "long"), longValue.substr(0, 254));
    EXPECT_EQ(get(ini, "MAP", "q"), longValue.substr(0, 254)) << "quotes go before the cut";
    EXPECT_EQ(get(ini, "MAP", "missing", longValue), longValue.substr(0, 254));
    EXPECT_EQ(get(ini, "MAP", "short", "", 3), "ab");
    EXPECT_EQ(get(ini, "MAP", "short", "", 1), "");

    char untouched = '#';
    EXPECT_EQ(platform::readProfileValue("MAP", "short", "", &untouched, 0, ini), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(ProfileRead, FirstOfDuplicateSectionsAndKeysCounts) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    writeFile(ini, "[MAP]\na=first\nA=second\n[OTHER]\nx=1\n[map]\na=third\nb=later\n");
    EXPECT_EQ(get(ini, "MAP", "a"), "first");
    EXPECT_EQ(get(ini, "MAP", "b"), "DEFAULT");
}

TEST(ProfileRead, MessyFilesGiveTheBestReading) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    const std::string huge(100 * 1024, 'z');
    struct Case {
        std::string name;
        std::string bytes;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"byte-order mark", "\xEF\xBB\xBF[MAP]\nk=v\n", "v"},
        {"no final line end", "[MAP]\r\nk=v", "v"},
        {"CR line ends", "[MAP]\rother=1\rk=v\r", "v"},
        {"mixed line ends", "[MAP]\r\nother=1\nk=v\r\n", "v"},
        {"CR CR LF", "[MAP]\r\r\nk=v\r\r\n", "v"},
        {"NUL ends the value", "[MAP]\nk=v\0junk\n"s, "v"},
        {"NUL and binary lines", "\x01\xFF\0\x02\n[MAP]\n\x80\0=\xFE\nk=v\n"s, "v"},
        {"huge line before", "[MAP]\n" + huge + "\nk=v\n", "v"},
        {"huge key line before", "[MAP]\nbig=" + huge + "\nk=v\n", "v"},
        {"huge value", "[MAP]\nk=" + huge + "\n", std::string(254, 'z')},
        {"header without bracket", "[MAP]\n[BROKEN\nk=v\n", "v"},
        {"header with comment", "  [ MAP ] ; outputs\n  k = v\n", "v"},
        {"empty file", "", "DEFAULT"},
        {"only line ends", "\n\r\n\r", "DEFAULT"},
    };
    for (const Case& c : cases) {
        writeFile(ini, c.bytes);
        EXPECT_EQ(get(ini, "MAP", "k"), c.expected) << c.name;
    }
}

TEST(ProfileRead, AFileThatExistsButCannotBeReadFails) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("tarvo.ini"));
    char buffer[255];
    EXPECT_THROW(
        platform::readProfileValue("MAP", "k", "d", buffer, sizeof buffer, dir.file("tarvo.ini")),
        platform::Failure);
}

TEST(ProfileWrite, NewFileAndNewSectionsUseCrLf) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    EXPECT_TRUE(put(ini, "MAP", "a", "1"));
    EXPECT_TRUE(put(ini, "MAP", "b", ""));
    EXPECT_TRUE(put(ini, "MONITOR", "PATH", "/x y"));
    EXPECT_EQ(readFile(ini), "[MAP]\r\na=1\r\nb=\r\n[MONITOR]\r\nPATH=/x y\r\n");

    // A one-line file without a line end gives no style of its own.
    writeFile(ini, "; settings");
    EXPECT_TRUE(put(ini, "MAP", "a", "1"));
    EXPECT_EQ(readFile(ini), "; settings\r\n[MAP]\r\na=1\r\n");

    writeFile(ini, "");
    EXPECT_TRUE(put(ini, "MAP", "a", "1"));
    EXPECT_EQ(readFile(ini), "[MAP]\r\na=1\r\n");
}

TEST(ProfileWrite, ReplacesTheValueInPlaceAndKeepsEveryOtherLine) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    writeFile(ini, "; Tarvo settings\n"
                   "\n"
                   "[Extra]\n"
                   "path=keep me\n"
                   "[map]\n"
                   "  @@1@ = old target ; with comment\n"
                   "TYPE1=Ticket\n"
                   "unknown=stays\n"
                   "\n"
                   "[MONITOR]\n"
                   "PATH = /old\n");
    EXPECT_TRUE(put(ini, "MAP", "@@1@", "new target"));
    EXPECT_TRUE(put(ini, "MAP", "Type1", ""));
    EXPECT_TRUE(put(ini, "MONITOR", "PATH", "/new"));
    // Windows writes the whole file anew: CR LF line ends, no blank lines, and a key that it
    // replaces as "key=value".
    EXPECT_EQ(readFile(ini), kWindows ? "; Tarvo settings\r\n"
                                        "[Extra]\r\n"
                                        "path=keep me\r\n"
                                        "[map]\r\n"
                                        "@@1@=new target\r\n"
                                        "TYPE1=\r\n"
                                        "unknown=stays\r\n"
                                        "[MONITOR]\r\n"
                                        "PATH=/new\r\n"
                                      : "; Tarvo settings\n"
                                        "\n"
                                        "[Extra]\n"
                                        "path=keep me\n"
                                        "[map]\n"
                                        "  @@1@ = new target\n"
                                        "TYPE1=\n"
                                        "unknown=stays\n"
                                        "\n"
                                        "[MONITOR]\n"
                                        "PATH = /new\n");
    EXPECT_EQ(get(ini, "MAP", "@@1@"), "new target");
    EXPECT_EQ(get(ini, "MAP", "Type1"), "");
}

TEST(ProfileWrite, NewKeyGoesAfterTheLastKeyOfItsSection) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    // Windows writes the whole file anew (CR LF line ends, no blank lines, every line cut at a
    // NUL byte) and puts a new key after the last line of its section, comments included.
    struct Case {
        std::string name;
        std::string before;
        std::string after;
        std::string afterOnWindows;
    };
    const std::vector<Case> cases = {
        {"blank line and comment before next section",
         "[MAP]\r\na=1\r\n\r\n; monitor\r\n[MONITOR]\r\n",
         "[MAP]\r\na=1\r\nk=v\r\n\r\n; monitor\r\n[MONITOR]\r\n",
         "[MAP]\r\na=1\r\n; monitor\r\nk=v\r\n[MONITOR]\r\n"},
        {"comment between keys", "[MAP]\na=1\n; note\nb=2\n\n", "[MAP]\na=1\n; note\nb=2\nk=v\n\n",
         "[MAP]\r\na=1\r\n; note\r\nb=2\r\nk=v\r\n"},
        {"section without keys", "[MAP]\n; nothing yet\n[X]\n", "[MAP]\nk=v\n; nothing yet\n[X]\n",
         "[MAP]\r\n; nothing yet\r\nk=v\r\n[X]\r\n"},
        {"last section without final line end", "[MAP]\na=1", "[MAP]\na=1\nk=v\n",
         "[MAP]\r\na=1\r\nk=v\r\n"},
        {"last section ends in a comment", "[MAP]\na=1\n; end", "[MAP]\na=1\nk=v\n; end",
         "[MAP]\r\na=1\r\n; end\r\nk=v\r\n"},
        {"header is the last line", "[MAP]", "[MAP]\r\nk=v\r\n", "[MAP]\r\nk=v\r\n"},
        {"duplicate section", "[MAP]\na=1\n[map]\nk=old\n", "[MAP]\na=1\nk=v\n[map]\nk=old\n",
         "[MAP]\r\na=1\r\nk=v\r\n[map]\r\nk=old\r\n"},
        {"duplicate key", "[MAP]\nK=1\nk=2\n", "[MAP]\nK=v\nk=2\n", "[MAP]\r\nK=v\r\nk=2\r\n"},
        {"byte-order mark", "\xEF\xBB\xBF[MAP]\r\n", "\xEF\xBB\xBF[MAP]\r\nk=v\r\n",
         "\xEF\xBB\xBF[MAP]\r\nk=v\r\n"},
        {"CR line ends", "[MAP]\ra=1\r", "[MAP]\ra=1\rk=v\r", "[MAP]\r\na=1\r\nk=v\r\n"},
        {"binary lines stay", "[MAP]\n\x01\0\xFF\nk=\0old\n"s, "[MAP]\n\x01\0\xFF\nk=v\n"s,
         "[MAP]\r\n\x01\r\nk=v\r\n"},
    };
    for (const Case& c : cases) {
        writeFile(ini, c.before);
        EXPECT_TRUE(put(ini, "MAP", "k", "v")) << c.name;
        EXPECT_EQ(readFile(ini), kWindows ? c.afterOnWindows : c.after) << c.name;
        EXPECT_EQ(get(ini, "MAP", "k"), "v") << c.name;
    }
}

TEST(ProfileWrite, LongLinesAndValuesSurvive) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    const std::string huge(300 * 1024, 'h');
    const std::string before = "[OTHER]\n" + huge + "\n[MAP]\nk=old\nbig=" + huge + "\n";
    writeFile(ini, before);
    EXPECT_TRUE(put(ini, "MAP", "k", std::string(1000, 'v')));
    // Windows writes CR LF line ends.
    const std::string end = kWindows ? "\r\n" : "\n";
    EXPECT_EQ(readFile(ini), "[OTHER]" + end + huge + end + "[MAP]" + end +
                                 "k=" + std::string(1000, 'v') + end + "big=" + huge + end);
}

TEST(ProfileWrite, RefusesWhatWouldBreakTheFile) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    const std::string before = "[MAP]\r\nk=old\r\n";
    writeFile(ini, before);
    EXPECT_FALSE(put(ini, "MAP", "k", "a\r\n[EVIL]\r\nx=1"));
    EXPECT_FALSE(put(ini, "MAP", "k", "a\nb"));
    EXPECT_FALSE(put(ini, "MAP", "k", "a\0b"s));
    EXPECT_FALSE(put(ini, "MAP", "k=x", "v"));
    EXPECT_FALSE(put(ini, "MAP", "; k", "v"));
    EXPECT_FALSE(put(ini, "MA]P", "k", "v"));
    EXPECT_EQ(readFile(ini), before);
}

TEST(ProfileWrite, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    // The settings path is a directory.
    std::filesystem::create_directory(dir.file("tarvo.ini"));
    EXPECT_FALSE(put(dir.file("tarvo.ini"), "MAP", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("tarvo.ini")));
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"tarvo.ini"});

    // The path runs through a regular file.
    writeFile(dir.file("plain"), "x");
    EXPECT_FALSE(put(dir.file("plain/tarvo.ini"), "MAP", "k", "v"));
    EXPECT_EQ(readFile(dir.file("plain")), "x");
}

#ifndef _WIN32
// A file size limit stands for a full disk: POSIX only.
TEST(ProfileWrite, AFullDiskInTheMiddleLeavesTheOldFile) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    std::string before = "[MAP]\r\nk=old\r\n";
    for (int i = 0; i < 4000; ++i) {
        before += "key" + std::to_string(i) + "=some value of this key\r\n";
    }
    writeFile(ini, before);

    // A file size limit makes the temporary file's writes fail part way, as a full disk does.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 16 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = put(ini, "MAP", "k", "new");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(readFile(ini), before);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"tarvo.ini"});
}

#endif

TEST(ProfileWrite, AReadOnlyFileIsRefusedAndKeptAsItWas) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    const std::string before = "[MAP]\r\nk=old\r\n";
    writeFile(ini, before);
    // No write permission for anyone (on Windows the read-only attribute): refused even for
    // the superuser the tests may run as.
    namespace fs = std::filesystem;
    const fs::perms readOnly =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(ini, readOnly);
    EXPECT_FALSE(put(ini, "MAP", "k", "new"));
    EXPECT_EQ(fs::status(ini).permissions() & fs::perms::all, readOnly);
    EXPECT_EQ(readFile(ini), before);
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"tarvo.ini"});
}

TEST(ProfileWrite, SeveralKeysReachTheFileTogetherOrNotAtAll) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    writeFile(ini, "[MAP]\nk=old\n; note\n");
    {
        platform::ProfileWrite write(ini);
        EXPECT_TRUE(write.set("MAP", "k", "new"));
        EXPECT_TRUE(write.set("MONITOR", "PATH", "/jobs"));
        // Until the commit the file is as it was.
        EXPECT_EQ(readFile(ini), "[MAP]\nk=old\n; note\n");
    }
    EXPECT_EQ(readFile(ini), "[MAP]\nk=old\n; note\n");

    platform::ProfileWrite write(ini);
    EXPECT_TRUE(write.set("MAP", "k", "new"));
    EXPECT_FALSE(write.set("MAP", "bad", "two\nlines"));
    EXPECT_TRUE(write.set("MONITOR", "PATH", "/jobs"));
    write.commit();
    EXPECT_EQ(readFile(ini), kWindows ? "[MAP]\r\nk=new\r\n; note\r\n[MONITOR]\r\nPATH=/jobs\r\n"
                                      : "[MAP]\nk=new\n; note\n[MONITOR]\nPATH=/jobs\n")
        << "Windows writes CR LF line ends";
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"tarvo.ini"});
}

#ifndef _WIN32
// POSIX permissions and symbolic links (which wine cannot make).
TEST(ProfileWrite, KeepsPermissionsAndSymbolicLinks) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    writeFile(ini, "[MAP]\nk=1\n");
    ASSERT_EQ(chmod(ini.c_str(), 0640), 0);
    EXPECT_TRUE(put(ini, "MAP", "k", "2"));
    struct stat info {};
    ASSERT_EQ(stat(ini.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    const std::string link = dir.file("link.ini");
    std::filesystem::create_symlink(ini, link);
    EXPECT_TRUE(put(link, "MAP", "k", "3"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(ini), "[MAP]\nk=3\n");
}

#endif

TEST(ProfileWrite, WrittenValuesReadBackUnchanged) {
    TempDir dir;
    const std::string ini = dir.file("tarvo.ini");
    const std::vector<std::string> values = {"",
                                             "Ticket",
                                             "Dup Ticket",
                                             "/home/user/out file.txt",
                                             "a;b",
                                             "x=y",
                                             "K\xC3\xBC"
                                             "che",
                                             "it's",
                                             "\"quoted\" word",
                                             "[not a section]"};
    for (const std::string& value : values) {
        EXPECT_TRUE(put(ini, "MAP", "k", value));
        EXPECT_EQ(get(ini, "map", "K"), value);
    }
    EXPECT_EQ(readFile(ini), "[MAP]\r\nk=[not a section]\r\n");
}

} // namespace
