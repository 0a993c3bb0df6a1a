#include "core/modConfig.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Paths.h"
#include "platform/ProfileFile.h"

namespace modConfig {
namespace {

constexpr std::size_t kValueBuffer = 255;

std::string targetKey(int output) {
    return "@@" + std::to_string(output) + "@";
}

std::string typeKey(int output) {
    return "Type" + std::to_string(output);
}

// Sets one key of the file being written. The result is not looked at; afterwards the field
// holds what goes to the file, characters the code set cannot represent included.
void writeValue(platform::ProfileWrite& file, const std::string& section, const std::string& key,
                std::string& field) {
    const std::string value = platform::toCodepage(field);
    file.set(platform::toCodepage(section), platform::toCodepage(key), value);
    field = platform::fromCodepage(value);
}

} // namespace

Settings settings;

void readValue(const std::string& file, const std::string& section, const std::string& key,
               const std::string& defaultValue, std::string& destination) {
    try {
        destination.assign(kValueBuffer, ' ');
        const std::size_t copied = platform::getPrivateProfileString(
            platform::toCodepage(section), platform::toCodepage(key),
            platform::toCodepage(defaultValue), destination.data(), kValueBuffer,
            platform::toCodepage(file));
        destination = platform::fromCodepage(std::string_view(destination).substr(0, copied));
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kReadValue, failure);
    }
}

void getIni() {
    try {
        for (int output = 1; output <= kOutputs; ++output) {
            readValue(settings.strIniPath, "MAP", targetKey(output), "",
                      settings.strMapTarget.at(output - 1));
            readValue(settings.strIniPath, "MAP", typeKey(output), "",
                      settings.strMapType.at(output - 1));
        }
        readValue(settings.strIniPath, "MONITOR", "PATH", platform::defaultMonitorDirectory(),
                  settings.strMonitorPath);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kGetIni, failure);
    }
}

// The nineteen keys go to the file in one replacement, so that a process stopped at any
// moment leaves either the old settings file or the new one.
void saveIni() {
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
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kSaveIni, failure);
    }
}

} // namespace modConfig
