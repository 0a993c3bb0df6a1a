// The Windows windows in the test's own process, where their fonts can be read and the spooler
// replaced.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/UnreachableSpooler.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"
#include "ui/win32/AlertBox.h"
#include "ui/win32/ConfigDialog.h"
#include "ui/win32/MessageLoop.h"

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

// Changes that keep coming (a writer that writes on and on) never hold up the messages: a
// WM_QUIT posted before the first of them ends the loop at once.
TEST(WindowsMessageLoop, MessagesAreReadWhileChangesKeepComing) {
    const HANDLE changes = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    int calls = 0;
    PostQuitMessage(7);
    const int code = ui::win32::runMessages(
        changes,
        [&] {
            // A loop that never reads its messages would run here for ever: the stream ends.
            if (++calls == 1000) {
                ResetEvent(changes);
            }
        },
        [](MSG&) { return false; });
    CloseHandle(changes);
    EXPECT_EQ(code, 7);
    EXPECT_LE(calls, 1);
}

// The boxes of the process captioned "Tarvo", and their texts.
std::vector<std::string> alertTexts() {
    std::vector<std::string> texts;
    for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", "Tarvo"); box != nullptr;
         box = FindWindowExA(nullptr, box, "#32770", "Tarvo")) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner == GetCurrentProcessId()) {
            char text[256] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            texts.emplace_back(text);
        }
    }
    return texts;
}

// The alert box never waits for its click, and shows one box at a time: texts given while one
// is open wait for it, the latest only.
TEST(WindowsAlertBox, ShowsOneBoxAtATimeAndNeverWaitsForTheClick) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "the box needs a display: run ctest under xvfb-run";
    }
    {
        ui::win32::AlertBox box;
        box.show("first");
        ASSERT_TRUE(wintest::waitUntil([] { return alertTexts().size() == 1; }));
        box.show("second");
        box.show("third");
        Sleep(300);
        EXPECT_EQ(alertTexts(), std::vector<std::string>{"first"});
        const HWND open = wintest::dialogOf(GetCurrentProcessId(), "Tarvo");
        PostMessageA(open, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(
            wintest::waitUntil([] { return alertTexts() == std::vector<std::string>{"third"}; }));
    }
    EXPECT_TRUE(alertTexts().empty()) << "a box open at the end is closed";
}

} // namespace
