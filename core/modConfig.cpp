#include "core/modConfig.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/ProfileFile.h"

#include <cerrno>

namespace modConfig {
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

// Sets one key of the file being written; afterwards the field holds what goes to the file,
// characters the code set cannot represent included. A value that cannot be stored (a line
// break would end it early) fails the whole save.
void writeValue(platform::ProfileWrite& file, const std::string& section, const std::string& key,
                std::string& field) {
    const std::string value = platform::toCodepage(field);
    if (!file.set(platform::toCodepage(section), platform::toCodepage(key), value)) {
        platform::throwSystemError(EINVAL);
    }
    field = platform::fromCodepage(value);
}

} // namespace

void readValue(const std::string& file, const std::string& section, const std::string& key,
               const std::string& defaultValue, std::string& destination) {
    try {
        std::string buffer(kValueBuffer, ' ');
        std::size_t copied = platform::getPrivateProfileString(
            platform::toCodepage(section), platform::toCodepage(key),
            platform::toCodepage(defaultValue), buffer.data(), kValueBuffer,
            platform::toCodepage(file));
        if (copied > kMaxValueBytes) {
            // A name or path cut short would send output somewhere else without a word.
            copied = kMaxValueBytes;
            modMain::logError(std::string(prefix::kReadValue) + "Value of [" + section + "] " +
                              key + " longer than " + std::to_string(kMaxValueBytes) +
                              " bytes, cut to " + std::to_string(kMaxValueBytes));
        }
        destination = platform::fromCodepage(std::string_view(buffer).substr(0, copied));
    } catch (const std::exception& failure) {
        destination = defaultValue;
        modMain::logFailure(prefix::kReadValue, failure);
    }
}

void getIni(Settings& settings) {
    try {
        // A file that cannot be read gives every key its default, as a missing file does, with
        // one line instead of one per key.
        bool readable = true;
        try {
            platform::probeProfileFile(platform::toCodepage(settings.strIniPath));
        } catch (const std::exception& failure) {
            modMain::logFailure(prefix::kGetIni, failure);
            readable = false;
        }
        const auto read = [readable, &settings](const std::string& section, const std::string& key,
                                                const std::string& defaultValue,
                                                std::string& field) {
            if (readable) {
                readValue(settings.strIniPath, section, key, defaultValue, field);
            } else {
                field = defaultValue;
            }
        };
        for (int output = 1; output <= kOutputs; ++output) {
            read("MAP", targetKey(output), "", settings.strMapTarget.at(output - 1));
            read("MAP", typeKey(output), "", settings.strMapType.at(output - 1));
        }
        read("MONITOR", "PATH", platform::defaultMonitorDirectory(), settings.strMonitorPath);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kGetIni, failure);
    }
}

// The nineteen keys go to the file in one replacement, so that a process stopped at any
// moment leaves either the old settings file or the new one.
bool saveIni(Settings& settings) {
    try {
        const std::string path = platform::toCodepage(settings.strIniPath);
        settings.strIniPath = platform::fromCodepage(path);
        platform::ProfileWrite file(path);
        for (int output = 1; output <= kOutputs; ++output) {
            writeValue(file, "MAP", targetKey(output), settings.strMapTarget.at(output - 1));
            writeValue(file, "MAP", typeKey(output), settings.strMapType.at(output - 1));
        }
        writeValue(file, "MONITOR", "PATH", settings.strMonitorPath);
        file.commit();
        return true;
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kSaveIni, failure);
        return false;
    }
}

} // namespace modConfig
