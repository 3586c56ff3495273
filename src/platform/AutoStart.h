#pragma once

#include <QString>

namespace orvella::platform {

// Start at log-in through the XDG autostart folder: the presence of
// $XDG_CONFIG_HOME/autostart/orvella.desktop is the state.
QString autoStartFilePath();
// execLine is the desktop file's Exec value. Failures are silent.
void setAutoStart(bool enable, const QString& execLine);
// The running program, started into the tray with programFolder (given with
// -D unless it is the default one).
void setAutoStartFor(bool enable, const QString& programFolder);
bool isAutoStartEnabled();

} // namespace orvella::platform
