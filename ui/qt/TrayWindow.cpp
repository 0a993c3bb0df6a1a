#include "ui/qt/TrayWindow.h"

#include "platform/Failure.h"
#include "ui/qt/ConfigDialog.h"

#include <QCoreApplication>
#include <QIcon>
#include <QSocketNotifier>

// A static library needs its built-in resources registered by name.
static void loadIconResources() {
    Q_INIT_RESOURCE(tarvo);
}

namespace ui::qt {
namespace {

QIcon tarvoIcon() {
    loadIconResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        icon.addFile(QStringLiteral(":/icons/tarvo-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace

TrayWindow::TrayWindow(core::Application& application, const std::string& watchedDirectory)
    : application_(application), tray_(this), monitorTimer_(this),
      controller_(*this, application, watchedDirectory) {
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
    const QIcon icon = tarvoIcon();
    if (icon.availableSizes().isEmpty()) {
        throw platform::Failure(platform::description::kFileNotFound);
    }
    setWindowIcon(icon);
    tray_.setIcon(icon);
    tray_.setToolTip(QString::fromStdString(tooltip));
    tray_.show();
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

void TrayWindow::endProgram() {
    QCoreApplication::exit(0);
}

} // namespace ui::qt
