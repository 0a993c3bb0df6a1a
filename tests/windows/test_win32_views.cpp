// The Windows windows in the test's own process, where their fonts can be read and the spooler
// replaced.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/UnreachableSpooler.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"
#include "ui/win32/ConfigDialog.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// The face and height of a control's font.
std::string fontOf(HWND control) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return std::string(font.lfFaceName) + " " + std::to_string(font.lfHeight);
}

TEST(WindowsViews, ArialWhereTheLayoutAsksAndAPickerThatCannotListIsTheRowButtonsFailure) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "the windows need a display: run ctest under xvfb-run";
    }
    testsupport::AppSandbox sandbox;
    sandbox.application().settings().outputs[0].target = "kept";
    testsupport::FakeTray tray;
    ui::win32::ConfigDialog config(tray, sandbox.application());
    config.show();
    const HWND window = wintest::dialogOf(GetCurrentProcessId(), "Tarvo Configuration");
    ASSERT_NE(window, nullptr);

    // Group boxes, row captions, targets and the three bottom buttons in Arial 9.75 pt; the
    // monitor box, the type lists and the row buttons in the system's message font.
    const HDC screen = GetDC(nullptr);
    const std::string arial =
        "Arial " + std::to_string(-MulDiv(975, GetDeviceCaps(screen, LOGPIXELSY), 7200));
    ReleaseDC(nullptr, screen);
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const std::string message = std::string(metrics.lfMessageFont.lfFaceName) + " " +
                                std::to_string(metrics.lfMessageFont.lfHeight);
    std::vector<std::string> expected = {arial, message, arial};
    for (int row = 0; row < 9; ++row) {
        expected.insert(expected.end(), {arial, message, arial, message});
    }
    expected.insert(expected.end(), {arial, arial, arial});
    std::vector<std::string> fonts;
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        fonts.push_back(fontOf(child));
        children.push_back(child);
    }
    EXPECT_EQ(fonts, expected);

    // The picker fails while it lists: the window never shows, the row keeps its target.
    platform::UnreachableSpooler spooler;
    sandbox.platform().useSpooler(&spooler);
    SendMessageA(children.at(6), BM_CLICK, 0, 0);
    sandbox.platform().useSpooler(nullptr);
    EXPECT_EQ(wintest::dialogOf(GetCurrentProcessId(), "Select Printer"), nullptr);
    char target[16] = {};
    GetWindowTextA(children.at(5), target, sizeof target);
    EXPECT_STREQ(target, "kept");
    EXPECT_EQ(sandbox.logMessages(),
              std::vector<std::string>{"frmConfig::cmdOut::Click - The scheduler is not running"});
}

} // namespace
