// The settings-file reader and writer on arbitrary files: reading never fails on a file that
// exists, the loaded settings are the values read key by key, and a write that is allowed
// changes the one key only and reads back as written.
//
// Input: one byte that chooses the key to write, one byte for the length of the value, the
// value, then the bytes of the settings file.
#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "fuzz/Sandbox.h"
#include "platform/Codepage.h"
#include "platform/Paths.h"
#include "platform/ProfileFile.h"
#include "platform/test/TestPlatform.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Key {
    const char* section;
    const char* key;
};

// The keys the program reads, some in another letter case, and keys it does not know.
constexpr Key kKeys[] = {{"MAP", "@@1@"},  {"MAP", "Type1"},         {"map", "TYPE9"},
                         {"MAP", "@@9@"},  {"MONITOR", "PATH"},      {"Monitor", "path"},
                         {"MAP", "Extra"}, {"NEW", "Key"},           {"", ""},
                         {"MAP", "Type5"}, {"MONITOR", "FAILEDMAX"}, {"MONITOR", "PRINTWAIT"}};

bool sameKey(const Key& a, const Key& b) {
    const auto lower = [](std::string_view text) {
        std::string result(text);
        for (char& c : result) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return result;
    };
    return lower(a.section) == lower(b.section) && lower(a.key) == lower(b.key);
}

struct World {
    World() {
        fs::create_directory(app);
        fs::create_directory(settings);
    }

    fuzz::Sandbox sandbox;
    fs::path app = sandbox.root() / "app";
    fs::path settings = sandbox.root() / "settings";
    fs::path ini = settings / "tarvo.ini";
    platform::FixedClock clock{0};
    platform::StandardErrorAlertBox alerts;
    core::ActivityLog log{(app / "Tarvo.log").string(), clock, alerts};
};

World& world() {
    static World instance;
    return instance;
}

// The whole value of a key, or the default, read with a buffer that holds any value.
std::string read(const World& w, const Key& key, std::string_view defaultValue) {
    std::vector<char> buffer(64 * 1024);
    const std::size_t count = platform::readProfileValue(
        key.section, key.key, defaultValue, buffer.data(), buffer.size(), w.ini.string());
    return std::string(buffer.data(), count);
}

// How a value written reads back: without the blanks around it and one pair of quotes that
// encloses all of it.
std::string asRead(std::string_view value) {
    const std::size_t first = value.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    value = value.substr(first, value.find_last_not_of(" \t") - first + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// A read through the program's 255-byte buffer gives the first 254 bytes of the whole value.
void checkShortRead(const World& w, const Key& key, const std::string& whole) {
    std::array<char, 255> buffer;
    buffer.fill('#');
    const std::size_t count =
        platform::readProfileValue(key.section, key.key, "", buffer.data(), 255, w.ini.string());
    fuzz::require(count == std::min<std::size_t>(whole.size(), 254) && buffer[count] == '\0' &&
                      std::string_view(buffer.data(), count) == whole.substr(0, count),
                  std::string("cut read of ") + key.key);
}

void checkLoadedSettings(World& w) {
    core::Settings settings;
    const std::string defaultMonitorDirectory = "/default/monitor";
    core::SettingsFile(w.ini.string(), w.log).load(settings, defaultMonitorDirectory);
    // Loading logs nothing but one line for each value that it had to cut.
    std::size_t cut = 0;
    const auto loaded = [&cut](const std::string& whole) {
        cut += whole.size() > 254 ? 1 : 0;
        return platform::fromCodepage(whole.substr(0, 254));
    };
    for (int n = 1; n <= core::kOutputs; ++n) {
        const std::string target = "@@" + std::to_string(n) + "@";
        const std::string type = "Type" + std::to_string(n);
        const core::Output& output = settings.outputs[static_cast<std::size_t>(n - 1)];
        fuzz::require(output.target == loaded(read(w, {"MAP", target.c_str()}, "")),
                      "loaded target " + std::to_string(n));
        fuzz::require(output.type == loaded(read(w, {"MAP", type.c_str()}, "")),
                      "loaded type " + std::to_string(n));
    }
    fuzz::require(settings.monitorDirectory ==
                      loaded(read(w, {"MONITOR", "PATH"}, defaultMonitorDirectory)),
                  "loaded monitor path");
    // A limit is the value's digits, or the default with one line more.
    const auto limit = [&w, &cut, &loaded](const char* key, std::uint64_t defaultValue) {
        const std::string text = loaded(read(w, {"MONITOR", key}, std::to_string(defaultValue)));
        std::optional<std::uint64_t> number;
        if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
            try {
                number = std::stoull(text);
            } catch (const std::out_of_range&) {
            }
        }
        cut += number ? 0 : 1;
        return number.value_or(defaultValue);
    };
    fuzz::require(settings.failedMaxMiB == limit("FAILEDMAX", 1024), "loaded failed limit");
    fuzz::require(settings.printWaitSeconds == limit("PRINTWAIT", 60), "loaded print wait");
    const fs::path log = w.app / "Tarvo.log";
    const std::string logged = fs::exists(log) ? fuzz::readBytes(log) : std::string();
    fuzz::require(std::count(logged.begin(), logged.end(), '\n') ==
                      static_cast<std::ptrdiff_t>(cut),
                  "loading logged a failure");
    fs::remove(log);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    World& w = world();
    const Key& written = kKeys[data[0] % std::size(kKeys)];
    const std::size_t valueLength = std::min<std::size_t>(data[1] % 64, size - 2);
    const std::string value(reinterpret_cast<const char*>(data) + 2, valueLength);
    const std::string file(reinterpret_cast<const char*>(data) + 2 + valueLength,
                           size - 2 - valueLength);
    fuzz::writeBytes(w.ini, file);

    std::vector<std::string> before;
    for (const Key& key : kKeys) {
        before.push_back(read(w, key, "\x01none"));
        if (before.back() != "\x01none") {
            checkShortRead(w, key, before.back());
        }
    }
    checkLoadedSettings(w);

    const bool allowed =
        platform::writeProfileValue(written.section, written.key, value, w.ini.string());
    const std::vector<std::string> entries = fuzz::listTree(w.settings);
    fuzz::require(entries == std::vector<std::string>{"tarvo.ini"}, "files left beside the ini");
    if (!allowed) {
        fuzz::require(fuzz::readBytes(w.ini) == file, "a refused write changed the file");
    } else {
        fuzz::require(read(w, written, "\x01none") == asRead(value),
                      "written value reads back as " + fuzz::printable(read(w, written, "")));
        for (std::size_t i = 0; i < std::size(kKeys); ++i) {
            if (!sameKey(kKeys[i], written)) {
                fuzz::require(read(w, kKeys[i], "\x01none") == before[i],
                              std::string("the write changed key ") + kKeys[i].section + "/" +
                                  kKeys[i].key);
            }
        }
    }
    fs::remove(w.ini);
    return 0;
}
