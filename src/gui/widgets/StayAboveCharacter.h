#pragma once

#include <QWidget>

namespace orvella {

// The character and its balloon stay above other windows; a dialog of the
// program must stay above them, or the character could cover the buttons
// the user has to press. Called in a dialog's constructor, before its
// window exists (the flag set later would make the window anew).
inline void StayAboveCharacter(QWidget* dialog)
{
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace orvella
