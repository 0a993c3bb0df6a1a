#include "tests/support/TestSupport.h"

#include "core/LogTexts.h"
#include "platform/Paths.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

// A name that no other directory of the temporary directory has: made with a random part
// until the system makes a new directory under it.
TempDir::TempDir() {
    static std::mt19937_64 random(std::random_device{}());
    const std::filesystem::path parent = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            parent / ("tarvo-test-" + std::to_string(random() % 1000000000000));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

std::vector<std::string> logLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = readFile(path);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> logMessages(const std::string& path) {
    std::vector<std::string> messages;
    for (const std::string& line : logLines(path)) {
        const std::size_t separator = line.find(" - ");
        messages.push_back(separator == std::string::npos ? line : line.substr(separator + 3));
    }
    return messages;
}

std::vector<std::string> routingMessages(const std::string& path) {
    std::vector<std::string> messages = logMessages(path);
    std::erase_if(messages,
                  [](const std::string& m) { return m.starts_with(logtext::kProcessing); });
    return messages;
}

std::vector<std::string> failureMessages(const std::string& path) {
    std::vector<std::string> messages = routingMessages(path);
    std::erase_if(messages,
                  [](const std::string& m) { return m.starts_with(logtext::kKeepSection); });
    return messages;
}

namespace {

// The sandbox's locations: the executable's name is the real one, so that the program's own
// files are told apart as the program tells them.
platform::Locations sandboxLocations(const TempDir& directory, const TempDir& home) {
    // The single-instance lock lives in the home directory, which must be private whatever the
    // umask: each sandbox has its own.
    std::filesystem::permissions(home.path(), std::filesystem::perms::owner_all);
    platform::Locations locations = platform::systemLocations();
    locations.applicationDirectory = directory.path();
    locations.homeDirectory = home.path();
    locations.settingsFile = directory.file("tarvo.ini");
    locations.logFile = directory.file("Tarvo.log");
    return locations;
}

} // namespace

AppSandbox::AppSandbox()
    : platform_(sandboxLocations(dir_, home_), fixedTime()), application_(platform_, alerts_) {}

std::time_t AppSandbox::fixedTime() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 14;
    local.tm_min = 7;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

} // namespace testsupport
