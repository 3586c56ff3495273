#pragma once

class QWidget;

namespace orvella::platform {

// Takes an X11 window out of its application's window group (the group
// named in its WM_HINTS). Window managers such as Openbox keep a group's
// dialog, utility and tool windows that have no parent window of their own
// above every other window of the group: the character, its balloon and the
// reminder alerts would then stay above the program's dialogs whatever the
// program raises. Out of the group they are stacked like any other window
// that stays on top. Call it once the native window exists and before it is
// mapped (from showEvent); elsewhere than on X11 it does nothing.
void leaveWindowGroup(QWidget* window);

} // namespace orvella::platform
