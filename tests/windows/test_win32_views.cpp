// The Windows windows in the test's own process, where their fonts can be read and the spooler
// replaced.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/UnreachableSpooler.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"
#include "ui/logic/Badge.h"
#include "ui/win32/AlertBox.h"
#include "ui/win32/ConfigDialog.h"
#include "ui/win32/MessageLoop.h"
#include "ui/win32/TrayWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// Runs the thread's messages, and the tray window's directory changes as the program's loop
// does, until the condition holds; false when it did not within 20 seconds.
bool runUntil(ui::win32::TrayWindow& window, const std::function<bool()>& condition) {
    const ULONGLONG end = GetTickCount64() + 20000;
    while (!condition()) {
        if (GetTickCount64() > end) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (WaitForSingleObject(window.changesHandle(), 5) == WAIT_OBJECT_0) {
            window.changesReady();
        }
    }
    return true;
}

// The window of that class that this process made; nullptr when none.
HWND ownWindow(const char* windowClass) {
    for (HWND found = FindWindowExA(nullptr, nullptr, windowClass, nullptr); found != nullptr;
         found = FindWindowExA(nullptr, found, windowClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(found, &owner);
        if (owner == GetCurrentProcessId() &&
            (std::string(windowClass) != "#32768" || IsWindowVisible(found))) {
            return found;
        }
    }
    return nullptr;
}

// The icon's pixels, 0xAARRGGBB row after row.
std::vector<std::uint32_t> pixelsOf(HICON icon, int& size) {
    ICONINFO info{};
    GetIconInfo(icon, &info);
    BITMAP shape{};
    GetObjectA(info.hbmColor, sizeof shape, &shape);
    size = shape.bmWidth;
    BITMAPINFO format{};
    format.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size * size));
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(size), pixels.data(), &format,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return pixels;
}

// An item of a menu as the user meets it: its text, "(grayed)", "(checked)"; "-" a separator.
std::string describeItem(HMENU menu, int position) {
    const UINT state = GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION);
    if ((state & MF_SEPARATOR) != 0) {
        return "-";
    }
    wchar_t text[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(position), text, 64, MF_BYPOSITION);
    char bytes[128] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return std::string(bytes) + ((state & MF_GRAYED) != 0 ? " (grayed)" : "") +
           ((state & MF_CHECKED) != 0 ? " (checked)" : "");
}

// The tray window's menu, opened by a right click on the icon: a thread of the test reads its
// items, then closes it with Esc, or leaves it with Enter on the item at position choose, as a
// user's keys would.
std::vector<std::string> useMenu(ui::win32::TrayWindow& window, int choose = -1) {
    std::vector<std::string> items;
    std::atomic<bool> done = false;
    std::thread user([&] {
        HWND shown = nullptr;
        wintest::waitUntil([&] { return (shown = ownWindow("#32768")) != nullptr; });
        const auto menu = reinterpret_cast<HMENU>(SendMessageA(shown, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            items.push_back(describeItem(menu, i));
        }
        if (choose >= 0) {
            wintest::waitUntil([&] {
                const UINT state = GetMenuState(menu, static_cast<UINT>(choose), MF_BYPOSITION);
                if ((state & MF_HILITE) == 0) {
                    PostMessageA(shown, WM_KEYDOWN, VK_DOWN, 0);
                    Sleep(50);
                }
                return (state & MF_HILITE) != 0;
            });
        }
        PostMessageA(shown, WM_KEYDOWN, choose >= 0 ? VK_RETURN : VK_ESCAPE, 0);
        done = true;
    });
    PostMessageA(ownWindow("TarvoMainWindow"), WM_APP + 1, 1, WM_RBUTTONUP);
    EXPECT_TRUE(runUntil(window, [&] { return done && ownWindow("#32768") == nullptr; }));
    user.join();
    return items;
}

TEST(WindowsTray, TheMenuOffersItsItemsAndTheIconShowsAFailureAndAPause) {
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "the windows need a display: run ctest under xvfb-run";
    }
    testsupport::AppSandbox sandbox;
    testsupport::TempDir watch;
    const std::string watched = wintest::windowsPath(watch.path());
    core::Settings& settings = sandbox.application().settings();
    settings.monitorDirectory = watched;
    settings.outputs[0] = {"Nope", "Ticket"};
    ui::win32::TrayWindow window(sandbox.application(), watched);
    int size = 0;
    const std::vector<std::uint32_t> normal = pixelsOf(window.trayIcon(), size);
    const auto badged = [&](ui::logic::TrayIcon badge) {
        std::vector<std::uint32_t> pixels = normal;
        ui::logic::paintBadge(badge, pixels.data(), size);
        return pixels;
    };

    EXPECT_EQ(useMenu(window),
              (std::vector<std::string>{"Configuration\xE2\x80\xA6", "-", "Open log (grayed)",
                                        "Open watched folder", "Open failed jobs (grayed)", "-",
                                        "Pause monitoring", "-", "Terminate"}));

    // A section for a printer that does not exist: the warning badge and the tooltip's line.
    testsupport::writeFile(watch.file("job"), "@!@1lost");
    EXPECT_TRUE(runUntil(window, [&] { return pixelsOf(window.trayIcon(), size) != normal; }));
    EXPECT_EQ(pixelsOf(window.trayIcon(), size), badged(ui::logic::TrayIcon::Warning));
    EXPECT_NE(window.trayTooltip().find("\n"), std::string::npos) << window.trayTooltip();

    // Pause monitoring chosen in the menu: the stopped badge, and checked the next time.
    useMenu(window, 6);
    EXPECT_EQ(pixelsOf(window.trayIcon(), size), badged(ui::logic::TrayIcon::Stopped));
    EXPECT_NE(window.trayTooltip().find("\npaused\n"), std::string::npos) << window.trayTooltip();
    const std::vector<std::string> items = useMenu(window);
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items[4], "Open failed jobs");
    EXPECT_EQ(items[6], "Pause monitoring (checked)");
}

} // namespace
