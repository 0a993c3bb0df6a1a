// The windows of the real tarvo.exe, driven from outside as a user drives them: a click on the
// tray icon, clicks and keys as the messages they send, the common dialogs of Windows. The
// configuration window's controls are found in their tab order, which the first test checks.
#include "platform/Spooler.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <dlgs.h>

#include <array>
#include <cstdlib>
#include <optional>

namespace {

using namespace std::chrono_literals;
using testsupport::readFile;

// What the notification area sends the tray window for a click on the icon.
constexpr UINT kTrayMessage = WM_APP + 1;

std::string text(HWND window) {
    std::string text(static_cast<std::size_t>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0)) + 1,
                     '\0');
    text.resize(static_cast<std::size_t>(
        SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// An entry of a list (LB_GETTEXT) or drop-down list (CB_GETLBTEXT) of another process, which
// wine passes on whole only as wide text.
std::string itemText(HWND list, UINT message, int index) {
    wchar_t item[256] = {};
    SendMessageW(list, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item));
    char bytes[512] = {};
    WideCharToMultiByte(CP_ACP, 0, item, -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}

std::vector<HWND> controls(HWND window) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// The first control of the class within the window, at any depth.
HWND descendant(HWND window, const char* windowClass) {
    for (HWND child : controls(window)) {
        char name[64];
        GetClassNameA(child, name, sizeof name);
        const HWND found =
            std::string(name) == windowClass ? child : descendant(child, windowClass);
        if (found != nullptr) {
            return found;
        }
    }
    return nullptr;
}

// A control as the user meets it: its class, its kind, whether Tab stops at it, its text.
std::string describe(HWND control) {
    char name[64];
    GetClassNameA(control, name, sizeof name);
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    std::string kind = name;
    if (kind == "Button") {
        const LONG type = style & BS_TYPEMASK;
        kind += type == BS_GROUPBOX ? " group" : type == BS_DEFPUSHBUTTON ? " default" : " push";
    } else if (kind == "ComboBox") {
        kind += (style & 3) == CBS_DROPDOWNLIST ? " droplist" : " editable";
    } else if (kind == "Edit") {
        kind += (style & ES_MULTILINE) != 0 ? " lines" : " line";
    }
    return kind + ((style & WS_TABSTOP) != 0 ? " tab " : " ") + text(control);
}

// Where the control lies in its window's client area.
POINT placeOf(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top};
}

SIZE clientSize(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

POINT centre(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

void click(HWND control) {
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
}

void press(HWND control, WPARAM key) {
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

// Alt and the key.
void accessKey(HWND window, char key) {
    PostMessageA(window, WM_SYSCHAR, static_cast<WPARAM>(key), 1 << 29);
}

// The dialog window with that caption once it shows; nullptr when none showed.
// The dialog window of the running program with that caption, never another test's.
HWND programDialog(const char* caption) {
    DWORD program = 0;
    GetWindowThreadProcessId(wintest::tarvoTrayWindow(), &program);
    return wintest::dialogOf(program, caption);
}

HWND shown(const char* caption) {
    HWND found = nullptr;
    wintest::waitUntil([&] {
        found = programDialog(caption);
        return found != nullptr && IsWindowVisible(found);
    });
    return found;
}

bool gone(const char* caption) {
    return wintest::waitUntil([&] { return programDialog(caption) == nullptr; });
}

// The resolution of the wine prefix's screen for every program that starts while this lives;
// the default, 96, afterwards.
struct ScreenResolution {
    explicit ScreenResolution(DWORD dotsPerInch) { set(dotsPerInch); }
    ~ScreenResolution() { set(96); }
    static void set(DWORD value) {
        RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", REG_DWORD, &value,
                        sizeof value);
    }
};

// The manifest of the program at the path.
std::string manifestOf(const std::string& program) {
    const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
    FreeLibrary(module);
    return manifest;
}

// The real tarvo.exe in a folder of its own with that settings file, running until the test
// ends.
class Tarvo {
public:
    explicit Tarvo(const std::string& ini) {
        testsupport::writeFile(folder + "\\tarvo.ini", ini);
        process.emplace(wintest::installTarvo(TARVO_EXECUTABLE, folder),
                        std::vector<std::string>{});
        EXPECT_TRUE(wintest::waitUntil([] { return wintest::tarvoTrayWindow() != nullptr; }, 60s));
    }

    // A click on the tray icon; the configuration window that it shows.
    HWND openConfig() const {
        PostMessageA(wintest::tarvoTrayWindow(), kTrayMessage, 1, WM_LBUTTONUP);
        return shown("Tarvo Configuration");
    }

    std::string file(const char* name) const { return readFile(folder + "\\" + name); }

    testsupport::TempDir dir;
    std::string folder = wintest::windowsPath(dir.path());
    std::optional<wintest::Process> process;
};

// The configuration window's controls in their tab order.
struct ConfigControls {
    explicit ConfigControls(HWND window) : all(controls(window)) {}
    HWND monitor() const { return all.at(1); }
    HWND type(int row) const { return all.at(4 + 4 * row); }
    HWND target(int row) const { return all.at(5 + 4 * row); }
    HWND button(int row) const { return all.at(6 + 4 * row); }
    std::vector<HWND> all;
};

class WindowsConfigDialog : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "the windows need a display: run ctest under xvfb-run";
        }
    }
};

TEST_F(WindowsConfigDialog, ShowsItsControlsLaidOutAtTheScreensResolution) {
    const std::string ini = "[MAP]\r\n@@1@=Receipt\r\nType1=Ticket\r\nType2=\r\n@@3@=C:\\out\r\n"
                            "Type3=NamedFile\r\nType4=Laser\r\n[MONITOR]\r\nPATH=C:\\jobs\r\n";
    const std::array<std::string, 9> types = {"Ticket",  "NotUsed", "NamedFile",
                                              "",        "NotUsed", "NotUsed",
                                              "NotUsed", "NotUsed", "NotUsed"};
    std::vector<std::string> expected = {
        "Button group Monitor Directory:", "Edit line tab C:\\jobs", "Button group Output Map"};
    for (int row = 0; row < 9; ++row) {
        const std::string n = std::to_string(row + 1);
        expected.push_back("Static @@" + n + (row < 4 ? "@ ->" : "@- >"));
        expected.push_back("ComboBox droplist tab " + types[row]);
        expected.push_back("Edit line tab " + std::string(row == 0   ? "Receipt"
                                                          : row == 2 ? "C:\\out"
                                                                     : ""));
        expected.push_back("Button push tab &" + n + "...");
    }
    expected.insert(expected.end(), {"Button push tab &Terminate", "Button default tab &Update",
                                     "Button push tab &Cancel"});

    // Laid out at the resolution of the user's scaling, with the controls of the current Windows.
    const std::string manifest = manifestOf(wintest::fromUnixPath(TARVO_EXECUTABLE));
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("\"Microsoft.Windows.Common-Controls\" version=\"6."),
              std::string::npos);

    for (const int dotsPerInch : {96, 144}) {
        SCOPED_TRACE(dotsPerInch);
        std::optional<Tarvo> tarvo;
        {
            const ScreenResolution screen(dotsPerInch);
            tarvo.emplace(ini);
        }
        const HWND window = tarvo->openConfig();
        ASSERT_NE(window, nullptr);
        const ConfigControls config(window);
        std::vector<std::string> described;
        for (HWND control : config.all) {
            described.push_back(describe(control));
        }
        EXPECT_EQ(described, expected);
        std::vector<std::string> items;
        for (int i = 0; i < SendMessageA(config.type(0), CB_GETCOUNT, 0, 0); ++i) {
            items.push_back(itemText(config.type(0), CB_GETLBTEXT, i));
        }
        EXPECT_EQ(items, (std::vector<std::string>{"NotUsed", "Ticket", "Dup Ticket", "Label",
                                                   "Report", "File", "NamedFile"}));

        // Twips at the screen's resolution, centred on the work area, kept when resized.
        const auto px = [&](int twips) { return MulDiv(twips, dotsPerInch, 1440); };
        EXPECT_EQ(clientSize(window).cx, px(9885));
        EXPECT_EQ(clientSize(window).cy, px(6180));
        const HWND update = config.all.at(40);
        const POINT updateAt = placeOf(update);
        EXPECT_EQ(updateAt.x, px(5040));
        EXPECT_EQ(updateAt.y, px(5400));
        EXPECT_EQ(placeOf(config.target(8)).x, px(3120));
        EXPECT_EQ(placeOf(config.target(8)).y, px(4440));
        RECT work;
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        EXPECT_LE(std::abs(centre(window).x - (work.left + work.right) / 2), 1);
        EXPECT_LE(std::abs(centre(window).y - (work.top + work.bottom) / 2), 1);
        EXPECT_NE(GetWindowLongA(window, GWL_STYLE) & WS_THICKFRAME, 0);
        SetWindowPos(window, nullptr, 0, 0, px(9885) * 2, px(6180) * 2, SWP_NOMOVE | SWP_NOZORDER);
        EXPECT_EQ(placeOf(update).x, updateAt.x);
        EXPECT_EQ(placeOf(update).y, updateAt.y);

        PostMessageA(wintest::tarvoTrayWindow(), WM_CLOSE, 0, 0);
        EXPECT_EQ(tarvo->process->wait(20s), 0);
    }
}

TEST_F(WindowsConfigDialog, UpdateStoresTheEditsAndThePrinterChosenCancelAndTerminateNothing) {
    Tarvo tarvo("[MAP]\r\n@@1@=stored\r\nType1=Ticket\r\n@@2@=kept\r\nType2=\r\nType4=Laser\r\n"
                "[MONITOR]\r\nPATH=C:\\jobs\r\n");
    HWND window = tarvo.openConfig();
    ASSERT_NE(window, nullptr);
    ConfigControls config(window);

    // A second click shows the same window with its edits.
    SendMessageA(config.monitor(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C:\\new jobs"));
    EXPECT_EQ(tarvo.openConfig(), window);
    EXPECT_EQ(text(config.monitor()), "C:\\new jobs");
    // The boxes hold what the settings file stores whole: 254 bytes, no line break.
    for (int i = 0; i < 300; ++i) {
        PostMessageA(config.target(3), WM_CHAR, 'm', 1);
    }
    EXPECT_TRUE(wintest::waitUntil([&] { return text(config.target(3)) == std::string(254, 'm'); }))
        << text(config.target(3)).size();
    SendMessageA(config.target(2), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("one\r\ntwo"));
    EXPECT_EQ(text(config.target(2)), "");

    // The picker lists the spooler's printers; a choice by Enter fills the row.
    click(config.button(0));
    const HWND picker = shown("Select Printer");
    ASSERT_NE(picker, nullptr);
    const HWND list = descendant(picker, "ListBox");
    std::vector<std::string> listed;
    for (int i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
        listed.push_back(itemText(list, LB_GETTEXT, i));
    }
    EXPECT_EQ(listed, platform::makeSystemSpooler()->printerNames());
    EXPECT_NE(GetWindowLongA(picker, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
    EXPECT_EQ(GetWindowLongA(picker, GWL_STYLE) & (WS_THICKFRAME | WS_MINIMIZEBOX), 0);
    EXPECT_EQ(clientSize(picker).cx, MulDiv(7245, 96, 1440));
    EXPECT_EQ(centre(picker).x, centre(window).x);
    EXPECT_FALSE(IsWindowEnabled(window));
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(picker, nullptr), &thread);
    EXPECT_EQ(thread.hwndFocus, list);
    const auto labels = std::find(listed.begin(), listed.end(), "tarvo_win_labels");
    ASSERT_NE(labels, listed.end());
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(labels - listed.begin()), 0);
    press(list, VK_RETURN);
    EXPECT_TRUE(gone("Select Printer"));
    EXPECT_EQ(text(config.target(0)), "tarvo_win_labels");
    EXPECT_TRUE(IsWindowEnabled(window));

    // Alt+2 for the row whose stored type is empty; Esc leaves the picker without a choice.
    accessKey(window, '2');
    ASSERT_NE(shown("Select Printer"), nullptr);
    SendMessageA(descendant(programDialog("Select Printer"), "ListBox"), LB_SETCURSEL, 0, 0);
    press(descendant(programDialog("Select Printer"), "ListBox"), VK_ESCAPE);
    EXPECT_TRUE(gone("Select Printer"));
    EXPECT_EQ(text(config.target(1)), "kept");

    // Enter stores every row; a type that no list shows is kept.
    press(config.monitor(), VK_RETURN);
    ASSERT_TRUE(gone("Tarvo Configuration"));
    const std::string stored = tarvo.file("tarvo.ini");
    for (const std::string& line : std::vector<std::string>{
             "PATH=C:\\new jobs", "@@1@=tarvo_win_labels", "@@2@=kept", "Type2=NotUsed",
             "@@4@=" + std::string(254, 'm'), "Type4=Laser", "Type3=NotUsed"}) {
        EXPECT_NE(stored.find(line + "\r\n"), std::string::npos) << line << " in " << stored;
    }

    // Esc closes without storing; the next opening shows what is stored.
    window = tarvo.openConfig();
    ASSERT_NE(window, nullptr);
    config = ConfigControls(window);
    SendMessageA(config.monitor(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C:\\discarded"));
    press(config.monitor(), VK_ESCAPE);
    ASSERT_TRUE(gone("Tarvo Configuration"));
    window = tarvo.openConfig();
    ASSERT_NE(window, nullptr);
    config = ConfigControls(window);
    EXPECT_EQ(text(config.monitor()), "C:\\new jobs");

    // Alt+T ends the program without storing.
    SendMessageA(config.monitor(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("C:\\unsaved"));
    accessKey(window, 't');
    EXPECT_EQ(tarvo.process->wait(20s), 0);
    EXPECT_EQ(tarvo.file("tarvo.ini"), stored);
    EXPECT_EQ(tarvo.file("Tarvo.log"), "");
}

TEST_F(WindowsConfigDialog, TheChoosersAreWindowsSaveDialogsEachFromItsOwnStart) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Tarvo_Test", nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    Tarvo tarvo("[MAP]\r\n@@1@=kept file\r\nType1=File\r\n@@2@=kept folder\r\nType2=NamedFile\r\n");
    const HWND window = tarvo.openConfig();
    ASSERT_NE(window, nullptr);
    const ConfigControls config(window);
    // Opens the row's chooser, lets act work on it and closes it with the button.
    const auto choose = [&](int row, const char* caption, int button, const auto& act) {
        click(config.button(row));
        const HWND dialog = shown(caption);
        ASSERT_NE(dialog, nullptr);
        act(dialog);
        click(GetDlgItem(dialog, button));
        EXPECT_TRUE(gone(caption));
    };
    const auto name = [](HWND dialog, const char* typed) {
        SendMessageA(descendant(dialog, "Edit"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
    };

    // Cancelled, each keeps its row's target; each shows its own name and filter.
    choose(0, "Specify File", IDCANCEL, [](HWND dialog) {
        EXPECT_EQ(text(descendant(dialog, "ComboBoxEx32")), "*.*");
        EXPECT_EQ(text(GetDlgItem(dialog, cmb1)), "");
    });
    choose(1, "Specify Directory", IDCANCEL, [](HWND dialog) {
        EXPECT_EQ(text(descendant(dialog, "ComboBoxEx32")), "Select a Directory");
        EXPECT_EQ(text(GetDlgItem(dialog, cmb1)), "Directories");
    });
    EXPECT_EQ(text(config.target(0)), "kept file");
    EXPECT_EQ(text(config.target(1)), "kept folder");

    // The directory chooser gives the folder it showed: C:\Tarvo_Test, or a drive's root.
    choose(1, "Specify Directory", IDOK, [](HWND) {});
    EXPECT_EQ(text(config.target(1)), "C:\\Tarvo_Test");
    choose(1, "Specify Directory", IDOK,
           [&](HWND dialog) { name(dialog, "C:\\Select a Directory"); });
    EXPECT_EQ(text(config.target(1)), "C:\\");
    // The file chooser starts in the program's current folder, not where the other one was.
    choose(0, "Specify File", IDOK, [&](HWND dialog) { name(dialog, "chosen.txt"); });
    char current[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, current);
    EXPECT_EQ(text(config.target(0)), std::string(current) + "\\chosen.txt");

    EXPECT_EQ(tarvo.file("Tarvo.log"), "");
    RemoveDirectoryA("C:\\Tarvo_Test");
    PostMessageA(wintest::tarvoTrayWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tarvo.process->wait(20s), 0);
}

} // namespace
