#pragma once

#include <QList>
#include <QString>

namespace orvella::platform {

// A POP account another mail program is set up for. user may be empty when
// the program does not store one.
struct FoundAccount
{
    QString server;
    QString user;

    bool operator==(const FoundAccount&) const = default;
};

// Values of the INI-like files of GLib (Evolution) and KDE (KMail) escape
// blanks, line ends and backslashes; host and user names rarely hold them,
// but a stray "\s" must not end up in a server name.
QString unescapeKeyFileValue(const QString& value);

} // namespace orvella::platform
