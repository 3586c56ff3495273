#pragma once

#include <QWidget>

namespace orvella {

// The character and its balloon stay above other windows; every window of
// the program a user must answer or read (dialogs, prompts, alerts, message
// boxes) must stay above them, or the character could cover the buttons the
// user has to press. The one way the program's windows are kept on top:
// called in a window's constructor, or before a message box shows, while its
// native window does not exist yet (the flag set later would make the window
// anew).
inline void StayAboveCharacter(QWidget* window)
{
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace orvella
