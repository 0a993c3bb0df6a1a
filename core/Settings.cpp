#include "core/Settings.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/ProfileFile.h"

#include <cerrno>
#include <charconv>
#include <string_view>
#include <utility>

namespace core {
namespace {

// One byte more than a value may have, and its terminating zero: a read that fills it tells a
// value longer than the limit from one of exactly the limit.
constexpr std::size_t kValueBuffer = kMaxValueBytes + 2;

std::string targetKey(int output) {
    return "@@" + std::to_string(output) + "@";
}

std::string typeKey(int output) {
    return "Type" + std::to_string(output);
}

// A whole number of decimal digits alone.
bool parseWholeNumber(std::string_view text, std::uint64_t& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// Afterwards field holds what goes to the file ("?" for what the code set cannot represent). A
// value that cannot be stored (a line break would end it early) fails the whole save.
void writeValue(platform::ProfileWrite& file, const std::string& section, const std::string& key,
                std::string& field) {
    const std::string value = platform::toCodepage(field);
    if (!file.set(platform::toCodepage(section), platform::toCodepage(key), value)) {
        platform::throwSystemError(EINVAL);
    }
    field = platform::fromCodepage(value);
}

} // namespace

SettingsFile::SettingsFile(std::string path, ActivityLog& log)
    : path_(std::move(path)), log_(log) {}

std::string SettingsFile::readValue(const std::string& section, const std::string& key,
                                    const std::string& defaultValue) {
    bool cut = false;
    return readValue(section, key, defaultValue, cut);
}

std::string SettingsFile::readValue(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, bool& cut) {
    cut = false;
    try {
        std::string buffer(kValueBuffer, ' ');
        std::size_t copied =
            platform::readProfileValue(platform::toCodepage(section), platform::toCodepage(key),
                                       platform::toCodepage(defaultValue), buffer.data(),
                                       kValueBuffer, platform::toCodepage(path_));
        if (copied > kMaxValueBytes) {
            copied = kMaxValueBytes;
            cut = true;
            const std::string limit = std::to_string(kMaxValueBytes);
            log_.write(std::string(logtext::kReadValue) + std::string(logtext::kValueOf) + section +
                       "] " + key + std::string(logtext::kCutAfter) + limit +
                       std::string(logtext::kCutTo) + limit);
        }
        return platform::fromCodepage(std::string_view(buffer).substr(0, copied));
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kReadValue, failure);
        return defaultValue;
    }
}

void SettingsFile::load(Settings& settings, const std::string& defaultMonitorDirectory) {
    try {
        // An unreadable file: one line instead of one per key.
        bool readable = true;
        try {
            platform::probeProfileFile(platform::toCodepage(path_));
        } catch (const std::exception& failure) {
            log_.writeFailure(logtext::kGetIni, failure);
            readable = false;
        }
        bool cut = false;
        const auto read = [this, readable, &cut](const std::string& section, const std::string& key,
                                                 const std::string& defaultValue) {
            cut = false;
            return readable ? readValue(section, key, defaultValue, cut) : defaultValue;
        };
        for (int output = 1; output <= kOutputs; ++output) {
            Output& row = settings.outputs.at(static_cast<std::size_t>(output - 1));
            row.target = read("MAP", targetKey(output), "");
            row.targetCut = cut;
            row.type = read("MAP", typeKey(output), "");
        }
        settings.monitorDirectory = read("MONITOR", "PATH", defaultMonitorDirectory);
        // A limit that is no whole number gives its default, with a line.
        const auto readNumber = [this, &read](const std::string& key, std::uint64_t defaultValue,
                                              std::string_view notWhole) {
            const std::string defaultText = std::to_string(defaultValue);
            std::uint64_t number = 0;
            if (parseWholeNumber(read("MONITOR", key, defaultText), number)) {
                return number;
            }
            log_.write(std::string(logtext::kGetIni) + std::string(logtext::kValueOf) +
                       "MONITOR] " + key + std::string(notWhole) + defaultText +
                       std::string(logtext::kUsed));
            return defaultValue;
        };
        settings.failedMaxMiB =
            readNumber("FAILEDMAX", kDefaultFailedMaxMiB, logtext::kNotWholeMiB);
        settings.printWaitSeconds =
            readNumber("PRINTWAIT", kDefaultPrintWaitSeconds, logtext::kNotWholeSeconds);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kGetIni, failure);
    }
}

bool SettingsFile::save(Settings& settings) {
    try {
        const std::string path = platform::toCodepage(path_);
        path_ = platform::fromCodepage(path);
        platform::ProfileWrite file(path);
        for (int output = 1; output <= kOutputs; ++output) {
            Output& row = settings.outputs.at(static_cast<std::size_t>(output - 1));
            writeValue(file, "MAP", targetKey(output), row.target);
            writeValue(file, "MAP", typeKey(output), row.type);
        }
        writeValue(file, "MONITOR", "PATH", settings.monitorDirectory);
        std::string failedMax = std::to_string(settings.failedMaxMiB);
        writeValue(file, "MONITOR", "FAILEDMAX", failedMax);
        std::string printWait = std::to_string(settings.printWaitSeconds);
        writeValue(file, "MONITOR", "PRINTWAIT", printWait);
        file.commit();
        return true;
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kSaveIni, failure);
        return false;
    }
}

} // namespace core
