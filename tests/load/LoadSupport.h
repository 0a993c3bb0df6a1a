#pragma once

#include "tests/support/posix/TarvoProcess.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

// What the load and fault tests share: an installed program with a watched directory and an
// output directory of its own, its log, and small file systems that can be filled or made
// read-only.
namespace load {

// One row of the output map.
struct Row {
    int output;
    std::string target;
    std::string type;
};

// The text of a settings file that maps the rows and watches the directory.
std::string settingsText(const std::string& watched, const std::vector<Row>& rows);

// A copy of the program whose settings watch DIR/jobs; DIR/out is there for its outputs.
struct Layout {
    testsupport::TarvoInstall install;
    std::string watched = install.dir().file("jobs");
    std::string out = install.dir().file("out");

    Layout();
    // Writes the settings file: the rows, and the watched directory.
    void configure(const std::vector<Row>& rows) const;

    std::vector<std::string> log() const { return install.logMessages(); }
    std::string processing(const std::string& name) const {
        return "Processing " + watched + "/" + name;
    }
    // The line of section n of the job kept in "failed".
    std::string kept(const std::string& job, int n) const {
        const std::string section = std::to_string(n);
        return "modProcess::KeepSection - Section " + section + " of " + job + " kept as " +
               watched + "/failed/" + job + ".section" + section;
    }
};

// Waits until the log says exactly EXPECTED; false when it did not within the timeout.
bool waitForLog(const Layout& layout, const std::vector<std::string>& expected,
                std::chrono::milliseconds timeout = std::chrono::seconds(15));

// Waits until the file holds exactly BYTES.
bool waitForContent(const std::string& path, const std::string& bytes,
                    std::chrono::milliseconds timeout = std::chrono::seconds(15));

// A tmpfs of SIZE mounted on a new directory PATH for the life of the object.
class SmallFileSystem {
public:
    // nullptr, with the reason in WHY, when the system does not let the test mount one.
    static std::unique_ptr<SmallFileSystem> mount(const std::string& path, const std::string& size,
                                                  std::string& why);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    const std::string& path() const { return path_; }
    // Remounts it read-only or writable again; false with the reason in WHY when refused.
    bool setReadOnly(bool readOnly, std::string& why);

private:
    explicit SmallFileSystem(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

} // namespace load
