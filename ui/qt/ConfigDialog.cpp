#include "ui/qt/ConfigDialog.h"

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

namespace ui::qt {
namespace {

using namespace logic::layout;

// Fixed on a control, so that it does not take the Arial of its group box.
QFont windowFontOf(const QWidget& window) {
    QFont font = window.font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

// The caption sits on the top border, so that controls placed below it lie inside the border.
constexpr const char* kFrameStyle =
    "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
    "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }";

// Accepts only what the settings file stores and reads back whole: at most 254 bytes in the
// locale's code set, no line break or NUL. An edit beyond that is refused as it is typed.
class StorableText final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override {
        const std::string bytes = platform::toCodepage(input.toStdString());
        const bool fits = bytes.size() <= core::kMaxValueBytes &&
                          bytes.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
        return fits ? Acceptable : Invalid;
    }
};

} // namespace

ConfigDialog::ConfigDialog(TrayControl& tray, core::Application& application, QWidget* parent)
    : QDialog(parent, Qt::Window), monitorFrame_("Monitor Directory:", this),
      monitorDirectory_(&monitorFrame_), outputMapFrame_("Output Map", this),
      terminate_("&Terminate", this), update_("&Update", this), cancel_("&Cancel", this),
      standardChoosers_(this, application), choosers_(&standardChoosers_),
      controller_(*this, tray, application) {
    setObjectName("configDialog");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Tarvo Configuration");
    const QFont windowFont = windowFontOf(*this);
    const QFont arial = arialFont();

    monitorFrame_.setObjectName("monitorFrame");
    monitorFrame_.setFont(arial);
    monitorFrame_.setStyleSheet(kFrameStyle);
    monitorFrame_.setGeometry(twipsRect(*this, 120, 240, 7815, 735));
    const auto* storable = new StorableText(this);
    monitorDirectory_.setObjectName("monitorDirectory");
    monitorDirectory_.setFont(windowFont);
    monitorDirectory_.setValidator(storable);
    monitorDirectory_.setGeometry(
        twipsRect(*this, 270, 510, 7425, 345).translated(-monitorFrame_.geometry().topLeft()));

    outputMapFrame_.setObjectName("outputMapFrame");
    outputMapFrame_.setFont(arial);
    outputMapFrame_.setStyleSheet(kFrameStyle);
    outputMapFrame_.setGeometry(twipsRect(*this, 360, 1080, 7815, 4215));
    placeRows(*storable);

    terminate_.setObjectName("terminate");
    terminate_.setFont(arial);
    terminate_.setGeometry(twipsRect(*this, 360, 5400, 1365, 465));
    connect(&terminate_, &QPushButton::clicked, this, [this] { controller_.terminate(); });

    update_.setObjectName("update");
    update_.setFont(arial);
    update_.setDefault(true);
    update_.setGeometry(twipsRect(*this, 5040, 5400, 1365, 465));
    connect(&update_, &QPushButton::clicked, this, [this] { controller_.update(); });

    cancel_.setObjectName("cancel");
    cancel_.setFont(arial);
    cancel_.setGeometry(twipsRect(*this, 6840, 5400, 1365, 465));
    connect(&cancel_, &QPushButton::clicked, this, [this] { controller_.cancel(); });

    // The controls keep their places when the window is resized: nothing lays them out.
    const QRect client = twipsRect(*this, 0, 0, kClientWidth, kClientHeight);
    resize(client.size());
    move(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry())
            .topLeft());

    controller_.load();
}

void ConfigDialog::placeRows(const QValidator& storable) {
    const QFont windowFont = windowFontOf(*this);
    const QFont arial = arialFont();
    const QPoint frame = outputMapFrame_.geometry().topLeft();
    for (int row = 0; row < core::kOutputs; ++row) {
        const int top = kRowTops[row];
        const QString index = QString::number(row);

        QLabel* caption = new QLabel(kRowCaptions[row], &outputMapFrame_);
        caption->setObjectName("rowCaption_" + index);
        caption->setTextFormat(Qt::PlainText);
        caption->setFont(arial);
        caption->setGeometry(twipsRect(*this, 480, top, 930, 240).translated(-frame));
        rowCaptions_[row] = caption;

        QComboBox* type = new QComboBox(&outputMapFrame_);
        type->setObjectName("rowType_" + index);
        type->setFont(windowFont);
        for (const OutputType listed : outputtype::kListed) {
            const std::string_view name = outputtype::name(listed);
            type->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        }
        type->setCurrentIndex(-1);
        type->setGeometry(twipsRect(*this, 1560, top, 1455, 315).translated(-frame));
        rowTypes_[row] = type;

        QLineEdit* target = new QLineEdit(&outputMapFrame_);
        target->setObjectName("rowTarget_" + index);
        target->setFont(arial);
        target->setValidator(&storable);
        target->setGeometry(twipsRect(*this, 3120, top, 4365, 345).translated(-frame));
        rowTargets_[row] = target;

        QPushButton* button =
            new QPushButton("&" + QString::number(row + 1) + "...", &outputMapFrame_);
        button->setObjectName("rowChooser_" + index);
        button->setFont(windowFont);
        button->setGeometry(twipsRect(*this, 7560, top, 375, 255).translated(-frame));
        connect(button, &QPushButton::clicked, this,
                [this, row] { controller_.chooseTarget(row); });
        rowChoosers_[row] = button;
    }
}

void ConfigDialog::ShownBytes::show(QLineEdit& box, const std::string& bytes) {
    box.setText(QString::fromStdString(bytes));
    bytes_ = bytes;
    shown_ = box.text();
}

std::string ConfigDialog::ShownBytes::read(const QLineEdit& box) const {
    const QString text = box.text();
    return text == shown_ ? bytes_ : text.toStdString();
}

void ConfigDialog::setChoosers(Choosers& replacement) {
    choosers_ = &replacement;
}

void ConfigDialog::reject() {
    controller_.cancel();
}

std::string ConfigDialog::monitorText() const {
    return monitorBytes_.read(monitorDirectory_);
}

void ConfigDialog::setMonitorText(const std::string& text) {
    monitorBytes_.show(monitorDirectory_, text);
}

std::string ConfigDialog::rowType(int row) const {
    const QComboBox* list = rowTypes_.at(row);
    return list->currentIndex() < 0 ? std::string() : list->currentText().toStdString();
}

void ConfigDialog::setRowType(int row, const std::string& type) {
    QComboBox* list = rowTypes_.at(row);
    list->setCurrentIndex(type.empty() ? -1 : list->findText(QString::fromStdString(type)));
}

std::string ConfigDialog::rowTarget(int row) const {
    return rowTargetBytes_.at(row).read(*rowTargets_.at(row));
}

void ConfigDialog::setRowTarget(int row, const std::string& target) {
    rowTargetBytes_.at(row).show(*rowTargets_.at(row), target);
}

void ConfigDialog::closeWindow() {
    QDialog::reject();
}

std::optional<std::string> ConfigDialog::chooseFile() {
    return choosers_->chooseFile();
}

std::optional<std::string> ConfigDialog::chooseDirectory() {
    return choosers_->chooseDirectory();
}

std::optional<std::string> ConfigDialog::choosePrinter() {
    return choosers_->choosePrinter();
}

} // namespace ui::qt
