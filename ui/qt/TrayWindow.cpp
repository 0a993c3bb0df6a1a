#include "ui/qt/TrayWindow.h"

#include "platform/Failure.h"
#include "ui/logic/Badge.h"
#include "ui/qt/ConfigDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QSocketNotifier>
#include <QUrl>

#include <cstddef>
#include <cstdint>

// A static library needs its built-in resources registered by name.
static void loadIconResources() {
    Q_INIT_RESOURCE(tarvo);
}

namespace ui::qt {
namespace {

constexpr int kIconSizes[] = {16, 24, 32, 48};
// How long a notification shows, where the desktop lets the program say.
constexpr int kNotificationMs = 10000;

// The program's icon at each of its sizes, with the badge painted over it.
QIcon tarvoIcon(logic::TrayIcon badge) {
    loadIconResources();
    QIcon icon;
    for (int size : kIconSizes) {
        QImage image = QImage(QStringLiteral(":/icons/tarvo-%1.png").arg(size))
                           .convertToFormat(QImage::Format_ARGB32);
        if (image.size() == QSize(size, size)) {
            // ARGB32 rows are whole pixels of 0xAARRGGBB, one after the other.
            logic::paintBadge(badge, reinterpret_cast<std::uint32_t*>(image.bits()), size);
            icon.addPixmap(QPixmap::fromImage(image));
        }
    }
    return icon;
}

} // namespace

TrayWindow::TrayWindow(core::Application& application, const std::string& watchedDirectory)
    : application_(application), tray_(this), monitorTimer_(this),
      controller_(*this, application, watchedDirectory) {
    for (std::size_t i = 0; i < logic::kTrayMenu.size(); ++i) {
        const logic::TrayMenuItem& item = logic::kTrayMenu[i];
        if (item.separated) {
            menu_.addSeparator();
        }
        actions_[i] = menu_.addAction(
            QString::fromUtf8(item.caption.data(), static_cast<qsizetype>(item.caption.size())));
        actions_[i]->setCheckable(item.command == logic::TrayCommand::PauseMonitoring);
        connect(actions_[i], &QAction::triggered, this,
                [this, command = item.command] { controller_.run(command); });
    }
    // What a click on the icon does, shown in bold.
    menu_.setDefaultAction(actions_.front());
    connect(&menu_, &QMenu::aboutToShow, this, [this] { updateMenu(); });
    tray_.setContextMenu(&menu_);
    monitorTimer_.setSingleShot(true);
    connect(&monitorTimer_, &QTimer::timeout, this, [this] { controller_.tick(); });
    connect(&tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    controller_.onTrayClicked();
                }
            });
    // A change of the watched directory that may have made a job ready runs a tick at once.
    if (const std::intptr_t handle = controller_.changesHandle(); handle >= 0) {
        auto* changes =
            new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, this);
        connect(changes, &QSocketNotifier::activated, this, [this] { controller_.changesReady(); });
    }
    controller_.initialize();
}

TrayWindow::~TrayWindow() {
    controller_.unload();
    delete config_;
}

void TrayWindow::showTrayIcon(const std::string& tooltip) {
    const QIcon icon = tarvoIcon(logic::TrayIcon::Normal);
    if (icon.availableSizes().isEmpty()) {
        throw platform::Failure(platform::description::kFileNotFound);
    }
    icons_ = {icon, tarvoIcon(logic::TrayIcon::Warning), tarvoIcon(logic::TrayIcon::Stopped)};
    setWindowIcon(icon);
    tray_.setIcon(icon);
    tray_.setToolTip(QString::fromStdString(tooltip));
    tray_.show();
}

void TrayWindow::setTrayIcon(logic::TrayIcon icon) {
    tray_.setIcon(icons_.at(static_cast<std::size_t>(icon)));
}

bool TrayWindow::hasTray() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayWindow::notify(const logic::Notification& notification) {
    tray_.showMessage(QString::fromStdString(notification.title),
                      QString::fromStdString(notification.text), QSystemTrayIcon::Warning,
                      kNotificationMs);
}

void TrayWindow::openOnDesktop(const std::string& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(path.c_str())))) {
        throw platform::Failure(platform::description::kDesktopCannotOpen + path);
    }
}

// Qt has no window of a printer's queue: the menu's items of jobs held back only tell.
void TrayWindow::openPrinterQueue(const std::string& printer) {
    throw platform::Failure(platform::description::kDesktopCannotOpen + printer);
}

void TrayWindow::updateMenu() {
    for (QAction* action : heldBackActions_) {
        menu_.removeAction(action);
        delete action;
    }
    heldBackActions_.clear();
    for (const routing::HeldBackJob& job : controller_.heldBackJobs()) {
        auto* action = new QAction(QString::fromStdString(logic::heldBackCaption(job)), &menu_);
        action->setEnabled(false);
        heldBackActions_.push_back(action);
    }
    if (!heldBackActions_.empty()) {
        heldBackActions_.push_back(new QAction(&menu_));
        heldBackActions_.back()->setSeparator(true);
        menu_.insertActions(actions_.front(), {heldBackActions_.begin(), heldBackActions_.end()});
    }
    for (std::size_t i = 0; i < logic::kTrayMenu.size(); ++i) {
        actions_[i]->setEnabled(controller_.isAvailable(logic::kTrayMenu[i].command));
        if (actions_[i]->isCheckable()) {
            actions_[i]->setChecked(controller_.paused());
        }
    }
}

void TrayWindow::showConfigWindow() {
    if (!config_) {
        config_ = new ConfigDialog(controller_, application_);
    }
    config_->show();
    config_->raise();
    config_->activateWindow();
}

// Called ten times a second; a tray passing every change on (over D-Bus) gets only new texts.
void TrayWindow::setTrayTooltip(const std::string& text) {
    const QString tooltip = QString::fromStdString(text);
    if (tray_.toolTip() != tooltip) {
        tray_.setToolTip(tooltip);
    }
}

void TrayWindow::scheduleTick(monitor::NextTick delay) {
    if (delay) {
        monitorTimer_.start(*delay);
    } else {
        monitorTimer_.stop();
    }
}

bool TrayWindow::configWindowOpen() const {
    return config_ && config_->isVisible();
}

void TrayWindow::endProgram() {
    QCoreApplication::exit(0);
}

} // namespace ui::qt
