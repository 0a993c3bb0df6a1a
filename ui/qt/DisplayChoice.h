#pragma once

namespace ui::qt {

// Chooses Qt's platform before Qt starts, unless the user chose one (QT_QPA_PLATFORM): the
// Wayland or X display that the environment names when it answers, and otherwise Qt's offscreen
// platform, so that Tarvo routes jobs without a screen and Qt has nothing to complain of.
void chooseQtPlatform();

// Drops Qt's notes that only say that there is no screen (no runtime directory, no tray of the
// offscreen platform); every other message of Qt's goes where it went.
void quietenHeadlessNotes();

} // namespace ui::qt
