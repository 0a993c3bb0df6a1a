#include "ui/win32/PrinterDialog.h"

#include "platform/Failure.h"

#include <vector>

namespace ui::win32 {
namespace {

constexpr int kListId = 100;
constexpr COLORREF kListColour = RGB(192, 192, 192);

} // namespace

std::optional<std::string> PrinterDialog::choose(HWND owner, platform::Spooler& spooler,
                                                 core::ActivityLog& log) {
    PrinterDialog dialog(owner, spooler, log);
    dialog.runModal(owner, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_TOOLWINDOW);
    return dialog.picker_.chosen();
}

PrinterDialog::~PrinterDialog() {
    if (listBackground_ != nullptr) {
        DeleteObject(listBackground_);
    }
}

void PrinterDialog::build() {
    SetWindowTextA(window(), "Select Printer");
    placeWindow(7245, 4890, owner_);

    listBackground_ = CreateSolidBrush(kListColour);
    // No LBS_SORT: the spooler's order. Its height as placed, not rounded to whole entries.
    printers_ = addControl("ListBox", "", WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT,
                           kListId, {120, 120, 6975, 3960}, Face::Window, WS_EX_CLIENTEDGE);
    addControl("Button", "&OK", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, IDOK,
               {2235, 4320, 1245, 345}, Face::Arial);
    addControl("Button", "&Cancel", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, IDCANCEL,
               {3525, 4320, 1245, 345}, Face::Arial);
    picker_.load();
}

void PrinterDialog::command(int id, int, HWND) {
    if (id == IDOK) {
        picker_.ok();
    } else if (id == IDCANCEL) {
        picker_.cancel();
    }
}

std::optional<INT_PTR> PrinterDialog::message(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORLISTBOX && reinterpret_cast<HWND>(lParam) == printers_ &&
        listBackground_ != nullptr) {
        SetBkColor(reinterpret_cast<HDC>(wParam), kListColour);
        return reinterpret_cast<INT_PTR>(listBackground_);
    }
    return std::nullopt;
}

void PrinterDialog::addPrinter(const std::string& name) {
    const LRESULT added =
        SendMessageA(printers_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    if (added == LB_ERR || added == LB_ERRSPACE) {
        throw platform::Failure(platform::description::kOutOfMemory);
    }
}

int PrinterDialog::printerCount() const {
    return static_cast<int>(SendMessageA(printers_, LB_GETCOUNT, 0, 0));
}

bool PrinterDialog::isPrinterSelected(int index) const {
    return SendMessageA(printers_, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

std::string PrinterDialog::printerText(int index) const {
    const LRESULT length = SendMessageA(printers_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) {
        throw platform::Failure(platform::description::kSubscriptOutOfRange);
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    const LRESULT copied = SendMessageA(printers_, LB_GETTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    return std::string(text.data(), copied > 0 ? static_cast<std::size_t>(copied) : 0);
}

void PrinterDialog::closeWindow() {
    close();
}

} // namespace ui::win32
