#include "tests/load/LoadSupport.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>

namespace load {

std::string settingsText(const std::string& watched, const std::vector<Row>& rows) {
    std::string text = "[MAP]\r\n";
    for (const Row& row : rows) {
        const std::string n = std::to_string(row.output);
        text += "@@" + n + "@=" + row.target + "\r\n";
        text += "Type" + n + "=" + row.type + "\r\n";
    }
    return text + "[MONITOR]\r\nPATH=" + watched + "\r\n";
}

Layout::Layout() {
    std::filesystem::create_directory(watched);
    std::filesystem::create_directory(out);
}

void Layout::configure(const std::vector<Row>& rows) const {
    testsupport::writeFile(install.iniPath(), settingsText(watched, rows));
}

bool waitForLog(const Layout& layout, const std::vector<std::string>& expected,
                std::chrono::milliseconds timeout) {
    return testsupport::waitUntil([&] { return layout.log() == expected; }, timeout);
}

bool waitForContent(const std::string& path, const std::string& bytes,
                    std::chrono::milliseconds timeout) {
    return testsupport::waitUntil([&] { return testsupport::readFile(path) == bytes; }, timeout);
}

std::unique_ptr<SmallFileSystem> SmallFileSystem::mount(const std::string& path,
                                                        const std::string& size, std::string& why) {
    std::filesystem::create_directory(path);
    const std::string options = "size=" + size;
    if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why = "cannot mount a tmpfs here: " + std::string(std::strerror(errno));
        return nullptr;
    }
    return std::unique_ptr<SmallFileSystem>(new SmallFileSystem(path));
}

SmallFileSystem::~SmallFileSystem() {
    // Detached, so that a file still open there cannot keep it mounted.
    ::umount2(path_.c_str(), MNT_DETACH);
}

bool SmallFileSystem::setReadOnly(bool readOnly, std::string& why) {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    if (::mount("tmpfs", path_.c_str(), "tmpfs", flags, nullptr) != 0) {
        why = "cannot remount the tmpfs: " + std::string(std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace load
