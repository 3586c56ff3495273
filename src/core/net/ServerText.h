#pragma once

#include <QByteArrayView>
#include <QString>
#include <algorithm>

namespace orvella::net {

// Server text for the user: UTF-8 where valid, at most 500 bytes, control
// characters made visible so a hostile server cannot smuggle line breaks
// into the error page.
inline QString serverText(QByteArrayView text)
{
    QString s = QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 500)));
    for (QChar& c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = u'?';
    }
    return s;
}

} // namespace orvella::net
