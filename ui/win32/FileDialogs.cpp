#include "ui/win32/FileDialogs.h"

#include "platform/Failure.h"
#include "platform/Paths.h"

#include <cderr.h>
#include <commdlg.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ui::win32 {

namespace {

constexpr DWORD kFileFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_LONGNAMES |
                             OFN_NOREADONLYRETURN | OFN_PATHMUSTEXIST | OFN_SHAREAWARE;
constexpr DWORD kDirectoryFlags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOVALIDATE;
constexpr const char* kTestFolder = "C:\\Tarvo_Test";
// The name buffer: a name of more than 254 bytes is refused when it reaches the row anyway.
constexpr std::size_t kNameBuffer = 4096;

std::string currentDirectory() {
    std::vector<char> path(GetCurrentDirectoryA(0, nullptr) + 1);
    const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
    return std::string(path.data(), length < path.size() ? length : 0);
}

// Without a trailing separator, except for the root of a drive ("C:\").
std::string directoryOf(const std::string& path, std::size_t nameOffset) {
    std::string directory = path.substr(0, std::min(nameOffset, path.size()));
    const bool driveRoot = directory.size() == 3 && directory[1] == ':';
    if (!driveRoot && directory.size() > 1 &&
        (directory.back() == '\\' || directory.back() == '/')) {
        directory.pop_back();
    }
    return directory;
}

class SaveDialog {
public:
    // The folder goes into the name, not the initial directory: from its second use on, Windows
    // would show the folder last used in any of the program's dialogs instead.
    SaveDialog(HWND owner, const char* title, const std::string& folder, const char* name,
               DWORD flags)
        : file_(kNameBuffer) {
        std::string initial = folder;
        if (!initial.empty() && initial.back() != '\\') {
            initial += '\\';
        }
        initial += name;
        std::strncpy(file_.data(), initial.c_str(), file_.size() - 1);
        dialog_.lStructSize = sizeof dialog_;
        dialog_.hwndOwner = owner;
        dialog_.lpstrFile = file_.data();
        dialog_.nMaxFile = static_cast<DWORD>(file_.size());
        dialog_.lpstrTitle = title;
        dialog_.Flags = flags;
    }

    void setFilter(const char* filter) {
        dialog_.lpstrFilter = filter;
        dialog_.nFilterIndex = 1;
    }

    // The confirmed name, or nothing when cancelled. The current directory, which the dialog
    // moves, is put back, so that no dialog starts where another one was left.
    std::optional<std::string> show() {
        const std::string before = currentDirectory();
        const BOOL confirmed = GetSaveFileNameA(&dialog_);
        const DWORD error = confirmed ? 0 : CommDlgExtendedError();
        if (!before.empty()) {
            SetCurrentDirectoryA(before.c_str());
        }
        if (error == FNERR_BUFFERTOOSMALL) {
            platform::throwSystemError(ENAMETOOLONG);
        }
        if (error != 0) {
            char text[64];
            std::snprintf(text, sizeof text, "The file dialog failed (error 0x%04lX).", error);
            throw platform::Failure(text);
        }
        if (!confirmed) {
            return std::nullopt;
        }
        return std::string(file_.data());
    }

    // Where the name begins in the confirmed path.
    std::size_t nameOffset() const { return dialog_.nFileOffset; }

private:
    std::vector<char> file_;
    OPENFILENAMEA dialog_{};
};

} // namespace

std::optional<std::string> chooseFile(HWND owner) {
    SaveDialog chooser(owner, "Specify File", currentDirectory(), "*.*", kFileFlags);
    return chooser.show();
}

std::optional<std::string> chooseDirectory(HWND owner, const std::string& home) {
    const std::string folder = platform::directoryExists(kTestFolder) ? kTestFolder : home;
    SaveDialog chooser(owner, "Specify Directory", folder, "Select a Directory", kDirectoryFlags);
    // A description and a pattern, each ended by a NUL, and a NUL after the last entry.
    chooser.setFilter("Directories\0*.~#~\0");
    const std::optional<std::string> chosen = chooser.show();
    if (!chosen) {
        return std::nullopt;
    }
    return directoryOf(*chosen, chooser.nameOffset());
}

} // namespace ui::win32
