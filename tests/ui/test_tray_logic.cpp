// The tray's status without a toolkit: the icon, the tooltip and the notifications that follow
// failures, recovery, a stopped monitor and a pause; then the tray window's behaviour over a real
// monitor, its menu and, headless, standard error.
#include "core/Settings.h"
#include "platform/Clock.h"
#include "tests/support/RecordingTrayView.h"
#include "tests/support/TestSupport.h"
#include "ui/logic/TrayController.h"
#include "ui/logic/TrayMenu.h"
#include "ui/logic/TrayStatus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using ui::logic::Notification;
using ui::logic::TrayCommand;
using ui::logic::TrayIcon;
using ui::logic::TrayStatus;

const std::string kFirst = "Tarvo - Monitor active on /jobs";
const std::string kWhen = "2026-12-07 17:41:19";

routing::UndeliveredSection unknownPrinter(int output) {
    return {output, "Nope", OutputType::Ticket, "Printer Name not recognized.",
            "/jobs/failed/job7.section" + std::to_string(output)};
}

TEST(TrayStatus, AFailureWarnsUntilSomeoneLooksOrALaterJobGoesThroughAndStopsShowFirst) {
    TrayStatus status;
    const TrayStatus::SteadyTime start;
    EXPECT_EQ(status.icon(), TrayIcon::Normal);
    EXPECT_EQ(status.tooltip(kFirst), kFirst);

    status.sectionNotDelivered(unknownPrinter(1), kWhen, start, false);
    const std::string failed = kWhen + " - Output 1: Printer Name not recognized.";
    // The job that failed ends without ending the warning; the next one that goes through does.
    status.jobEnded(false, "later");
    EXPECT_EQ(status.icon(), TrayIcon::Warning);
    EXPECT_EQ(status.tooltip(kFirst), kFirst + "\n" + failed);
    status.jobEnded(true, "later");
    EXPECT_EQ(status.icon(), TrayIcon::Normal);
    EXPECT_EQ(status.tooltip(kFirst), kFirst);

    // A job that failed as a whole warns too, until the configuration window opens.
    status.jobEnded(false, kWhen);
    EXPECT_EQ(status.tooltip(kFirst), kFirst + "\n" + kWhen + " - A job failed, see Tarvo.log");
    status.configWindowOpened();
    EXPECT_EQ(status.icon(), TrayIcon::Normal);

    // Paused or stopped, the monitor takes no jobs: that badge goes before the warning's.
    status.sectionNotDelivered(unknownPrinter(2), kWhen, start, false);
    status.setPaused(true);
    EXPECT_EQ(status.icon(), TrayIcon::Stopped);
    EXPECT_EQ(status.tooltip(kFirst),
              kFirst + "\npaused\n" + kWhen + " - Output 2: Printer Name not recognized.");
    status.setPaused(false);
    status.setMonitorStopped(true);
    EXPECT_EQ(status.icon(), TrayIcon::Stopped);
    status.setMonitorStopped(false);
    EXPECT_EQ(status.icon(), TrayIcon::Warning);

    // Within Windows' 127 bytes: a long first line is cut first, never inside a character.
    const std::string longFirst =
        "Tarvo - Monitor active on /" + std::string(100, 'd') + "\xC3\xA9";
    const std::string tooltip = status.tooltip(longFirst);
    EXPECT_EQ(tooltip.size(), 127u);
    EXPECT_EQ(tooltip.substr(0, 60), longFirst.substr(0, 60));
    EXPECT_NE(tooltip.find("...\n" + kWhen + " - Output 2"), std::string::npos) << tooltip;
    const std::string notSplit = status.tooltip(std::string(62, 'x') + "\xC3\xA9" + "tail");
    EXPECT_EQ(notSplit.substr(0, 66), std::string(62, 'x') + "...\n") << notSplit;
}

TEST(TrayStatus, PrintersThatHoldBackJobsWarnOnTheSecondLineAndAreNotifiedOnceAMinute) {
    TrayStatus status;
    status.setPrinters({{"P1", "Door open"}, {"P2", ""}});
    EXPECT_EQ(status.icon(), TrayIcon::Warning);
    status.setPaused(true);
    EXPECT_EQ(status.tooltip(kFirst), kFirst + "\nWaiting on P1 (Door open), P2\npaused");
    status.setPrinters({});
    status.setPaused(false);
    EXPECT_EQ(status.icon(), TrayIcon::Normal);

    routing::HeldBackJob job{{"P1", 42, "job7", 2, 3, OutputType::Label, "", 0}, "Door open"};
    const TrayStatus::SteadyTime start;
    EXPECT_TRUE(status.spoolJobHeldBack(job, start));
    EXPECT_FALSE(status.spoolJobHeldBack(job, start + 59s));
    EXPECT_TRUE(status.spoolJobHeldBack(job, start + 60s));
    const std::string since = platform::generalDate(0);
    const Notification notification = ui::logic::notificationOf(job);
    EXPECT_EQ(notification.title, "Printer P1 holds back a job");
    EXPECT_EQ(notification.text,
              "Section 2 of job7, output 3, waits since " + since + ": Door open");
    EXPECT_EQ(ui::logic::heldBackCaption(job), "P1: job 42 since " + since + " - Door open");
}

TEST(TrayStatus, ANotificationPerOutputAMinuteAndNoneWhileTheConfigurationWindowIsOpen) {
    TrayStatus status;
    const TrayStatus::SteadyTime start;
    EXPECT_TRUE(status.sectionNotDelivered(unknownPrinter(1), kWhen, start, false));
    EXPECT_FALSE(status.sectionNotDelivered(unknownPrinter(1), kWhen, start + 59s, false));
    EXPECT_TRUE(status.sectionNotDelivered(unknownPrinter(2), kWhen, start + 59s, false));
    EXPECT_TRUE(status.sectionNotDelivered(unknownPrinter(1), kWhen, start + 60s, false));
    // One held back while the window is open does not count.
    EXPECT_FALSE(status.sectionNotDelivered(unknownPrinter(3), kWhen, start + 70s, true));
    EXPECT_TRUE(status.sectionNotDelivered(unknownPrinter(3), kWhen, start + 71s, false));

    const Notification kept = ui::logic::notificationOf(unknownPrinter(1));
    EXPECT_EQ(kept.title, "Output 1 not delivered");
    EXPECT_EQ(kept.text, "Ticket \"Nope\": Printer Name not recognized.\n"
                         "Kept as /jobs/failed/job7.section1");
    routing::UndeliveredSection notKept{4, "/out/a.txt", OutputType::File, "Permission denied",
                                        std::nullopt};
    EXPECT_EQ(ui::logic::notificationOf(notKept).text,
              "File \"/out/a.txt\": Permission denied\nNot kept, see Tarvo.log");
}

TEST(TrayController, AFailedSectionIsNotifiedAndTheMenuOpensWhereItWasKept) {
    testsupport::AppSandbox sandbox;
    testsupport::TempDir watched;
    core::Settings& settings = sandbox.application().settings();
    settings.monitorDirectory = watched.path();
    settings.outputs[0] = {"Nope", "Ticket"};
    testsupport::RecordingTrayView view;
    ui::logic::TrayController controller(view, sandbox.application(), watched.path());
    controller.initialize();
    const auto route = [&](const std::string& name) {
        testsupport::writeFile(watched.file(name), "@!@1lost");
        for (int tick = 0; tick < 100 && testsupport::exists(watched.file(name)); ++tick) {
            controller.tick();
            std::this_thread::sleep_for(10ms);
        }
        controller.tick();
    };
    EXPECT_FALSE(controller.isAvailable(TrayCommand::OpenFailedJobs));

    route("job7");
    const std::string kept = watched.file("failed/job7.section1");
    ASSERT_TRUE(testsupport::exists(kept));
    EXPECT_EQ(view.icon, TrayIcon::Warning);
    ASSERT_EQ(view.notifications.size(), 1u);
    EXPECT_EQ(view.notifications[0].text,
              "Ticket \"Nope\": Printer Name not recognized.\nKept as " + kept);
    EXPECT_EQ(view.tooltip, "Tarvo - Monitor active on " + watched.path() + "\n" +
                                platform::generalDate(sandbox.fixedTime()) +
                                " - Output 1: Printer Name not recognized.");

    // The menu: the failed jobs' folder, the configuration window (the warning ends), a pause.
    ASSERT_TRUE(controller.isAvailable(TrayCommand::OpenFailedJobs));
    controller.run(TrayCommand::OpenFailedJobs);
    EXPECT_EQ(view.opened, std::vector<std::string>{watched.file("failed")});
    view.openFailure = "No program opens it";
    controller.run(TrayCommand::OpenLog);
    EXPECT_EQ(sandbox.routingMessages().back(), "frmMain::mnuTray_Click - No program opens it");
    controller.run(TrayCommand::Configure);
    EXPECT_TRUE(view.configOpen);
    EXPECT_EQ(view.icon, TrayIcon::Normal);
    controller.run(TrayCommand::PauseMonitoring);
    EXPECT_TRUE(controller.paused());
    EXPECT_FALSE(view.scheduled.has_value());
    EXPECT_EQ(view.icon, TrayIcon::Stopped);
    EXPECT_EQ(view.tooltip, "Tarvo - Monitor active on " + watched.path() + "\npaused");
    controller.run(TrayCommand::PauseMonitoring);
    EXPECT_FALSE(controller.paused());
    EXPECT_EQ(view.icon, TrayIcon::Normal);

    // No notification while the window is open; headless, standard error tells every failure.
    route("job8");
    EXPECT_EQ(view.notifications.size(), 1u);
    view.tray = false;
    testing::internal::CaptureStderr();
    route("job9");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Tarvo: Output 1 not delivered: Ticket \"Nope\": Printer Name not recognized. "
              "Kept as " +
                  watched.file("failed/job9.section1") + "\n");
}

// The follower runs in the controller's ticks, paused or not, while spool jobs are outstanding.
TEST(TrayController, AJobHeldBackIsFollowedWhilePausedNotifiedAndListedInTheMenu) {
    testsupport::AppSandbox sandbox;
    testsupport::TempDir watched;
    core::Settings& settings = sandbox.application().settings();
    settings.monitorDirectory = watched.path();
    settings.outputs[0] = {"P1", "Ticket"};
    settings.printWaitSeconds = 0;
    platform::RecordingSpooler& spooler = sandbox.platform().recordingSpooler;
    spooler.printers = {"P1"};
    spooler.givesIds = true;
    testsupport::RecordingTrayView view;
    ui::logic::TrayController controller(view, sandbox.application(), watched.path());
    controller.initialize();
    testsupport::writeFile(watched.file("job7"), "@!@1held");
    for (int tick = 0; tick < 100 && testsupport::exists(watched.file("job7")); ++tick) {
        controller.tick();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(testsupport::exists(watched.file(".printjobs")));

    controller.run(TrayCommand::PauseMonitoring);
    EXPECT_EQ(view.scheduled, monitor::NextTick(1s));
    spooler.printerReports["P1"] = {true, "Door open", {}};
    sandbox.platform().fixedClock().advance(1s);
    controller.tick();
    ASSERT_EQ(view.notifications.size(), 1u);
    EXPECT_EQ(view.notifications[0].title, "Printer P1 holds back a job");
    EXPECT_EQ(view.tooltip, "Tarvo - Monitor active on " + watched.path() +
                                "\nWaiting on P1 (Door open)\npaused");
    ASSERT_EQ(controller.heldBackJobs().size(), 1u);
    controller.openPrinterQueue(controller.heldBackJobs()[0].section.printer);
    EXPECT_EQ(view.opened, std::vector<std::string>{"P1"});

    spooler.jobReports[1] = {platform::SpoolJobState::Completed, {}};
    sandbox.platform().fixedClock().advance(1s);
    controller.tick();
    EXPECT_EQ(view.tooltip, "Tarvo - Monitor active on " + watched.path() + "\npaused");
    EXPECT_FALSE(view.scheduled.has_value());
    EXPECT_FALSE(testsupport::exists(watched.file(".printjobs")));

    // Headless, standard error tells of a job held back.
    view.tray = false;
    controller.run(TrayCommand::PauseMonitoring);
    testsupport::writeFile(watched.file("job8"), "@!@1held");
    for (int tick = 0; tick < 100 && testsupport::exists(watched.file("job8")); ++tick) {
        controller.tick();
        std::this_thread::sleep_for(10ms);
    }
    testing::internal::CaptureStderr();
    sandbox.platform().fixedClock().advance(1s);
    controller.tick();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Tarvo: Printer P1 holds back a job: Section 1 of job8, output 1, waits since " +
                  platform::generalDate(sandbox.fixedTime() + 2) + ": Door open\n");
}

} // namespace
