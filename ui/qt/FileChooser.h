#pragma once

#include <optional>
#include <string>

class QWidget;

namespace ui::qt {

// Shows a fresh save-style file chooser "Specify File" modally over parent. The chosen file
// need not exist, but its directory must, and neither may be write-protected; an existing file
// is taken without asking. Gives the file's full path, or nothing when it was cancelled.
std::optional<std::string> chooseFile(QWidget* parent);

} // namespace ui::qt
