#pragma once

#include <QString>

namespace orvella::platform {

// Where the shipped data (characters, sounds, tips) lives: the installed
// <prefix>/share/orvella beside the executable, else the source tree's data/
// when the program runs from its build tree.
QString shippedDataDir();
// The installed characters folder.
QString installedCharactersFolder();
// The default program folder: $XDG_DATA_HOME/Orvella.
QString defaultProgramFolder();
// Copies the shipped files that are missing from the program folder; the
// user's own files are never overwritten.
void copyMissingDataFiles(const QString& appPath);

} // namespace orvella::platform
