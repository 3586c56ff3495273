#pragma once

// What the benchmarks share: a private Dovecot, an X server for the windows,
// what they read of a running program from /proc, and a pause that keeps
// their own event loop turning.

#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "support/DovecotFixture.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

namespace orvella::bench {

using namespace Qt::Literals::StringLiterals;

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

// A stored message of the usual size: the headers the list shows and twenty
// lines of text.
inline MailMessage sampleMessage(int i)
{
    MailMessage m;
    m.m_ID = u"<%1.bench@example.com>"_s.arg(i);
    m.m_FullFrom = u"\"Sender %1\" <sender%1@example.com>"_s.arg(i % 300);
    m.m_Subject = u"Message number %1 about something"_s.arg(i);
    for (int line = 0; line < 20; ++line)
        m.m_Content +=
            u"Line %1 of message %2, the usual length of a line of mail text.\r\n"_s.arg(line).arg(i);
    return m;
}

// Windows need an X server: without a DISPLAY the benchmark runs itself
// again under a private Xvfb (returns only when that fails).
inline void reexecUnderXvfb(int argc, char** argv)
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) return;
    std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"), const_cast<char*>("-s"),
                            const_cast<char*>("-screen 0 1280x1024x24")};
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::fprintf(stderr, "no DISPLAY and no xvfb-run\n");
    std::exit(1);
}

// The tests' scripts (dovecot-start.sh, ...): ORVELLA_SCRIPTS_DIR, else beside the sources.
inline QString scriptsDir()
{
    const QString env = qEnvironmentVariable("ORVELLA_SCRIPTS_DIR");
    if (!env.isEmpty()) return env;
    // The build passes sources by absolute path.
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../tests/scripts");
}

inline bool runScript(const QString& name, const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(scriptsDir() + u'/' + name, args);
    if (!p.waitForFinished(120000)) return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The Dovecot living in dir; with dir empty, a fresh one started in a folder
// named after stem, which stopPrivateDovecot takes down again.
inline std::optional<test::DovecotFixture> privateDovecot(QString& dir, bool& own, const QString& stem)
{
    own = dir.isEmpty();
    if (own) {
        dir = u"/tmp/%1-%2"_s.arg(stem).arg(QCoreApplication::applicationPid());
        if (!runScript(u"dovecot-start.sh"_s, {dir})) {
            std::fprintf(stderr, "could not start Dovecot with %s/dovecot-start.sh (root needed)\n",
                         qPrintable(scriptsDir()));
            return std::nullopt;
        }
    }
    QString error;
    auto dovecot = test::DovecotFixture::load(dir, &error);
    if (!dovecot) std::fprintf(stderr, "%s\n", qPrintable(error));
    return dovecot;
}

inline void stopPrivateDovecot(const QString& dir, bool own)
{
    if (own && runScript(u"dovecot-stop.sh"_s, {dir})) QDir(dir).removeRecursively();
}

} // namespace orvella::bench
