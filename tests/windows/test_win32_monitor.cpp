// The monitor on the Windows platform's files and change notifications: it sleeps while nothing
// changes, its own hand-offs wake it for nothing, and no change read between two ticks of a burst
// is lost.
#include "core/Settings.h"
#include "monitor/Monitor.h"
#include "platform/test/FaultyWatchedDirectory.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace {

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::writeFile;

class Host final : public monitor::MonitorHost {
public:
    void setTrayTooltip(const std::string&) override {}
};

// A watched folder whose nine outputs are "File" outputs out1 to out9 in another folder.
class WindowsMonitor : public ::testing::Test {
protected:
    WindowsMonitor() {
        for (int i = 0; i < core::kOutputs; ++i) {
            settings.outputs[i].type = "File";
            settings.outputs[i].target = out.file("out" + std::to_string(i + 1));
        }
        sandbox.platform().useDirectory(&directory);
        monitor = std::make_unique<monitor::Monitor>(host, settings, watched, sandbox.platform(),
                                                     sandbox.log(), unobserved);
    }
    ~WindowsMonitor() override { sandbox.platform().useDirectory(nullptr); }

    // Writes a job of one section for output n under a name beginning with ".", then gives it
    // its own name, as careful writers do.
    void drop(const std::string& name, int n) {
        writeFile(watched + "\\." + name, "@!@" + std::to_string(n) + name);
        ASSERT_TRUE(MoveFileA((watched + "\\." + name).c_str(), (watched + "\\" + name).c_str()));
    }
    std::string output(int n) const { return readFile(out.file("out" + std::to_string(n))); }
    HANDLE changes() const { return reinterpret_cast<HANDLE>(monitor->changesHandle()); }
    // Whether the change handle is signalled within a second.
    bool woken() const { return WaitForSingleObject(changes(), 1000) == WAIT_OBJECT_0; }
    // Reads the changes as the event loop does, each time the handle is signalled, until they
    // may have made a job ready; false when they have not within five seconds.
    bool wokenForAJob() {
        return wintest::waitUntil(
            [this] {
                return WaitForSingleObject(changes(), 0) == WAIT_OBJECT_0 &&
                       monitor->changesReady();
            },
            5s);
    }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir watch;
    testsupport::TempDir out;
    const std::string watched = wintest::windowsPath(watch.path());
    platform::FaultyWatchedDirectory directory;
    Host host;
    routing::UnobservedDeliveries unobserved;
    core::Settings& settings = sandbox.application().settings();
    std::unique_ptr<monitor::Monitor> monitor;
};

// An idle monitor asks for no tick: the directory's changes wake it. A hand-off, with its probe
// of the folder, its rename and its progress record, wakes it for nothing.
TEST_F(WindowsMonitor, AnIdleMonitorSleepsAndItsOwnHandOffsWakeNothing) {
    EXPECT_EQ(monitor->tick(), std::nullopt);
    drop("job", 1);
    ASSERT_TRUE(wokenForAJob());
    EXPECT_EQ(monitor->tick(), std::nullopt);
    EXPECT_EQ(output(1), "job");
    while (woken()) {
        EXPECT_FALSE(monitor->changesReady());
    }
}

// A burst cut at the end of a tick's time goes on at the next tick; a job that came meanwhile,
// whose change the event loop read between the two, is taken too, without another change.
TEST_F(WindowsMonitor, AJobThatCameDuringACutBurstIsTakenWithoutAnotherChange) {
    drop("a", 1);
    drop("b", 2);
    directory.beforeRename = [this] {
        sandbox.platform().fixedClock().advance(200ms);
        directory.beforeRename = nullptr;
    };
    EXPECT_EQ(monitor->tick(), 0ms) << "the tick's time ran out after the first job";
    drop("c", 3);
    ASSERT_TRUE(wokenForAJob());
    for (int ticks = 0; ticks < 5 && monitor->tick(); ++ticks) {
    }
    EXPECT_EQ(output(1) + output(2) + output(3), "abc");
}

} // namespace
