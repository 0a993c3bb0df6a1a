#pragma once

#include "core/modConfig.h"
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "process/modProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

// A sandboxed application directory for the log, a spooler double that knows printers P1 to
// P9, an output directory, and fresh settings and job state.
class ProcessTest : public ::testing::Test {
protected:
    ProcessTest() {
        for (int i = 1; i <= 9; ++i) {
            spooler.printers.push_back("P" + std::to_string(i));
        }
        platform::setSpooler(&spooler);
        modConfig::settings = {};
        modProcess::jobState = {};
    }
    ~ProcessTest() override { platform::setSpooler(nullptr); }

    // Row n (1 to 9) of the output map.
    void setRow(int n, std::string type, std::string target) {
        modConfig::settings.strMapType[n - 1] = std::move(type);
        modConfig::settings.strMapTarget[n - 1] = std::move(target);
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
        modProcess::ProcessFile(jobPath());
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

    std::vector<std::string> log() const { return sandbox.logMessages(); }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir out;
    platform::RecordingSpooler spooler;
};

inline const std::string kAddTrailerEmpty = "modProcess::AddTrailer - Subscript out of range";
inline const std::string kCloseOutputEmpty = "modProcess::CloseOutput - Subscript out of range";
inline const std::string kCloseOutputNoFile = "modProcess::CloseOutput - Bad file name or number";
