#include "ui/qt/frmMain.h"

#include "platform/Failure.h"
#include "ui/qt/frmConfig.h"

#include <QCoreApplication>
#include <QIcon>
#include <QSocketNotifier>

// The icon's images are built into the executable; a static library needs its resources
// registered by name.
static void loadIconResources() {
    Q_INIT_RESOURCE(tarvo);
}

namespace {

constexpr int kTimerIntervalMs = 100;

QIcon tarvoIcon() {
    loadIconResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        icon.addFile(QStringLiteral(":/icons/tarvo-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace

frmMain::frmMain(modConfig::Settings& settings, const std::string& strWatchDir)
    : settings(settings), ctTray(this), Timer(this), logic(*this, settings, strWatchDir) {
    Timer.setInterval(kTimerIntervalMs);
    connect(&Timer, &QTimer::timeout, this, [this] { logic.Timer_Timer(); });
    connect(&ctTray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    logic.ctTray_IconClick();
                }
            });
    // A change of the watched directory that may have made a job ready runs a tick at once.
    if (const std::intptr_t handle = logic.changesHandle(); handle >= 0) {
        auto* changes = new QSocketNotifier(handle, QSocketNotifier::Read, this);
        connect(changes, &QSocketNotifier::activated, this, [this] { logic.changesReady(); });
    }
    logic.Initialize();
    Timer.start();
}

frmMain::~frmMain() {
    logic.Unload();
    delete config;
}

void frmMain::showTrayIcon(const std::string& tooltip) {
    const QIcon icon = tarvoIcon();
    if (icon.availableSizes().isEmpty()) {
        throw platform::Failure(platform::description::kFileNotFound);
    }
    setWindowIcon(icon);
    ctTray.setIcon(icon);
    ctTray.setToolTip(QString::fromStdString(tooltip));
    ctTray.show();
}

void frmMain::showConfigWindow() {
    if (!config) {
        config = new frmConfig(logic, settings);
    }
    config->show();
    config->raise();
    config->activateWindow();
}

// The tick sets the tooltip ten times a second. A tray that passes every change on (over
// D-Bus, to the desktop's panel) would do so each time, so only a new text is set.
void frmMain::setTrayTooltip(const std::string& text) {
    const QString tooltip = QString::fromStdString(text);
    if (ctTray.toolTip() != tooltip) {
        ctTray.setToolTip(tooltip);
    }
}

void frmMain::setTimerEnabled(bool enabled) {
    if (!enabled) {
        Timer.stop();
    } else if (!Timer.isActive()) {
        Timer.start();
    }
}

void frmMain::endProgram() {
    QCoreApplication::exit(0);
}
