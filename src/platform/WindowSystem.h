#pragma once

#include <QString>

namespace orvella::platform {

// The window system the program runs on, chosen before the application
// object exists.
//
// The character must stand where the settings put it and stay above other
// windows, and a Wayland client may do neither: the compositor places its
// windows and decides their stacking. So wherever an X server is there
// (XWayland on a Wayland session), the program runs on it, even when the
// session's QT_QPA_PLATFORM asks for Wayland, as many desktop guides tell
// users to set for every Qt program. Only the program's own variable
// ORVELLA_PLATFORM (any of Qt's platform names, "wayland" for the native
// one) chooses otherwise.
struct WindowSystemEnvironment
{
    QString orvellaPlatform; // ORVELLA_PLATFORM
    QString qtPlatform;      // QT_QPA_PLATFORM
    QString display;         // DISPLAY
};

// The value QT_QPA_PLATFORM is given; empty leaves it as it is. A setting
// that names no Wayland platform first (xcb, offscreen, vnc...) is the user's
// own choice and stays.
QString chooseQtPlatform(const WindowSystemEnvironment& env);

// Reads this process's environment and sets QT_QPA_PLATFORM. Call it before
// the application object exists.
void chooseWindowSystem();

// The program runs as a native Wayland client: it can neither place its
// windows nor keep them above others, and a window moves only when the
// compositor moves it (QWindow::startSystemMove). Valid once the application
// object exists.
bool nativeWayland();

} // namespace orvella::platform
