// A printer section is done when its spool job has printed: the follower asks the spooler double
// how the jobs stand, keeps the section of a job that ended unprinted, names a job that a printer
// in trouble holds back, and goes on after a restart from its record.
#include "ProcessFixture.h"
#include "process/SpoolFollower.h"

#include <chrono>
#include <filesystem>
#include <memory>

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using platform::PrinterReport;
using platform::SpoolJobReport;
using platform::SpoolJobState;
using testsupport::exists;
using testsupport::readFile;

// Job processing hands the printer sections of a job to a follower, with its spool job's ids
// given by the spooler double; rounds of the follower a second apart.
class FollowTest : public ProcessTest {
protected:
    FollowTest() {
        deliveries.following = true;
        spooler.givesIds = true;
        settings.outputs[0] = {"P1", "Ticket"};
        settings.outputs[1] = {"P2", "Report"};
    }

    // A follower, as a restarted program makes it, of the record in the sandbox's directory.
    std::unique_ptr<routing::SpoolFollower> startFollower() {
        platform::TestPlatform& p = sandbox.platform();
        return std::make_unique<routing::SpoolFollower>(p.spooler(), p.directory(), p.clock(),
                                                        sandbox.log(), settings, deliveries,
                                                        recordPath());
    }

    // Routes the job; its spooled sections go to the follower as the tray hands them.
    void routeTo(routing::SpoolFollower& follower, std::string_view job) {
        deliveries.spooled.clear();
        runJob(job);
        for (const routing::SpooledSection& section : deliveries.spooled) {
            follower.follow(section);
        }
    }

    void rounds(routing::SpoolFollower& follower, int count) {
        for (int i = 0; i < count; ++i) {
            sandbox.platform().fixedClock().advance(1s);
            ASSERT_TRUE(follower.roundDue());
            follower.round();
        }
    }

    std::string recordPath() const { return sandbox.dir().file(".printjobs"); }
    std::string failed(const std::string& name) const {
        return sandbox.dir().file("failed/" + name);
    }
    std::size_t filesInFailed() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(sandbox.dir().file("failed")), {}));
    }
};

INSTANTIATE_TEST_SUITE_P(Block, FollowTest, ::testing::Values(routing::JobProcessor::kBlockSize));

TEST_P(FollowTest, APrintedSectionLeavesNothingAndOneThatFailedIsKeptByteExactAndTold) {
    const auto follower = startFollower();
    routeTo(*follower, "@!@1ticket\xFF\r\n@!@2report\r\n");
    // Each held as the section stood in the job, hidden, and recorded before the job's end.
    ASSERT_EQ(deliveries.spooled.size(), 2u);
    EXPECT_EQ(deliveries.spooled[1].heldCopy, failed(".job.section2"));
    EXPECT_EQ(readFile(failed(".job.section2")), "@!@2report\r\n");
    EXPECT_EQ(follower->outstanding(), 2u);
    EXPECT_TRUE(exists(recordPath()));

    spooler.jobReports[1] = {SpoolJobState::Completed, {}};
    spooler.jobReports[2] = {SpoolJobState::Failed, "Media jam"};
    rounds(*follower, 1);
    EXPECT_EQ(follower->outstanding(), 0u);
    EXPECT_FALSE(exists(recordPath()));
    EXPECT_EQ(readFile(failed("job.section2")), "@!@2report\r\n");
    EXPECT_EQ(filesInFailed(), 1u);
    EXPECT_EQ(
        sandbox.routingMessages(),
        (Lines{"modSpool::Follow - Section 2 of job, spool job 2 on P2, not printed: "
               "Media jam",
               "modProcess::KeepSection - Section 2 of job kept as " + failed("job.section2")}));
    EXPECT_EQ(deliveries.undelivered,
              (std::vector<routing::UndeliveredSection>{
                  {2, "P2", OutputType::Report, "Media jam", failed("job.section2")}}));

    // A spooler that gives no id, or nobody following: done once spooled, nothing held.
    spooler.givesIds = false;
    routeTo(*follower, "@!@1again");
    deliveries.following = false;
    spooler.givesIds = true;
    routeTo(*follower, "@!@1again");
    EXPECT_EQ(follower->outstanding(), 0u);
    EXPECT_EQ(filesInFailed(), 1u);
}

TEST_P(FollowTest, AJobHeldBackInATroubledPrinterIsNamedOnceAndTheTroubleLoggedAtStartAndEnd) {
    settings.printWaitSeconds = 30;
    const auto follower = startFollower();
    routeTo(*follower, "@!@1held");
    spooler.printerReports["P1"] = {true, "Door open", {}};
    rounds(*follower, 29);
    EXPECT_TRUE(deliveries.heldBack.empty());
    EXPECT_TRUE(follower->printersToShow().empty());
    rounds(*follower, 10);
    ASSERT_EQ(deliveries.heldBack.size(), 1u);
    EXPECT_EQ(deliveries.heldBack[0].message, "Door open");
    EXPECT_EQ(follower->printersToShow(),
              (std::vector<routing::SpoolFollower::PrinterNote>{{"P1", "Door open"}}));
    EXPECT_EQ(follower->heldBackJobs().size(), 1u);

    spooler.printerReports["P1"] = {false, "", {}};
    rounds(*follower, 5);
    spooler.jobReports[1] = {SpoolJobState::Completed, {}};
    rounds(*follower, 1);
    EXPECT_EQ(follower->outstanding(), 0u);
    EXPECT_FALSE(follower->roundDue());
    EXPECT_FALSE(follower->nextRound().has_value());
    EXPECT_TRUE(follower->heldBackJobs().empty());
    EXPECT_FALSE(exists(failed(".job.section1")));
    const std::string since = platform::generalDate(sandbox.fixedTime());
    EXPECT_EQ(sandbox.routingMessages(),
              (Lines{"modSpool::Follow - Printer P1 holds its jobs back: Door open",
                     "modSpool::Follow - Printer P1 holds back spool job 1 since " + since +
                         ": Door open",
                     "modSpool::Follow - Printer P1 no longer holds its jobs back"}));
}

TEST_P(FollowTest, AnUnknownPrinterGivesOneLineAndOneThatCannotBeAskedIsAskedAgainAfterAPause) {
    const auto follower = startFollower();
    routeTo(*follower, "@!@1a@!@1b@!@2c");
    spooler.jobReports[1] = spooler.jobReports[2] = {SpoolJobState::Unknown, {}};
    spooler.unanswering.insert("P2");
    spooler.failMessage = "Cannot reach the print server";
    spooler.calls.clear();
    rounds(*follower, 1);
    // A print server that did not answer is not asked again every second: each question may
    // cost the event loop its whole bound.
    sandbox.platform().fixedClock().advance(routing::SpoolFollower::kRetryInterval - 1s);
    EXPECT_FALSE(follower->roundDue());
    rounds(*follower, 1);
    EXPECT_EQ(spooler.calls, (Lines{"ask P1", "ask P2", "ask P2"}));
    EXPECT_EQ(follower->outstanding(), 1u);
    EXPECT_EQ(follower->printersToShow(), (std::vector<routing::SpoolFollower::PrinterNote>{
                                              {"P2", "Cannot reach the print server"}}));
    EXPECT_EQ(sandbox.routingMessages(),
              (Lines{"modSpool::Follow - Printer P1: the spooler cannot tell how its jobs end, "
                     "they count as printed once spooled",
                     "modSpool::AskPrinter - P2: Cannot reach the print server"}));
    EXPECT_EQ(filesInFailed(), 1u); // the held copy of the job still followed
}

TEST_P(FollowTest, ARestartedFollowerGoesOnFromItsRecordAndADamagedOrForgedRecordIsLoggedNotFatal) {
    auto follower = startFollower();
    routeTo(*follower, "@!@1first@!@2second\r\n");
    follower.reset();

    // The held copy of the second has gone meanwhile: it is followed still, and not kept.
    std::filesystem::remove(failed(".job.section2"));
    follower = startFollower();
    EXPECT_EQ(follower->outstanding(), 2u);
    spooler.jobReports[1] = spooler.jobReports[2] = {SpoolJobState::Failed, ""};
    rounds(*follower, 1);
    EXPECT_EQ(readFile(failed("job.section1")), "@!@1first");
    EXPECT_FALSE(exists(failed("job.section2")));
    const Lines lines = sandbox.routingMessages();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "modSpool::Follow - Section 2 of job, spool job 2 on P2, not printed: "
                        "the spooler gave no reason");
    EXPECT_EQ(lines[3].rfind("modProcess::KeepSection - Section 2 of job not kept: ", 0), 0u);
    std::filesystem::remove(sandbox.logPath());

    // A record torn within its second job gives the first; one of garbage gives none.
    spooler.jobReports.clear();
    routeTo(*follower, "@!@1third@!@2fourth");
    follower.reset();
    const std::string whole = readFile(recordPath());
    testsupport::writeFile(recordPath(), whole.substr(0, whole.size() - 8));
    follower = startFollower();
    EXPECT_EQ(follower->outstanding(), 1u);
    follower.reset();
    testsupport::writeFile(recordPath(), std::string("\0\xFFgarbage\n", 10));
    follower = startFollower();
    EXPECT_EQ(follower->outstanding(), 0u);
    // One that names a held copy outside "failed" is damaged there: nothing outside is touched.
    routeTo(*follower, "@!@1fifth");
    follower.reset();
    std::string record = readFile(recordPath());
    const std::string heldName = ".job.section";
    record.replace(record.rfind(heldName), heldName.size(), "../../victim");
    testsupport::writeFile(recordPath(), record);
    follower = startFollower();
    EXPECT_EQ(follower->outstanding(), 0u);
    const std::string damagedAfterNone =
        "modSpool::ReadRecord - " + recordPath() +
        " is damaged after 0 spool jobs; the rest are not followed";
    EXPECT_EQ(sandbox.routingMessages(),
              (Lines{"modSpool::ReadRecord - " + recordPath() +
                         " is damaged after 1 spool jobs; the rest are not followed",
                     damagedAfterNone, damagedAfterNone}));
    EXPECT_FALSE(exists(recordPath()));
}

} // namespace
