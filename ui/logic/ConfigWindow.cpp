#include "ui/logic/ConfigWindow.h"

#include "core/OutputType.h"
#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <cerrno>
#include <optional>
#include <stdexcept>

namespace ui::logic {

namespace {

void checkRow(int row) {
    if (row < 0 || row >= modConfig::kOutputs) {
        throw std::out_of_range("row");
    }
}

} // namespace

ConfigWindow::ConfigWindow(ConfigView& view, MainWindowControl& mainWindow,
                           modConfig::Settings& settings)
    : view_(view), mainWindow_(mainWindow), settings_(settings) {}

void ConfigWindow::load() {
    try {
        const modConfig::Settings& settings = settings_;
        view_.setMonitorText(settings.strMonitorPath);
        for (int row = 0; row < modConfig::kOutputs; ++row) {
            view_.setRowTarget(row, settings.strMapTarget[row]);
            const std::string& type = settings.strMapType[row];
            unlistedTypes_[row].clear();
            if (type.empty()) {
                view_.setRowType(row, std::string(outputtype::name(OutputType::NotUsed)));
            } else if (outputtype::parse(type) != OutputType::Unknown) {
                view_.setRowType(row, type);
            } else {
                // The list cannot show this name: no item is selected and the name is kept
                // for update().
                view_.setRowType(row, "");
                unlistedTypes_[row] = type;
            }
        }
    } catch (const std::exception& e) {
        modMain::logFailure(prefix::kConfigLoad, e);
    }
}

void ConfigWindow::update() {
    try {
        modConfig::Settings& settings = settings_;
        settings.strMonitorPath = view_.monitorText();
        for (int row = 0; row < modConfig::kOutputs; ++row) {
            settings.strMapTarget[row] = view_.rowTarget(row);
            const std::string type = view_.rowType(row);
            settings.strMapType[row] = type.empty() ? unlistedTypes_[row] : type;
        }
        // A refused save has been logged; the window stays open with its edits, so that the user
        // sees that nothing was stored and can try again or cancel.
        if (!modConfig::saveIni(settings)) {
            return;
        }
        mainWindow_.setMonitorTimerEnabled(true);
        view_.closeWindow();
    } catch (const std::exception& e) {
        modMain::logFailure(prefix::kConfigUpdate, e);
    }
}

void ConfigWindow::cancel() {
    try {
        view_.closeWindow();
    } catch (const std::exception& e) {
        modMain::logFailure(prefix::kConfigCancel, e);
    }
}

void ConfigWindow::terminate() {
    try {
        mainWindow_.setMonitorTimerEnabled(false);
        mainWindow_.unloadMainWindow();
        mainWindow_.endProgram();
    } catch (const std::exception& e) {
        modMain::logFailure(prefix::kConfigTerminate, e);
    }
}

void ConfigWindow::chooseTarget(int row) {
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
            if (platform::toCodepage(*chosen).size() > modConfig::kMaxValueBytes) {
                platform::throwSystemError(ENAMETOOLONG);
            }
            view_.setRowTarget(row, *chosen);
        }
    } catch (const std::exception& e) {
        modMain::logFailure(prefix::kConfigOut, e);
    }
}

} // namespace ui::logic
