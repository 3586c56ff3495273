#pragma once

#include <QString>

// The program's shared free procedures: profile reading, the yes/no words,
// start at log-in, opening documents, and two small list and key helpers.
namespace orvella {

// A key of an initialisation file: an absent key gives defaultValue, a key
// with an empty value gives empty text, values are cut at 1023 characters.
QString ReadIni(const QString& section, const QString& key, const QString& defaultValue, const QString& file);

// "Yes" or "No", the words every file of the program uses for booleans.
QString YesNo(bool value);
// Readers accept any letter case of "yes"; everything else is false.
bool IsYes(const QString& value);

// The leading number of a text, as the program's files are read: leading blanks
// skipped, reading stops at the first character that cannot continue a number,
// no number gives 0; rounded to the nearest integer, halves to even, and held
// within 32 bits (a huge value in a hand-edited file must not wrap around).
int ReadNumber(const QString& text);
// A number as the files store it: bare decimal digits with an optional sign.
QString NumberText(qint64 value);

// Registers (or unregisters) the program to start hidden in the tray when the
// user logs in. Failures are silent.
void SetAutoStart(bool enable);
// Whether the log-in start is registered.
bool IsAutoStartEnabled();

// Opens a file, folder or web address with the desktop's handler. Failures are silent.
void ShellOpen(const QString& target);

} // namespace orvella
