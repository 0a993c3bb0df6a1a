#pragma once

#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "process/DeliveryObserver.h"
#include "process/JobProcessor.h"
#include "tests/support/JobRun.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

// What job processing told of the jobs' sections.
class RecordedDeliveries final : public routing::DeliveryObserver {
public:
    void sectionNotDelivered(const routing::UndeliveredSection& section) override {
        undelivered.push_back(section);
    }
    bool followsSpoolJobs() const override { return following; }
    void sectionSpooled(const routing::SpooledSection& section) override {
        spooled.push_back(section);
    }
    void spoolJobHeldBack(const routing::HeldBackJob& job) override { heldBack.push_back(job); }
    void jobEnded(bool allDelivered) override { jobsEnded.push_back(allDelivered); }

    // Whether printer sections are followed to their spool job's end.
    bool following = false;
    std::vector<routing::UndeliveredSection> undelivered;
    std::vector<routing::SpooledSection> spooled;
    std::vector<routing::HeldBackJob> heldBack;
    std::vector<bool> jobsEnded;
};

// A sandboxed application directory for the log and the work file (with "failed" beside it), a
// spooler double that knows printers P1 to P9, an output directory, fresh settings, and a job
// processor that reads in blocks of the test's parameter: the real size, and sizes that put a
// block boundary at every position of a marker, a header or a run of line ends.
class ProcessTest : public ::testing::TestWithParam<std::size_t> {
protected:
    ProcessTest()
        : spooler(sandbox.platform().recordingSpooler),
          processor(spooler, sandbox.platform().directory(), sandbox.platform().locations(),
                    sandbox.log(), deliveries, GetParam()) {
        for (int i = 1; i <= 9; ++i) {
            spooler.printers.push_back("P" + std::to_string(i));
        }
    }

    // Row n (1 to 9) of the output map.
    void setRow(int n, std::string type, std::string target) {
        core::Output& row = settings.outputs[static_cast<std::size_t>(n - 1)];
        row.type = std::move(type);
        row.target = std::move(target);
    }

    // Every row a printer of the given type: row n prints on "Pn".
    void setAllPrinters(const std::string& type) {
        for (int n = 1; n <= 9; ++n) {
            setRow(n, type, "P" + std::to_string(n));
        }
    }

    // Writes the job to the work file and processes it.
    void runJob(std::string_view bytes) {
        testsupport::writeFile(jobPath(), bytes);
        processFile(jobPath());
    }
    // Processes the work file at path as a job named "job" just handed over.
    routing::JobOutcome processFile(const std::string& path) { return process(processor, path); }
    routing::JobOutcome process(routing::JobProcessor& jobProcessor, const std::string& path) {
        return testsupport::runJob(jobProcessor, sandbox, path, settings);
    }

    std::string jobPath() const { return sandbox.dir().file("newjob"); }
    std::string outPath(std::string_view name) const { return out.file(name); }

    // Each document's printer and bytes, in order.
    std::vector<std::pair<std::string, std::string>> printed() const {
        std::vector<std::pair<std::string, std::string>> result;
        for (const auto& d : spooler.documents) {
            result.emplace_back(d.printer, std::string(d.bytes.begin(), d.bytes.end()));
        }
        return result;
    }

    // What the processor logged besides the "Processing" line of each job and the line of each
    // section kept.
    std::vector<std::string> log() const { return sandbox.failureMessages(); }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir out;
    platform::RecordingSpooler& spooler;
    core::Settings settings;
    RecordedDeliveries deliveries;
    routing::JobProcessor processor;
};

// The block sizes that every test file instantiates its tests with.
inline const std::vector<std::size_t> kBlockSizes = {routing::JobProcessor::kBlockSize, 1, 5};

inline const std::string kAddTrailerEmpty = "modProcess::AddTrailer - Subscript out of range";
inline const std::string kCloseOutputEmpty = "modProcess::CloseOutput - Subscript out of range";
inline const std::string kCloseOutputNoFile = "modProcess::CloseOutput - Bad file name or number";
