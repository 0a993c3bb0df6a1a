#include "ui/win32/ConfigDialog.h"

#include "core/OutputType.h"
#include "ui/logic/ConfigLayout.h"
#include "ui/win32/FileDialogs.h"
#include "ui/win32/PrinterDialog.h"
#include "ui/win32/Resources.h"

#include <string_view>

namespace ui::win32 {
namespace {

using namespace logic::layout;

// Control ids; a row's controls are numbered by the row (0 to 8). "Update" and "Cancel" have
// the ids by which the dialog manager presses them for Enter and Esc.
constexpr int kNoId = -1;
constexpr int kMonitorId = 100;
constexpr int kTypeId = 200;
constexpr int kTargetId = 300;
constexpr int kRowButtonId = 400;
constexpr int kTerminateId = 500;

// Each focusable control starts its own group, so that the arrow keys stay within it.
constexpr DWORD kFocusable = WS_TABSTOP | WS_GROUP;

// The program's icon at the system's size for which (ICON_SMALL or ICON_BIG); none if missing.
void setIcon(HWND window, WPARAM which, int sizeMetric) {
    const int size = GetSystemMetrics(sizeMetric);
    const HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TARVO),
                                   IMAGE_ICON, size, size, LR_SHARED);
    SendMessageA(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

} // namespace

ConfigDialog::ConfigDialog(TrayControl& tray, core::Application& application)
    : application_(application), controller_(*this, tray, application) {
    create(WS_OVERLAPPEDWINDOW, WS_EX_APPWINDOW);
    controller_.load();
}

void ConfigDialog::build() {
    SetWindowTextA(window(), "Tarvo Configuration");
    setIcon(window(), ICON_SMALL, SM_CXSMICON);
    setIcon(window(), ICON_BIG, SM_CXICON);
    placeWindow(kClientWidth, kClientHeight, nullptr);

    // Group boxes first; what lies on them is the window's child, so its notifications reach it.
    addControl("Button", "Monitor Directory:", BS_GROUPBOX, kNoId, {120, 240, 7815, 735},
               Face::Arial);
    monitorDirectory_.attach(addControl("Edit", "", kFocusable | ES_AUTOHSCROLL, kMonitorId,
                                        {270, 510, 7425, 345}, Face::Window, WS_EX_CLIENTEDGE));
    addControl("Button", "Output Map", BS_GROUPBOX, kNoId, {360, 1080, 7815, 4215}, Face::Arial);
    for (int row = 0; row < core::kOutputs; ++row) {
        addRow(row);
    }
    addControl("Button", "&Terminate", kFocusable | BS_PUSHBUTTON, kTerminateId,
               {360, 5400, 1365, 465}, Face::Arial);
    addControl("Button", "&Update", kFocusable | BS_DEFPUSHBUTTON, IDOK, {5040, 5400, 1365, 465},
               Face::Arial);
    addControl("Button", "&Cancel", kFocusable | BS_PUSHBUTTON, IDCANCEL, {6840, 5400, 1365, 465},
               Face::Arial);
}

void ConfigDialog::addRow(int row) {
    const int top = kRowTops[row];
    addControl("Static", kRowCaptions[row], SS_LEFT | SS_NOPREFIX, kNoId, {480, top, 930, 240},
               Face::Arial);

    // A list that cannot be typed into, unsorted. Its height here is that of the list when it
    // drops down, which shrinks to the seven names; closed, the font decides its height.
    const HWND list = addControl("ComboBox", "", kFocusable | WS_VSCROLL | CBS_DROPDOWNLIST,
                                 kTypeId + row, {1560, top, 1455, 315 * 8}, Face::Window);
    for (const OutputType listed : outputtype::kListed) {
        const std::string name(outputtype::name(listed));
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    rowTypes_[row] = list;

    rowTargets_[row].attach(addControl("Edit", "", kFocusable | ES_AUTOHSCROLL, kTargetId + row,
                                       {3120, top, 4365, 345}, Face::Arial, WS_EX_CLIENTEDGE));
    const std::string caption = "&" + std::to_string(row + 1) + "...";
    addControl("Button", caption.c_str(), kFocusable | BS_PUSHBUTTON, kRowButtonId + row,
               {7560, top, 375, 255}, Face::Window);
}

void ConfigDialog::show() {
    ShowWindow(window(), IsIconic(window()) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window());
}

bool ConfigDialog::isDialogMessage(MSG& message) {
    return window() != nullptr && IsDialogMessageA(window(), &message);
}

void ConfigDialog::command(int id, int notification, HWND) {
    if (notification == EN_CHANGE) {
        if (id == kMonitorId) {
            monitorDirectory_.changed();
        } else if (id >= kTargetId && id < kTargetId + core::kOutputs) {
            rowTargets_[id - kTargetId].changed();
        }
        return;
    }
    if (notification != BN_CLICKED) {
        return;
    }
    if (id == IDOK) {
        controller_.update();
    } else if (id == IDCANCEL) {
        controller_.cancel();
    } else if (id == kTerminateId) {
        controller_.terminate();
    } else if (id >= kRowButtonId && id < kRowButtonId + core::kOutputs) {
        controller_.chooseTarget(id - kRowButtonId);
    }
}

std::string ConfigDialog::monitorText() const {
    return monitorDirectory_.text();
}

void ConfigDialog::setMonitorText(const std::string& text) {
    monitorDirectory_.setText(text);
}

std::string ConfigDialog::rowType(int row) const {
    const LRESULT selected = SendMessageA(rowTypes_.at(row), CB_GETCURSEL, 0, 0);
    if (selected < 0 || selected >= static_cast<LRESULT>(outputtype::kListed.size())) {
        return {};
    }
    return std::string(outputtype::name(outputtype::kListed[static_cast<std::size_t>(selected)]));
}

// The names are compared exactly, as the list's own search would not.
void ConfigDialog::setRowType(int row, const std::string& type) {
    WPARAM index = static_cast<WPARAM>(-1);
    for (std::size_t i = 0; i < outputtype::kListed.size(); ++i) {
        if (!type.empty() && outputtype::name(outputtype::kListed[i]) == type) {
            index = i;
        }
    }
    SendMessageA(rowTypes_.at(row), CB_SETCURSEL, index, 0);
}

std::string ConfigDialog::rowTarget(int row) const {
    return rowTargets_.at(row).text();
}

void ConfigDialog::setRowTarget(int row, const std::string& target) {
    rowTargets_.at(row).setText(target);
}

void ConfigDialog::closeWindow() {
    close();
}

std::optional<std::string> ConfigDialog::chooseFile() {
    return win32::chooseFile(window());
}

std::optional<std::string> ConfigDialog::chooseDirectory() {
    return win32::chooseDirectory(window(), application_.platform().locations().homeDirectory);
}

std::optional<std::string> ConfigDialog::choosePrinter() {
    return PrinterDialog::choose(window(), application_.platform().spooler(), application_.log());
}

} // namespace ui::win32
