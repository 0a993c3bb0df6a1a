#pragma once

#include <optional>
#include <string>

class QWidget;

namespace ui::qt {

// "Specify File", modal over parent: takes an existing file without asking; its directory must
// exist, and neither be write-protected. The full path, or nothing when cancelled.
std::optional<std::string> chooseFile(QWidget* parent);

} // namespace ui::qt
