#include "monitor/FileNotes.h"

#include <algorithm>
#include <utility>

namespace monitor {

// Both are in byte order: one walk through each.
void FileNotes::keepOnly(const std::vector<std::string>& names) {
    auto name = names.begin();
    for (auto note = notes_.begin(); note != notes_.end();) {
        name = std::lower_bound(name, names.end(), note->first);
        if (name != names.end() && *name == note->first) {
            ++note;
        } else {
            note = notes_.erase(note);
        }
    }
}

void FileNotes::leaveInPlace(const std::string& name, const platform::FileIdentity& identity) {
    notes_[name].leftAs = identity;
}

const platform::FileIdentity* FileNotes::leftInPlace(const std::string& name) const {
    const auto found = notes_.find(name);
    return found != notes_.end() && found->second.leftAs ? &*found->second.leftAs : nullptr;
}

bool FileNotes::firstTimeUnexaminable(const std::string& name) {
    Note& note = notes_[name];
    return !std::exchange(note.unexaminable, true);
}

FileNotes::Undecided* FileNotes::undecided(const std::string& name) {
    const auto found = notes_.find(name);
    return found != notes_.end() && found->second.undecided ? &*found->second.undecided : nullptr;
}

void FileNotes::noteUndecided(const std::string& name, const platform::FileIdentity& identity,
                              Time now) {
    notes_[name].undecided = Undecided{identity, now};
}

void FileNotes::forget(const std::string& name) {
    notes_.erase(name);
}

} // namespace monitor
