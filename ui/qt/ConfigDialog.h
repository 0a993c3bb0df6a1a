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

// "Tarvo Configuration": modeless, deleted on close, so every opening starts from the settings.
class ConfigDialog final : public QDialog, private logic::ConfigView {
    Q_OBJECT

public:
    ConfigDialog(TrayControl& tray, core::Application& application, QWidget* parent = nullptr);

    // Replaces the choosers that the row buttons open (tests).
    void setChoosers(Choosers& choosers);

private:
    // Gives back a box's bytes while it shows them unedited: settings may hold invalid UTF-8 (a
    // Latin-1 name, a value cut mid-character), which the box would give back changed.
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
