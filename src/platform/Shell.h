#pragma once

#include <QString>

namespace orvella::platform {

// Opens a file, folder or web address with the desktop's handler.
void openInShell(const QString& target);
// Starts a program given by path (and arguments, blank-separated) without
// waiting for it. Returns false when it could not be started.
bool startProgram(const QString& commandLine);

// Test hook: while set, openInShell records targets here instead of opening them.
void setShellRecorder(QStringList* recorder);

} // namespace orvella::platform
