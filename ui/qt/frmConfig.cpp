#include "ui/qt/frmConfig.h"

#include "core/OutputType.h"
#include "platform/Codepage.h"
#include "ui/logic/ConfigLayout.h"
#include "ui/qt/ArialFont.h"
#include "ui/qt/Twips.h"

#include <QScreen>
#include <QStyle>
#include <QValidator>

#include <array>
#include <string_view>

namespace {

using namespace ui::logic::layout;

// The window's default font, fixed on a control so that it does not take the Arial of the group
// box that holds it.
QFont windowFontOf(const QWidget& window) {
    QFont font = window.font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

// A group box whose caption sits on its top border, so that the controls placed below the
// caption lie inside the border.
constexpr const char* kFrameStyle =
    "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }";

// Accepts only text that the settings file stores and reads back whole: at most 254 bytes in
// the locale's code set (a character may take several), and no line break or NUL, which would
// end the value early. An edit that would go beyond is refused as it is typed or pasted.
class StorableText final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override {
        const std::string bytes = platform::toCodepage(input.toStdString());
        const bool fits = bytes.size() <= modConfig::kMaxValueBytes &&
                          bytes.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
        return fits ? Acceptable : Invalid;
    }
};

} // namespace

frmConfig::frmConfig(ui::MainWindowControl& mainWindow, modConfig::Settings& settings,
                     QWidget* parent)
    : QDialog(parent, Qt::Window), Frame1("Monitor Directory:", this), txtMonitor(&Frame1),
      Frame2("Output Map", this), CmdTerminate("&Terminate", this), cmdUpdate("&Update", this),
      cmdCancel("&Cancel", this), standardChoosers(this), choosers(&standardChoosers),
      logic(*this, mainWindow, settings) {
    setObjectName("frmConfig");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Tarvo Configuration");
    const QFont windowFont = windowFontOf(*this);
    const QFont arial = ui::arialFont();

    Frame1.setObjectName("Frame1");
    Frame1.setFont(arial);
    Frame1.setStyleSheet(kFrameStyle);
    Frame1.setGeometry(ui::twipsRect(*this, 120, 240, 7815, 735));
    const auto* storable = new StorableText(this);
    txtMonitor.setObjectName("txtMonitor");
    txtMonitor.setFont(windowFont);
    txtMonitor.setValidator(storable);
    txtMonitor.setGeometry(
        ui::twipsRect(*this, 270, 510, 7425, 345).translated(-Frame1.geometry().topLeft()));

    Frame2.setObjectName("Frame2");
    Frame2.setFont(arial);
    Frame2.setStyleSheet(kFrameStyle);
    Frame2.setGeometry(ui::twipsRect(*this, 360, 1080, 7815, 4215));
    placeRows(*storable);

    CmdTerminate.setObjectName("CmdTerminate");
    CmdTerminate.setFont(arial);
    CmdTerminate.setGeometry(ui::twipsRect(*this, 360, 5400, 1365, 465));
    connect(&CmdTerminate, &QPushButton::clicked, this, [this] { logic.terminate(); });

    cmdUpdate.setObjectName("cmdUpdate");
    cmdUpdate.setFont(arial);
    cmdUpdate.setDefault(true);
    cmdUpdate.setGeometry(ui::twipsRect(*this, 5040, 5400, 1365, 465));
    connect(&cmdUpdate, &QPushButton::clicked, this, [this] { logic.update(); });

    cmdCancel.setObjectName("cmdCancel");
    cmdCancel.setFont(arial);
    cmdCancel.setGeometry(ui::twipsRect(*this, 6840, 5400, 1365, 465));
    connect(&cmdCancel, &QPushButton::clicked, this, [this] { logic.cancel(); });

    // The controls keep their places when the window is resized: nothing lays them out.
    const QRect client = ui::twipsRect(*this, 0, 0, kClientWidth, kClientHeight);
    resize(client.size());
    move(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry())
            .topLeft());

    logic.load();
}

void frmConfig::placeRows(const QValidator& storable) {
    const QFont windowFont = windowFontOf(*this);
    const QFont arial = ui::arialFont();
    const QPoint frame = Frame2.geometry().topLeft();
    for (int row = 0; row < modConfig::kOutputs; ++row) {
        const int top = kRowTops[row];
        const QString index = QString::number(row);

        QLabel* caption = new QLabel(kRowCaptions[row], &Frame2);
        caption->setObjectName("Label1_" + index);
        caption->setTextFormat(Qt::PlainText);
        caption->setFont(arial);
        caption->setGeometry(ui::twipsRect(*this, 480, top, 930, 240).translated(-frame));
        Label1[row] = caption;

        QComboBox* type = new QComboBox(&Frame2);
        type->setObjectName("cboType_" + index);
        type->setFont(windowFont);
        for (const OutputType listed : outputtype::kListed) {
            const std::string_view name = outputtype::name(listed);
            type->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        }
        type->setCurrentIndex(-1);
        type->setGeometry(ui::twipsRect(*this, 1560, top, 1455, 315).translated(-frame));
        cboType[row] = type;

        QLineEdit* target = new QLineEdit(&Frame2);
        target->setObjectName("txtMap_" + index);
        target->setFont(arial);
        target->setValidator(&storable);
        target->setGeometry(ui::twipsRect(*this, 3120, top, 4365, 345).translated(-frame));
        txtMap[row] = target;

        QPushButton* button = new QPushButton("&" + QString::number(row + 1) + "...", &Frame2);
        button->setObjectName("cmdOut_" + index);
        button->setFont(windowFont);
        button->setGeometry(ui::twipsRect(*this, 7560, top, 375, 255).translated(-frame));
        connect(button, &QPushButton::clicked, this, [this, row] { logic.chooseTarget(row); });
        cmdOut[row] = button;
    }
}

void frmConfig::ShownBytes::show(QLineEdit& box, const std::string& bytes) {
    box.setText(QString::fromStdString(bytes));
    bytes_ = bytes;
    shown_ = box.text();
}

std::string frmConfig::ShownBytes::read(const QLineEdit& box) const {
    const QString text = box.text();
    return text == shown_ ? bytes_ : text.toStdString();
}

void frmConfig::setChoosers(ui::Choosers& replacement) {
    choosers = &replacement;
}

void frmConfig::reject() {
    logic.cancel();
}

std::string frmConfig::monitorText() const {
    return monitorBytes.read(txtMonitor);
}

void frmConfig::setMonitorText(const std::string& text) {
    monitorBytes.show(txtMonitor, text);
}

std::string frmConfig::rowType(int row) const {
    const QComboBox* list = cboType.at(row);
    return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
}

void frmConfig::setRowType(int row, const std::string& type) {
    QComboBox* list = cboType.at(row);
    list->setCurrentIndex(type.empty() ? -1 : list->findText(QString::fromStdString(type)));
}

std::string frmConfig::rowTarget(int row) const {
    return mapBytes.at(row).read(*txtMap.at(row));
}

void frmConfig::setRowTarget(int row, const std::string& target) {
    mapBytes.at(row).show(*txtMap.at(row), target);
}

void frmConfig::closeWindow() {
    QDialog::reject();
}

std::optional<std::string> frmConfig::chooseFile() {
    return choosers->chooseFile();
}

std::optional<std::string> frmConfig::chooseDirectory() {
    return choosers->chooseDirectory();
}

std::optional<std::string> frmConfig::choosePrinter() {
    return choosers->choosePrinter();
}
