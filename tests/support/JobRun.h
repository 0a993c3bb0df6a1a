#pragma once

#include "core/Settings.h"
#include "process/JobProcessor.h"
#include "process/JobProgress.h"
#include "tests/support/TestSupport.h"

#include <string>

namespace testsupport {

// Routes the work file at path as the job "job" just handed over from path, its progress record
// in the sandbox's directory.
inline routing::JobOutcome runJob(routing::JobProcessor& processor, AppSandbox& sandbox,
                                  const std::string& path, const core::Settings& settings) {
    platform::FileIdentity identity;
    try {
        identity = sandbox.platform().directory().identity(path);
    } catch (const std::exception&) {
        // A job that is not there: its processing says so.
    }
    routing::JobProgress progress(sandbox.dir().file(".newjob.progress"));
    return processor.process({path, identity, "job", path}, settings, progress);
}

} // namespace testsupport
