#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

namespace orvella::platform {

// The current user's hive as Wine keeps it in "user.reg": key lines
// "[Software\\Microsoft\\...] 1234567890" (backslashes doubled) followed by
// value lines "Name"="text" with C-style escapes, or Name=dword:..., hex:...
// Keys and value names match without regard to letter case.
class WineRegistry
{
public:
    bool load(const QString& path);
    void parse(const QString& text);

    bool hasKey(const QString& key) const;
    // A text value as a 255-character buffer receives it: the text up to its
    // first NUL; nothing when the key or value is missing, is not text, or
    // does not fit.
    std::optional<QString> readString(const QString& key, const QString& name) const;

private:
    struct Value
    {
        bool isText = false;
        QString text;
    };
    static QString normaliseKey(const QString& key);

    QHash<QString, QHash<QString, Value>> m_keys; // normalised key -> folded value name -> value
    QSet<QString> m_existing;                     // every key and every key above one
};

// The Windows mail programs' accounts, tried in this order: Outlook (accounts
// 00000000 to 00000009 under each Office version: none, 9.0, 8.0, 7.0),
// Outlook Express (account numbers 0 to 20, then a to f, padded to 8 with
// zeros), Netscape. A try is a hit when both the server and the user name
// were read; the first hit ends the search; a server read from a try without
// a user name stays in server. Netscape comes last and sets what it finds.
bool detectWindowsMailAccount(const WineRegistry& registry, QString& server, QString& user);

} // namespace orvella::platform
