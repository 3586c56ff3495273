#include "platform/accounts/FoundAccount.h"

namespace orvella::platform {

QString unescapeKeyFileValue(const QString& value)
{
    if (!value.contains(u'\\')) return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar e = value[++i];
        switch (e.unicode()) {
        case u's':
            out += u' ';
            break;
        case u'n':
            out += u'\n';
            break;
        case u't':
            out += u'\t';
            break;
        case u'r':
            out += u'\r';
            break;
        default:
            out += e;
            break; // "\\", "\;", "\," and anything unknown: the character itself
        }
    }
    return out;
}

} // namespace orvella::platform
