#include "platform/accounts/WineRegistry.h"

#include "platform/ProfileFile.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Reads a string written by Wine's registry code, from i (just past the
// opening quote, or at the start of a key name) up to the unescaped stop
// character; i ends just past it. Escapes: \a \b \e \f \n \r \t \v, \xH..H
// (up to four hex digits), \ooo (octal), and \ followed by any other
// character stands for that character.
QString readEscaped(const QString& s, qsizetype& i, QChar stop)
{
    QString out;
    const qsizetype n = s.size();
    while (i < n && s[i] != stop) {
        if (s[i] != u'\\' || i + 1 >= n) {
            out += s[i++];
            continue;
        }
        const QChar e = s[++i];
        ++i;
        switch (e.unicode()) {
        case u'a':
            out += QChar(7);
            break;
        case u'b':
            out += QChar(8);
            break;
        case u'e':
            out += QChar(27);
            break;
        case u'f':
            out += QChar(12);
            break;
        case u'n':
            out += QChar(10);
            break;
        case u'r':
            out += QChar(13);
            break;
        case u't':
            out += QChar(9);
            break;
        case u'v':
            out += QChar(11);
            break;
        case u'x': {
            uint v = 0;
            int digits = 0;
            while (digits < 4 && i < n && isHexDigit(s[i])) {
                v = v * 16 + uint(QStringView(s).mid(i, 1).toUInt(nullptr, 16));
                ++i;
                ++digits;
            }
            out += digits ? QChar(char16_t(v)) : QChar(u'x');
            break;
        }
        default:
            if (e >= u'0' && e <= u'7') {
                uint v = uint(e.unicode() - u'0');
                for (int d = 1; d < 3 && i < n && s[i] >= u'0' && s[i] <= u'7'; ++d)
                    v = v * 8 + uint(s[i++].unicode() - u'0');
                out += QChar(char16_t(v));
            } else {
                out += e;
            }
        }
    }
    if (i < n) ++i; // the stop character
    return out;
}

// hex(1):/hex(2): data is UTF-16LE text.
QString textFromHexBytes(QStringView hex)
{
    QByteArray bytes;
    for (const QStringView part : hex.split(u',')) {
        bool ok = false;
        const uint b = part.trimmed().toUInt(&ok, 16);
        if (ok) bytes.append(char(b));
    }
    QString out;
    for (qsizetype k = 0; k + 1 < bytes.size(); k += 2)
        out += QChar(char16_t(uchar(bytes[k]) | (uchar(bytes[k + 1]) << 8)));
    return out;
}

} // namespace

QString WineRegistry::normaliseKey(const QString& key)
{
    QString k = key.toCaseFolded();
    while (k.startsWith(u'\\'))
        k.remove(0, 1);
    while (k.endsWith(u'\\'))
        k.chop(1);
    return k;
}

bool WineRegistry::load(const QString& path)
{
    m_keys.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    parse(decodeLegacyText(f.readAll()));
    return true;
}

void WineRegistry::parse(const QString& text)
{
    m_keys.clear();
    m_existing.clear();
    QHash<QString, Value>* current = nullptr;
    QStringList lines = text.split(u'\n');
    for (qsizetype li = 0; li < lines.size(); ++li) {
        QString line = lines[li];
        if (line.endsWith(u'\r')) line.chop(1);
        // Long hex data continues on the next line after a trailing backslash.
        while (line.endsWith(u'\\') && li + 1 < lines.size() && line.contains(u"=hex"_s)) {
            QString next = lines[++li];
            if (next.endsWith(u'\r')) next.chop(1);
            line.chop(1);
            line += next.trimmed();
        }
        if (line.startsWith(u'[')) {
            qsizetype i = 1;
            const QString key = readEscaped(line, i, u']');
            const QString normalised = normaliseKey(key);
            current = &m_keys[normalised];
            // Wine writes only keys that hold values or have no sub-keys, yet
            // every key on the way to one exists.
            for (qsizetype at = normalised.indexOf(u'\\'); at >= 0; at = normalised.indexOf(u'\\', at + 1))
                m_existing.insert(normalised.left(at));
            m_existing.insert(normalised);
            continue;
        }
        if (!current || line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
        qsizetype i = 0;
        QString name;
        if (line.startsWith(u'"')) {
            i = 1;
            name = readEscaped(line, i, u'"');
        } else if (line.startsWith(u'@')) {
            i = 1; // the key's default value
        } else {
            continue;
        }
        if (i >= line.size() || line[i] != u'=') continue;
        ++i;
        const QStringView data = QStringView(line).mid(i);
        Value v;
        if (data.startsWith(u'"')) {
            qsizetype j = i + 1;
            v.isText = true;
            v.text = readEscaped(line, j, u'"');
        } else if (data.startsWith(u"str(2):\""_s) || data.startsWith(u"str(1):\""_s)) {
            qsizetype j = i + 8;
            v.isText = true;
            v.text = readEscaped(line, j, u'"');
        } else if (data.startsWith(u"hex(1):"_s) || data.startsWith(u"hex(2):"_s)) {
            v.isText = true;
            v.text = textFromHexBytes(data.mid(7));
        }
        current->insert(name.toCaseFolded(), v);
    }
}

bool WineRegistry::hasKey(const QString& key) const
{
    return m_existing.contains(normaliseKey(key));
}

std::optional<QString> WineRegistry::readString(const QString& key, const QString& name) const
{
    const auto k = m_keys.constFind(normaliseKey(key));
    if (k == m_keys.constEnd()) return std::nullopt;
    const auto v = k->constFind(name.toCaseFolded());
    if (v == k->constEnd() || !v->isText) return std::nullopt;
    QString text = v->text;
    // The buffer holds 255 characters, the terminating NUL included; a longer
    // value does not fit and the read fails.
    if (text.size() + 1 > 255) return std::nullopt;
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0) text.truncate(nul);
    return text;
}

bool detectWindowsMailAccount(const WineRegistry& registry, QString& server, QString& user)
{
    const auto tryKey = [&](const QString& key) {
        if (!registry.hasKey(key)) return false;
        const auto s = registry.readString(key, u"POP3 Server"_s);
        if (!s) return false;
        server = *s;
        const auto u = registry.readString(key, u"POP3 User Name"_s);
        if (!u) return false;
        user = *u;
        return true;
    };

    for (int i = 0; i <= 9; ++i) {
        for (const QString& version : {QString(), u"\\9.0"_s, u"\\8.0"_s, u"\\7.0"_s}) {
            if (tryKey(u"Software\\Microsoft\\Office"_s + version +
                       u"\\Outlook\\OMI Account Manager\\Accounts\\0000000"_s + QString::number(i)))
                return true;
        }
    }

    QStringList numbers;
    for (int i = 0; i <= 20; ++i)
        numbers << QString::number(i);
    for (char16_t c = u'a'; c <= u'f'; ++c)
        numbers << QString(QChar(c));
    for (const QString& number : numbers) {
        if (tryKey(u"Software\\Microsoft\\Internet Account Manager\\Accounts\\"_s +
                   number.rightJustified(8, u'0')))
            return true;
    }

    const QString navigator = u"Software\\Netscape\\Netscape Navigator"_s;
    if (!registry.hasKey(navigator) || !registry.hasKey(navigator + u"\\Services"_s)) return false;
    const auto s = registry.readString(navigator + u"\\Services"_s, u"POP_Server"_s);
    if (s) server = *s;
    if (!registry.hasKey(navigator + u"\\Mail"_s)) return false;
    const auto u = registry.readString(navigator + u"\\Mail"_s, u"POP Name"_s);
    if (u) user = *u;
    return s && u;
}

} // namespace orvella::platform
