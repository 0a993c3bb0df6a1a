#include "monitor/PassedOver.h"

#include <iterator>
#include <utility>

namespace monitor {

void PassedOver::beginListing() {
    for (auto& [path, entry] : entries_) {
        entry.reached = false;
    }
}

void PassedOver::reached(const std::string& path) {
    if (const auto found = entries_.find(path); found != entries_.end()) {
        found->second.reached = true;
    }
}

void PassedOver::endListing(const std::string& stoppedAt) {
    // The listing goes in byte order of the names, and so of the paths, which share the
    // directory: every path before the stop was reached if it is still there.
    for (auto it = entries_.begin();
         it != entries_.end() && (stoppedAt.empty() || it->first < stoppedAt);) {
        it = it->second.reached ? std::next(it) : entries_.erase(it);
    }
}

void PassedOver::leaveInPlace(const std::string& path, const platform::FileIdentity& identity) {
    entries_[path].leftAs = identity;
}

const platform::FileIdentity* PassedOver::leftInPlace(const std::string& path) const {
    const auto found = entries_.find(path);
    return found != entries_.end() && found->second.leftAs ? &*found->second.leftAs : nullptr;
}

bool PassedOver::cannotExamine(const std::string& path) {
    Entry& entry = entries_[path];
    entry.reached = true;
    return !std::exchange(entry.cannotExamine, true);
}

void PassedOver::forget(const std::string& path) {
    entries_.erase(path);
}

} // namespace monitor
