#include "platform/DirectoryChanges.h"

#include "platform/Codepage.h"
#include "platform/posix/Descriptor.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace platform {
namespace {

// IN_EXCL_UNLINK: an unlinked file's closes must not count against a new file of its name.
constexpr std::uint32_t kWatched = IN_CREATE | IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF |
                                   IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

constexpr std::size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;

// How long a move's old-name half waits for its new-name half; one rename reports both.
constexpr auto kMoveTimeout = std::chrono::seconds(1);

using SteadyClock = std::chrono::steady_clock;

// What the events have told of a name since its file appeared.
struct History {
    // Opens not yet closed.
    std::int64_t opens = 0;
    // Whether no open was left at some point (closed after its last open). A new file is not: its
    // creating open may be unread, or a link may name a file open elsewhere.
    bool settled = false;
    // Whether the program opened the file itself, whose opens and closes cannot be told from
    // those of others: the name's events then tell nothing.
    bool distrusted = false;
};

// The first half of a move: the history of the name that the file had, when it had one.
struct MoveStart {
    std::optional<History> history;
    SteadyClock::time_point at;
    // Whether the file had a name that no job has, as writers give a file until it is complete.
    bool fromHiddenName = false;
};

// Names beginning with "." are never jobs: writers write under such a name.
bool isHidden(const std::string& name) {
    return name.front() == '.';
}

// Whether the directory lies on a file system that other machines may change, whose changes the
// system does not report: a network share, or a user-space file system (sshfs, say).
bool isShared(const std::string& directory) {
    constexpr std::array<std::uint32_t, 8> kShared = {
        0x6969,     // NFS
        0x517B,     // SMB
        0xFE534D42, // SMB2
        0xFF534D42, // CIFS
        0x65735546, // FUSE
        0x73757245, // Coda
        0x5346414F, // AFS
        0x00C36400, // Ceph
    };
    struct statfs info {};
    return ::statfs(directory.c_str(), &info) == 0 &&
           std::find(kShared.begin(), kShared.end(), static_cast<std::uint32_t>(info.f_type)) !=
               kShared.end();
}

class InotifyChanges final : public DirectoryChanges {
public:
    explicit InotifyChanges(const std::string& directory)
        : directory_(toCodepage(directory)), inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        watch();
    }

    std::intptr_t readyHandle() const override { return inotify_.get(); }

    bool readChanges() override {
        if (inotify_.get() < 0) {
            return false;
        }
        read();
        if (watch_ < 0) {
            watch();
        }
        return std::exchange(mayBeReady_, false);
    }

    void distrust(const std::string& name) override {
        histories_[toCodepage(name)] = History{0, false, true};
    }

    bool watching() const override { return watch_ >= 0 && !shared_; }

    OpenState openState(const std::string& name) override {
        read();
        const std::string key = toCodepage(name);
        // The path may now name another directory (a link turned, a mount, a parent renamed).
        if (known(key) != OpenState::Unknown && !stillWatched()) {
            unwatch();
        }
        return known(key);
    }

private:
    OpenState known(const std::string& name) const {
        const auto found = histories_.find(name);
        if (found == histories_.end() || found->second.distrusted) {
            return OpenState::Unknown;
        }
        if (found->second.opens > 0) {
            return OpenState::Open;
        }
        return found->second.settled ? OpenState::Closed : OpenState::Unknown;
    }

    // Notes in mayBeReady_ whether the events may have made a job ready. Events that cannot be
    // taken in (no memory) are as lost: everything is forgotten.
    void read() {
        try {
            readEvents();
        } catch (const std::exception&) {
            forgetAll();
            mayBeReady_ = true;
        }
    }

    void readEvents() {
        for (;;) {
            const ssize_t got = ::read(inotify_.get(), buffer_, sizeof buffer_);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return; // EAGAIN: nothing waits any more
            }
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer_ + at);
                mayBeReady_ = apply(*event) || mayBeReady_;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
            // Room was left for another event: none waited.
            if (sizeof buffer_ - static_cast<std::size_t>(got) >= kLargestEvent) {
                return;
            }
        }
    }

    // Watches the directory the path names, when it exists; where the path came to name another
    // one meanwhile, the next call tries again.
    void watch() {
        struct stat before {};
        if (::stat(directory_.c_str(), &before) != 0) {
            return;
        }
        watch_ = ::inotify_add_watch(inotify_.get(), directory_.c_str(), kWatched);
        watched_ = before;
        shared_ = isShared(directory_);
        if (watch_ >= 0 && !stillWatched()) {
            unwatch();
        }
    }

    bool stillWatched() const {
        struct stat now {};
        return watch_ >= 0 && ::stat(directory_.c_str(), &now) == 0 &&
               now.st_dev == watched_.st_dev && now.st_ino == watched_.st_ino;
    }

    void unwatch() {
        if (watch_ >= 0) {
            ::inotify_rm_watch(inotify_.get(), watch_);
            watch_ = -1;
        }
        forgetAll();
    }

    // For lost events, or a directory that is no longer the one watched.
    void forgetAll() {
        histories_.clear();
        moves_.clear();
    }

    // Applies one event; true when it may have made a job ready.
    bool apply(const inotify_event& event) {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            forgetAll();
            return true;
        }
        if (event.wd != watch_) {
            return false; // of a watch given up earlier
        }
        if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
            // The directory left its path: whatever has the path later is watched anew, and until
            // then the monitor looks for it.
            unwatch();
            return true;
        }
        if ((event.mask & IN_ISDIR) != 0 || event.len == 0) {
            return false; // the directory itself, or a subdirectory: never a job
        }
        const std::string name(event.name);
        if ((event.mask & IN_CREATE) != 0) {
            histories_[name] = History{};
        } else if ((event.mask & IN_OPEN) != 0) {
            if (const auto found = histories_.find(name);
                found != histories_.end() && !found->second.distrusted) {
                ++found->second.opens;
            }
        } else if ((event.mask & IN_CLOSE) != 0) {
            // A job is ready once written, or once a reader that held it lets it go.
            bool released = (event.mask & IN_CLOSE_WRITE) != 0;
            if (const auto found = histories_.find(name);
                found != histories_.end() && !found->second.distrusted) {
                // A close without its open (opened before it was known) leaves nothing known.
                if (--found->second.opens < 0) {
                    histories_.erase(found);
                } else if (found->second.opens == 0) {
                    found->second.settled = true;
                    released = true;
                }
            }
            return released && !isHidden(name);
        } else if ((event.mask & IN_MOVED_FROM) != 0) {
            moveFrom(name, event.cookie);
        } else if ((event.mask & IN_MOVED_TO) != 0) {
            return moveTo(name, event.cookie) && !isHidden(name);
        } else if ((event.mask & IN_DELETE) != 0) {
            histories_.erase(name);
        }
        return false;
    }

    void moveFrom(const std::string& name, std::uint32_t cookie) {
        const auto now = SteadyClock::now();
        // Halves whose other half never came moved a file out of the directory.
        std::erase_if(moves_,
                      [&](const auto& move) { return now - move.second.at > kMoveTimeout; });
        MoveStart& move = moves_[cookie];
        move.at = now;
        move.history.reset();
        move.fromHiddenName = isHidden(name);
        if (const auto found = histories_.find(name); found != histories_.end()) {
            move.history = found->second;
            histories_.erase(found);
        }
    }

    // A move within the directory carries the old name's history (or its lack). A file moved in
    // from elsewhere has no history here: its writer may still have it open. True when the move
    // may have made a job ready: one from elsewhere, or from a name that no job has. A job given
    // another name (a hand-off, say) was there before and woke the monitor then.
    bool moveTo(const std::string& name, std::uint32_t cookie) {
        const auto move = moves_.find(cookie);
        if (move == moves_.end()) {
            histories_.erase(name);
            return true;
        }
        const bool fromHiddenName = move->second.fromHiddenName;
        if (move->second.history) {
            histories_[name] = *move->second.history;
        } else {
            histories_.erase(name);
        }
        moves_.erase(move);
        return fromHiddenName;
    }

    const std::string directory_;
    const posix::Descriptor inotify_;
    int watch_ = -1;
    // The directory watched, as it was when its watch began, and whether other machines change it.
    struct stat watched_ {};
    bool shared_ = false;
    bool mayBeReady_ = false;
    std::unordered_map<std::string, History> histories_;
    std::map<std::uint32_t, MoveStart> moves_;
    alignas(inotify_event) char buffer_[16 * kLargestEvent];
};

} // namespace

std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory) {
    return std::make_unique<InotifyChanges>(directory);
}

} // namespace platform
