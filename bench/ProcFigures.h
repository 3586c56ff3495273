#pragma once

// What the benchmarks read of a running program from /proc, and a pause that
// keeps their own event loop turning.

#include <QByteArray>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QTimer>

namespace orvella::bench {

// Runs the event loop (the clipboard is served from it) for ms.
inline void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline QByteArray readProc(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The number after "key:" in a /proc file ("Rss:  1234 kB" gives 1234).
inline qint64 procField(const QByteArray& text, const QByteArray& key)
{
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(QByteArray(key + ':')))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

} // namespace orvella::bench
