#pragma once

#include <QFont>

namespace ui::qt {

// Arial 9.75 pt, the font of the windows' captions, buttons and target boxes. Where Arial is
// not installed the font configuration picks a metric-compatible face (Liberation Sans).
QFont arialFont();

} // namespace ui::qt
