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
// The follower of the printers' spool jobs.
inline constexpr std::string_view kHoldSection = "modSpool::HoldSection - ";
inline constexpr std::string_view kFollow = "modSpool::Follow - ";
inline constexpr std::string_view kAskPrinter = "modSpool::AskPrinter - ";
inline constexpr std::string_view kReadJobRecord = "modSpool::ReadRecord - ";
inline constexpr std::string_view kWriteJobRecord = "modSpool::WriteRecord - ";
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

// A printer section whose spool job is followed: after kHoldSection, "Section <n> of <job>",
// kNotHeld and why its copy could not be held; kNoCopyHeld is why such a section was not kept.
// After kFollow, of a spool job that ended unprinted: "Section <n> of <job>", kSpoolJob, the
// id, kOnPrinter, the printer, kNotPrinted and the spooler's reason (kNoReason when it gave
// none); of one waiting in a printer in trouble for longer than PRINTWAIT: kPrinter, the printer,
// kHoldsBackSpoolJob, the id, kSince, the time it was spooled, kBecause and the printer's message
// (when it gave one).
// Printers: kPrinter, the printer, then kJobsCannotBeFollowed, or kInTrouble, kBecause and its
// message (when it gave one), or kOutOfTrouble. After kAskPrinter: the printer, kBecause and the
// failure.
inline constexpr std::string_view kNotHeld = " not held: ";
inline constexpr std::string_view kNoCopyHeld = "no copy of it was held";
inline constexpr std::string_view kSpoolJob = ", spool job ";
inline constexpr std::string_view kOnPrinter = " on ";
inline constexpr std::string_view kNotPrinted = ", not printed: ";
inline constexpr std::string_view kNoReason = "the spooler gave no reason";
inline constexpr std::string_view kPrinter = "Printer ";
inline constexpr std::string_view kHoldsBackSpoolJob = " holds back spool job ";
inline constexpr std::string_view kSince = " since ";
inline constexpr std::string_view kJobsCannotBeFollowed =
    ": the spooler cannot tell how its jobs end, they count as printed once spooled";
inline constexpr std::string_view kInTrouble = " holds its jobs back";
inline constexpr std::string_view kOutOfTrouble = " no longer holds its jobs back";
// A record of the followed spool jobs that cannot be read whole: after kReadJobRecord, the path,
// kDamagedAfter, the count of jobs read, kNotFollowed.
inline constexpr std::string_view kDamagedAfter = " is damaged after ";
inline constexpr std::string_view kNotFollowed = " spool jobs; the rest are not followed";

// What the tray's notification says of a spool job held back, and without a tray standard error:
// the title kPrinter, the printer, kHoldsBackAJob; the text: kSection, the ordinal, kOfJob, the
// job, kOutputInText, the row, kWaitsSince, the time spooled, kBecause and the printer's message.
// The tooltip's line of the printers that hold jobs back or cannot be asked: kWaitingOn, then per
// printer its name, kMessageOpen, its message or the failure, kMessageClose, joined by kAnd. The
// menu's item of a job held back: the printer, kBecause, kJobNumber, the id, kSince, the time,
// kAt and the message.
inline constexpr std::string_view kHoldsBackAJob = " holds back a job";
inline constexpr std::string_view kOutputInText = ", output ";
inline constexpr std::string_view kWaitsSince = ", waits since ";
inline constexpr std::string_view kWaitingOn = "Waiting on ";
inline constexpr std::string_view kMessageOpen = " (";
inline constexpr std::string_view kMessageClose = ")";
inline constexpr std::string_view kAnd = ", ";
inline constexpr std::string_view kJobNumber = "job ";
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
