#pragma once

// Files as the tests set them up and read them back.

#include "platform/ProfileFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

namespace orvella::test {

// Writes bytes as the whole file, making its folder first; a file that
// cannot be written fails the test.
inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(bytes);
}

// As writeFile, for a profile file the program has read before: its next read
// sees the new text, not the copy it keeps.
inline void writeProfile(const QString& path, const QByteArray& bytes)
{
    writeFile(path, bytes);
    platform::invalidateProfileCache();
}

// The file's bytes; empty when it is missing or cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The file as UTF-8 text; empty when it is missing or cannot be read.
inline QString readText(const QString& path)
{
    return QString::fromUtf8(readFile(path));
}

} // namespace orvella::test
