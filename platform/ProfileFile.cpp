#include "platform/ProfileFile.h"

namespace platform {

bool writeProfileValue(std::string_view section, std::string_view key, std::string_view value,
                       const std::string& path) {
    try {
        ProfileWrite write(path);
        if (!write.set(section, key, value)) {
            return false;
        }
        write.commit();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace platform
