#include "platform/accounts/ThunderbirdAccounts.h"

#include "platform/ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

// A JavaScript string literal's body, as prefs.js writes it.
QString unescapeJs(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const QChar e = s[++i];
        auto hex = [&](int digits) {
            if (i + digits >= s.size()) return false;
            bool ok = false;
            const uint v = s.mid(i + 1, digits).toUInt(&ok, 16);
            if (!ok) return false;
            out += QChar(char16_t(v));
            i += digits;
            return true;
        };
        switch (e.unicode()) {
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'u':
            if (!hex(4)) out += e;
            break;
        case u'x':
            if (!hex(2)) out += e;
            break;
        default:
            out += e;
            break;
        }
    }
    return out;
}

QHash<QString, QString> readPrefs(const QString& text)
{
    // user_pref("name", value); where value is a string, a number or a boolean.
    static const QRegularExpression line(
        uR"re(^\s*user_pref\(\s*"((?:[^"\\]|\\.)*)"\s*,\s*("(?:[^"\\]|\\.)*"|[^)\s]*)\s*\)\s*;)re"_s,
        QRegularExpression::MultilineOption);
    QHash<QString, QString> prefs;
    auto it = line.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        QString value = m.captured(2);
        if (value.startsWith(u'"')) value = unescapeJs(QStringView(value).mid(1, value.size() - 2));
        prefs.insert(unescapeJs(m.captured(1)), value);
    }
    return prefs;
}

int trailingNumber(const QString& s)
{
    qsizetype i = s.size();
    while (i > 0 && s[i - 1].isDigit())
        --i;
    return s.mid(i).toInt();
}

QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return decodeLegacyText(f.readAll());
}

// Profile folders in the order Thunderbird would pick them.
QStringList profileFolders(const QString& root)
{
    ProfileFile ini(root + u"/profiles.ini"_s);
    QStringList first, preferred, rest;
    auto resolve = [&](const QString& path, bool relative) {
        return relative ? QDir(root).filePath(path) : path;
    };
    for (const QString& section : ini.sections()) {
        if (section.startsWith(u"Install"_s, Qt::CaseInsensitive)) {
            const QString def = ini.read(section, u"Default"_s, QString());
            if (!def.isEmpty()) first << resolve(def, !QDir::isAbsolutePath(def));
        } else if (section.startsWith(u"Profile"_s, Qt::CaseInsensitive)) {
            const QString path = ini.read(section, u"Path"_s, QString());
            if (path.isEmpty()) continue;
            const bool relative = ini.read(section, u"IsRelative"_s, u"1"_s) != u"0"_s;
            (ini.read(section, u"Default"_s, u"0"_s) == u"1"_s ? preferred : rest) << resolve(path, relative);
        }
    }
    QStringList all;
    for (const QString& p : first + preferred + rest) {
        const QString clean = QDir::cleanPath(p);
        if (!all.contains(clean)) all << clean;
    }
    return all;
}

} // namespace

QList<FoundAccount> thunderbirdAccountsFromPrefs(const QString& prefsText)
{
    const QHash<QString, QString> prefs = readPrefs(prefsText);

    // Servers in the account manager's order, the default account first;
    // servers no account refers to follow in number order.
    QStringList servers;
    auto addServerOf = [&](const QString& account) {
        const QString server = prefs.value(u"mail.account."_s + account.trimmed() + u".server"_s);
        if (!server.isEmpty() && !servers.contains(server)) servers << server;
    };
    addServerOf(prefs.value(u"mail.accountmanager.defaultaccount"_s));
    for (const QString& account : prefs.value(u"mail.accountmanager.accounts"_s).split(u','))
        addServerOf(account);
    QStringList numbered;
    static const QRegularExpression serverKey(uR"(^mail\.server\.(server\d+)\.type$)"_s);
    for (auto it = prefs.cbegin(); it != prefs.cend(); ++it) {
        const auto m = serverKey.match(it.key());
        if (m.hasMatch()) numbered << m.captured(1);
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const QString& a, const QString& b) { return trailingNumber(a) < trailingNumber(b); });
    for (const QString& s : numbered)
        if (!servers.contains(s)) servers << s;

    QList<FoundAccount> out;
    for (const QString& s : servers) {
        const QString base = u"mail.server."_s + s + u'.';
        if (prefs.value(base + u"type"_s).compare(u"pop3"_s, Qt::CaseInsensitive) != 0) continue;
        FoundAccount a{prefs.value(base + u"hostname"_s).trimmed(),
                       prefs.value(base + u"userName"_s).trimmed()};
        if (!a.server.isEmpty()) out << a;
    }
    return out;
}

QList<FoundAccount> readThunderbirdAccounts(const QString& home)
{
    const QStringList roots = {
        home + u"/.thunderbird"_s,
        home + u"/.mozilla-thunderbird"_s,
        home + u"/snap/thunderbird/common/.thunderbird"_s,
        home + u"/.var/app/org.mozilla.Thunderbird/.thunderbird"_s,
    };
    QList<FoundAccount> out;
    for (const QString& root : roots)
        for (const QString& profile : profileFolders(root))
            out << thunderbirdAccountsFromPrefs(readText(profile + u"/prefs.js"_s));
    return out;
}

} // namespace orvella::platform
