#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace orvella::platform {

// Blanks as the program's files and mail headers know them: space and tab
// only. Line ends and other white space are data there and must survive a trim.
inline bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// s without the blanks at either end.
inline QString trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b).toString();
}

inline QByteArray trimBlanks(QByteArrayView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.sliced(b, e - b).toByteArray();
}

} // namespace orvella::platform
