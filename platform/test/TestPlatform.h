#pragma once

#include "platform/AlertBox.h"
#include "platform/Platform.h"
#include "platform/test/RecordingSpooler.h"

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A clock that stands still at the time it is given.
// A clock that stands still until it is moved on.
class FixedClock final : public Clock {
public:
    explicit FixedClock(std::time_t time) : time_(time), start_(time) {}
    std::time_t now() const override { return time_; }
    std::chrono::steady_clock::time_point steadyNow() const override { return steady_; }
    // Moves both times on.
    void advance(std::chrono::milliseconds by) {
        steady_ += by;
        elapsed_ += by;
        time_ = start_ + std::chrono::duration_cast<std::chrono::seconds>(elapsed_).count();
    }

private:
    std::time_t time_;
    const std::time_t start_;
    std::chrono::steady_clock::time_point steady_{};
    std::chrono::milliseconds elapsed_{0};
};

// A message box that only keeps the texts it was asked to show.
class RecordingAlertBox final : public AlertBox {
public:
    void show(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// A test platform: given locations, a fixed clock, the recording spooler, the system's directory.
class TestPlatform final : public Platform {
public:
    TestPlatform(Locations locations, std::time_t time);

    Spooler& spooler() override { return *spooler_; }
    WatchedDirectory& directory() override { return *directory_; }
    const Clock& clock() const override { return clock_; }
    const Locations& locations() const override { return locations_; }
    std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory) override {
        return platform::followChanges(directory);
    }

    // Replaces the spooler or the directory operations, which must outlive their use; nullptr
    // restores the recording spooler, or the system's directory operations.
    void useSpooler(Spooler* spooler) { spooler_ = spooler ? spooler : &recordingSpooler; }
    void useDirectory(WatchedDirectory* directory) {
        directory_ = directory ? directory : systemDirectory_.get();
    }

    RecordingSpooler recordingSpooler;
    FixedClock& fixedClock() { return clock_; }

private:
    const Locations locations_;
    FixedClock clock_;
    const std::unique_ptr<WatchedDirectory> systemDirectory_ = makeSystemWatchedDirectory();
    Spooler* spooler_ = &recordingSpooler;
    WatchedDirectory* directory_ = systemDirectory_.get();
};

} // namespace platform
