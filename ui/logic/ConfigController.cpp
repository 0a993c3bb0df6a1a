#include "ui/logic/ConfigController.h"

#include "core/LogTexts.h"
#include "core/OutputType.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <cerrno>
#include <optional>
#include <stdexcept>

namespace ui::logic {

namespace {

void checkRow(int row) {
    if (row < 0 || row >= core::kOutputs) {
        throw std::out_of_range("row");
    }
}

} // namespace

ConfigController::ConfigController(ConfigView& view, TrayControl& tray,
                                   core::Application& application)
    : view_(view), tray_(tray), settings_(application.settings()),
      settingsFile_(application.settingsFile()), log_(application.log()) {}

void ConfigController::load() {
    try {
        view_.setMonitorText(settings_.monitorDirectory);
        for (int row = 0; row < core::kOutputs; ++row) {
            const core::Output& output = settings_.outputs[static_cast<std::size_t>(row)];
            view_.setRowTarget(row, output.target);
            const std::string& type = output.type;
            std::string& unlisted = unlistedTypes_[static_cast<std::size_t>(row)];
            unlisted.clear();
            if (type.empty()) {
                view_.setRowType(row, std::string(outputtype::name(OutputType::NotUsed)));
            } else if (outputtype::parse(type) != OutputType::Unknown) {
                view_.setRowType(row, type);
            } else {
                // The list cannot show it: none is selected, and the name is kept for update().
                view_.setRowType(row, "");
                unlisted = type;
            }
        }
    } catch (const std::exception& e) {
        log_.writeFailure(logtext::kConfigLoad, e);
    }
}

void ConfigController::update() {
    try {
        settings_.monitorDirectory = view_.monitorText();
        for (int row = 0; row < core::kOutputs; ++row) {
            const auto index = static_cast<std::size_t>(row);
            core::Output& output = settings_.outputs[index];
            output.target = view_.rowTarget(row);
            output.targetCut = false;
            const std::string type = view_.rowType(row);
            output.type = type.empty() ? unlistedTypes_[index] : type;
        }
        // A refused save is logged; the window stays open with its edits, to retry or cancel.
        if (!settingsFile_.save(settings_)) {
            return;
        }
        tray_.setMonitorTimerEnabled(true);
        view_.closeWindow();
    } catch (const std::exception& e) {
        log_.writeFailure(logtext::kConfigUpdate, e);
    }
}

void ConfigController::cancel() {
    try {
        view_.closeWindow();
    } catch (const std::exception& e) {
        log_.writeFailure(logtext::kConfigCancel, e);
    }
}

void ConfigController::terminate() {
    try {
        tray_.setMonitorTimerEnabled(false);
        tray_.unloadTrayWindow();
        tray_.endProgram();
    } catch (const std::exception& e) {
        log_.writeFailure(logtext::kConfigTerminate, e);
    }
}

void ConfigController::chooseTarget(int row) {
    try {
        checkRow(row);
        // The type selected now decides, not the stored one.
        const OutputType type = outputtype::parse(view_.rowType(row));
        std::optional<std::string> chosen;
        if (type == OutputType::File) {
            chosen = view_.chooseFile();
        } else if (type == OutputType::NamedFile) {
            chosen = view_.chooseDirectory();
        } else {
            chosen = view_.choosePrinter();
        }
        if (chosen) {
            // A longer name could not be stored whole.
            if (platform::toCodepage(*chosen).size() > core::kMaxValueBytes) {
                platform::throwSystemError(ENAMETOOLONG);
            }
            view_.setRowTarget(row, *chosen);
        }
    } catch (const std::exception& e) {
        log_.writeFailure(logtext::kConfigOut, e);
    }
}

} // namespace ui::logic
