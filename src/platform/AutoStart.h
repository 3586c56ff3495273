#pragma once

#include <QString>

namespace orvella::platform {

// Start at log-in through the XDG autostart folder: the presence of
// $XDG_CONFIG_HOME/autostart/orvella.desktop is the state.
QString autoStartFilePath();
// execLine is the desktop file's Exec value. Failures are silent.
void setAutoStart(bool enable, const QString& execLine);
void setAutoStart(bool enable); // the running program, started into the tray
bool isAutoStartEnabled();

} // namespace orvella::platform
