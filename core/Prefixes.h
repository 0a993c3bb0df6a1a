#pragma once

#include <string_view>

// The prefixes of failure lines, one for each procedure that has failure handling. A failure
// line is the prefix followed directly by the description of the failure.
namespace prefix {
inline constexpr std::string_view kMain = "Main - ";
inline constexpr std::string_view kLogError = "Main::logError - ";
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
inline constexpr std::string_view kTimerTimer = "frmMain::Timer_timer - ";
inline constexpr std::string_view kHandleNewFile = "frmMain::HandleNewFile - ";
inline constexpr std::string_view kInitialize = "frmMain::Initialize - ";
inline constexpr std::string_view kUnload = "frmMain::Unload - ";
inline constexpr std::string_view kTrayIconClick = "frmMain::ctTray_IconClick - ";
inline constexpr std::string_view kConfigLoad = "frmConfig::Load - ";
inline constexpr std::string_view kConfigUpdate = "frmConfig::cmdUpdate::Click - ";
inline constexpr std::string_view kConfigCancel = "frmConfig::cmdCancel::Click - ";
inline constexpr std::string_view kConfigTerminate = "frmConfig::cmdTerminate::Click - ";
inline constexpr std::string_view kConfigOut = "frmConfig::cmdOut::Click - ";
} // namespace prefix
