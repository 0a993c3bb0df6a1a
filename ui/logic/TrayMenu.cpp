#include "ui/logic/TrayMenu.h"

#include "core/LogTexts.h"
#include "platform/Clock.h"

namespace ui::logic {

std::string heldBackCaption(const routing::HeldBackJob& job) {
    const routing::SpooledSection& section = job.section;
    std::string caption = section.printer + std::string(logtext::kBecause) +
                          std::string(logtext::kJobNumber) + std::to_string(section.spoolJob) +
                          std::string(logtext::kSince) + platform::generalDate(section.spooledAt);
    if (!job.message.empty()) {
        caption += std::string(logtext::kAt) + job.message;
    }
    return caption;
}

} // namespace ui::logic
