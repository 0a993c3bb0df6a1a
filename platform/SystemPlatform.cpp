#include "platform/Platform.h"

namespace platform {
namespace {

class SystemPlatform final : public Platform {
public:
    Spooler& spooler() override { return *spooler_; }
    WatchedDirectory& directory() override { return *directory_; }
    const Clock& clock() const override { return clock_; }
    const Locations& locations() const override { return locations_; }
    std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory) override {
        return platform::followChanges(directory);
    }

private:
    const std::unique_ptr<Spooler> spooler_ = makeSystemSpooler();
    const std::unique_ptr<WatchedDirectory> directory_ = makeSystemWatchedDirectory();
    const SystemClock clock_{};
    const Locations locations_ = systemLocations();
};

} // namespace

std::unique_ptr<Platform> makeSystemPlatform() {
    return std::make_unique<SystemPlatform>();
}

} // namespace platform
