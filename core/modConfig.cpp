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

// Writes one key. The write's result is not looked at; afterwards the field and the settings
// path hold what went to the file, characters the code set cannot represent included.
void writeValue(const std::string& section, const std::string& key, std::string& field) {
    const std::string path = platform::toCodepage(settings.strIniPath);
    const std::string value = platform::toCodepage(field);
    platform::writePrivateProfileString(platform::toCodepage(section), platform::toCodepage(key),
                                        value, path);
    field = platform::fromCodepage(value);
    settings.strIniPath = platform::fromCodepage(path);
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

void saveIni() {
    try {
        for (int output = 1; output <= kOutputs; ++output) {
            writeValue("MAP", targetKey(output), settings.strMapTarget.at(output - 1));
            writeValue("MAP", typeKey(output), settings.strMapType.at(output - 1));
        }
        writeValue("MONITOR", "PATH", settings.strMonitorPath);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kSaveIni, failure);
    }
}

} // namespace modConfig
