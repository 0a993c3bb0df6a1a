#pragma once

#include <string_view>

// The texts of the activity log, which people and scripts read: they are written exactly so.
namespace logtext {

// Failure line prefixes, one per step with failure handling; the description follows directly.
inline constexpr std::string_view kMain = "Main - ";
inline constexpr std::string_view kLogError = "Main::logError - ";
// On standard error, of a line that the log could not take: kLogError, why, kNotLogged, the line.
inline constexpr std::string_view kNotLogged = ", not logged: ";
inline constexpr std::string_view kReadValue = "modConfig::readValue - ";
inline constexpr std::string_view kGetIni = "modConfig::getIni - ";
inline constexpr std::string_view kSaveIni = "modConfig::saveIni - ";
inline constexpr std::string_view kProcessFile = "modProcess::ProcessFile - ";
inline constexpr std::string_view kLoadFile = "modProcess::LoadFile - ";
inline constexpr std::string_view kProcessBuffer = "modProcess::ProcessBuffer - ";
inline constexpr std::string_view kIsMarker = "modProcess::IsMarker - ";
inline constexpr std::string_view kBufferByte = "modProcess::BufferByte - ";
inline constexpr std::string_view kOpenOutput = "modProcess::OpenOutput - ";
inline constexpr std::string_view kCloseOutput = "modProcess::CloseOutput - ";
inline constexpr std::string_view kAddTrailer = "modProcess::AddTrailer - ";
inline constexpr std::string_view kKeepSection = "modProcess::KeepSection - ";
inline constexpr std::string_view kTimerTimer = "frmMain::Timer_timer - ";
inline constexpr std::string_view kHandleNewFile = "frmMain::HandleNewFile - ";
inline constexpr std::string_view kInitialize = "frmMain::Initialize - ";
inline constexpr std::string_view kUnload = "frmMain::Unload - ";
inline constexpr std::string_view kTrayIconClick = "frmMain::ctTray_IconClick - ";
inline constexpr std::string_view kTrayMenuClick = "frmMain::mnuTray_Click - ";
inline constexpr std::string_view kConfigLoad = "frmConfig::Load - ";
inline constexpr std::string_view kConfigUpdate = "frmConfig::cmdUpdate::Click - ";
inline constexpr std::string_view kConfigCancel = "frmConfig::cmdCancel::Click - ";
inline constexpr std::string_view kConfigTerminate = "frmConfig::cmdTerminate::Click - ";
inline constexpr std::string_view kConfigOut = "frmConfig::cmdOut::Click - ";

// Activity lines.
inline constexpr std::string_view kProcessing = "Processing ";
inline constexpr std::string_view kPrinterNotRecognized = "Printer Name not recognized.";
// A work file that a stopped run left, which goes on after the sections it delivered:
// "Resuming <path>, skipping the <n> sections delivered before the program stopped".
inline constexpr std::string_view kResuming = "Resuming ";
inline constexpr std::string_view kResumingSkipping = ", skipping the ";
inline constexpr std::string_view kResumingSkipped =
    " sections delivered before the program stopped";

// A section that was not delivered, after kKeepSection: "Section <n> of <job>", then kKeptAs and
// the path of the job of its own that holds it, or kNotKept and why: a description, or
// kFailedWouldHold, the limit and kMiB.
inline constexpr std::string_view kSection = "Section ";
inline constexpr std::string_view kOfJob = " of ";
inline constexpr std::string_view kKeptAs = " kept as ";
inline constexpr std::string_view kNotKept = " not kept: ";
inline constexpr std::string_view kFailedWouldHold = "failed would hold more than ";
inline constexpr std::string_view kMiB = " MiB";

// What the tray's notification says of a section not delivered, and without a tray standard
// error: the title kOutput, the row, kNotDelivered; the text: the type, kTargetOpen, the target,
// kTargetClose and the reason, then on a line of its own kKeptIn and the path, or kNotKeptSeeLog.
// The tooltip's line of it: the time, kAt, kOutput, the row, kBecause and the reason; of a job
// that failed without a section's failure: the time, kAt, kJobFailedSeeLog.
inline constexpr std::string_view kOutput = "Output ";
inline constexpr std::string_view kNotDelivered = " not delivered";
inline constexpr std::string_view kTargetOpen = " \"";
inline constexpr std::string_view kTargetClose = "\": ";
inline constexpr std::string_view kKeptIn = "Kept as ";
inline constexpr std::string_view kNotKeptSeeLog = "Not kept, see Tarvo.log";
inline constexpr std::string_view kAt = " - ";
inline constexpr std::string_view kBecause = ": ";
inline constexpr std::string_view kJobFailedSeeLog = "A job failed, see Tarvo.log";
// Without a tray, standard error tells when the monitor stops, and when it runs again
// (kMonitorRunsAgain and the watched directory).
inline constexpr std::string_view kMonitorStoppedSeeLog = "Monitor stopped, see Tarvo.log";

// A settings value cut to the length that a value may have: "Value of [<section>] <key>",
// kCutAfter, the limit, kCutTo, the limit.
inline constexpr std::string_view kValueOf = "Value of [";
inline constexpr std::string_view kCutAfter = " longer than ";
inline constexpr std::string_view kCutTo = " bytes, cut to ";
// A limit in the settings file that is no number: kGetIni, "Value of [<section>] <key>",
// kNotWholeMiB or kNotWholeSeconds, the default, kUsed.
inline constexpr std::string_view kNotWholeMiB = " is not a whole number of MiB, ";
inline constexpr std::string_view kNotWholeSeconds = " is not a whole number of seconds, ";
inline constexpr std::string_view kUsed = " used";

// What the monitor says of the files it does not take, after a prefix and a description.
inline constexpr std::string_view kStillOpen = "Still open by another process";
inline constexpr std::string_view kWorkFileNotProcessed = "Work file not processed";
inline constexpr std::string_view kFilesAfterItWait = ", the files after it wait: ";
inline constexpr std::string_view kPassedOver = ", passed over: ";
inline constexpr std::string_view kNoJobUntilWritable =
    ", no job is taken until the directory can be written: ";
inline constexpr std::string_view kJobKeptAs = ", job kept as ";
inline constexpr std::string_view kMovingIntoFailed = " (moving it into failed: ";
inline constexpr std::string_view kLeftUntilItChanges = ", job left in place until it changes";
inline constexpr std::string_view kLeftUntilWritable =
    ", left in place until the directory can be written";
inline constexpr std::string_view kMonitorStopped = ", monitor stopped";
inline constexpr std::string_view kMonitorRunsAgain = "The monitor runs again on ";
inline constexpr std::string_view kUseCannotBeTold =
    "Cannot tell whether another process has it open";
inline constexpr std::string_view kTakenUnchanged = ", taken after five seconds unchanged: ";

} // namespace logtext
