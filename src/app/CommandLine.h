#pragma once

#include <QString>
#include <QStringList>

namespace orvella {

// The program's command line. Our own "--" options are taken out first; the
// rest, joined by blanks, is read as the log-in entry and users' shortcuts
// write it: "-AUTOSTART" anywhere (in any letter case) starts hidden in the
// tray, and everything after the first "-D" is the program folder.
struct CommandLine
{
    // Our own options.
    QString traceFile;
    QString audioFile;
    bool show = false;          // hand "open the main window" to the running instance
    bool exit = false;          // end the running instance, saving everything
    bool checkNow = false;      // a user-started mail check in the running instance
    bool readClipboard = false; // read the clipboard aloud in the running instance
    bool help = false;
    bool version = false;
    QString error; // an unknown option or a missing value

    // The rest of the line.
    QString rest;
    bool systemTray = false; // "-AUTOSTART"
    bool hasFolder = false;  // "-D" given
    QString folder;          // the folder after "-D", letter case kept, blanks trimmed

    // args are the arguments after the program name.
    static CommandLine parse(const QStringList& args);
    static QString helpText();
};

} // namespace orvella
