#include "ui/frmMain.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Failure.h"
#include "platform/Signals.h"
#include "ui/frmConfig.h"

#include <QCoreApplication>
#include <QIcon>

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

frmMain::frmMain() : ctTray(this), Timer(this) {
    Timer.setInterval(kTimerIntervalMs);
    connect(&Timer, &QTimer::timeout, this, &frmMain::Timer_Timer);
    connect(&ctTray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    ctTray_IconClick();
                }
            });
    Initialize();
    Timer.start();
}

frmMain::~frmMain() {
    Unload();
    delete config;
}

void frmMain::Initialize() {
    try {
        const QIcon icon = tarvoIcon();
        if (icon.availableSizes().isEmpty()) {
            throw platform::Failure(platform::description::kFileNotFound);
        }
        setWindowIcon(icon);
        ctTray.setIcon(icon);
        ctTray.setToolTip(QStringLiteral("Tarvo - Ready"));
        ctTray.show();
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kInitialize, failure);
    }
}

void frmMain::Unload() {
    if (unloaded) {
        return;
    }
    unloaded = true;
    try {
        Timer.stop();
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kUnload, failure);
    }
}

void frmMain::Timer_Timer() {
    // Once a stop has been requested no further job is taken; the event loop ends the program.
    if (platform::stopRequested()) {
        return;
    }
    monitor::Timer_Timer(*this);
}

void frmMain::ctTray_IconClick() {
    try {
        if (!config) {
            config = new frmConfig(*this);
        }
        config->show();
        config->raise();
        config->activateWindow();
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kTrayIconClick, failure);
    }
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

void frmMain::setMonitorTimerEnabled(bool enabled) {
    setTimerEnabled(enabled);
}

void frmMain::unloadMainWindow() {
    Unload();
}

void frmMain::endProgram() {
    QCoreApplication::exit(0);
}
