#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace ui::qt {

// home/Tarvo_Test, or home when that folder does not exist.
QString directoryChooserStart(const QString& home);

// "Specify Directory", modal over parent, directories only, starting at directoryChooserStart
// of home (text). The directory without a trailing separator (but the root), or nothing.
std::optional<std::string> chooseDirectory(QWidget* parent, const std::string& home);

} // namespace ui::qt
