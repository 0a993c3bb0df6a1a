#pragma once

#include "core/Application.h"
#include "core/Settings.h"
#include "ui/logic/Choosers.h"
#include "ui/logic/ConfigController.h"
#include "ui/logic/ConfigView.h"
#include "ui/logic/TrayControl.h"
#include "ui/qt/StandardChoosers.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include <array>
#include <optional>
#include <string>

namespace ui::qt {

// The configuration window "Tarvo Configuration": the monitor directory and the nine rows of
// the output map. Not modal; deleted when it closes, so every opening starts from the stored
// settings.
class ConfigDialog final : public QDialog, private logic::ConfigView {
    Q_OBJECT

public:
    // The window edits the application's settings.
    ConfigDialog(TrayControl& tray, core::Application& application, QWidget* parent = nullptr);

    // Replaces the choosers that the row buttons open (tests).
    void setChoosers(Choosers& choosers);

private:
    // The bytes that a text box was given, returned while the box still shows them unedited.
    // Settings may hold bytes that are not valid UTF-8 (a Latin-1 file name, a value cut inside
    // a character); the box shows those as replacement characters, and its text's UTF-8 would
    // store them changed on an Update without edits.
    class ShownBytes {
    public:
        void show(QLineEdit& box, const std::string& bytes);
        std::string read(const QLineEdit& box) const;

    private:
        std::string bytes_;
        QString shown_;
    };

    // Esc and the close box act as "Cancel".
    void reject() override;

    std::string monitorText() const override;
    void setMonitorText(const std::string& text) override;
    std::string rowType(int row) const override;
    void setRowType(int row, const std::string& type) override;
    std::string rowTarget(int row) const override;
    void setRowTarget(int row, const std::string& target) override;
    void closeWindow() override;
    std::optional<std::string> chooseFile() override;
    std::optional<std::string> chooseDirectory() override;
    std::optional<std::string> choosePrinter() override;

    void placeRows(const QValidator& storable);

    QGroupBox monitorFrame_;
    QLineEdit monitorDirectory_;
    ShownBytes monitorBytes_;
    QGroupBox outputMapFrame_;
    std::array<QLabel*, core::kOutputs> rowCaptions_{};
    std::array<QComboBox*, core::kOutputs> rowTypes_{};
    std::array<QLineEdit*, core::kOutputs> rowTargets_{};
    std::array<ShownBytes, core::kOutputs> rowTargetBytes_;
    std::array<QPushButton*, core::kOutputs> rowChoosers_{};
    QPushButton terminate_;
    QPushButton update_;
    QPushButton cancel_;
    StandardChoosers standardChoosers_;
    Choosers* choosers_;
    logic::ConfigController controller_;
};

} // namespace ui::qt
