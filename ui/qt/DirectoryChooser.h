#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace ui::qt {

// Where the directory chooser starts: the folder "Tarvo_Test" in the home directory, or the
// home directory itself when that folder does not exist.
QString directoryChooserStart(const QString& home);

// Shows a fresh directory chooser "Specify Directory" modally over parent, listing directories
// only and starting where directoryChooserStart() says for the user's home directory (text).
// Gives the chosen directory without a trailing separator (except the root), or nothing when it
// was cancelled.
std::optional<std::string> chooseDirectory(QWidget* parent, const std::string& home);

} // namespace ui::qt
