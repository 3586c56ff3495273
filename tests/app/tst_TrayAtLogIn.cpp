// The tray icon of a program started with the session (-AUTOSTART) before
// the panel: it waits for the panel's StatusNotifierWatcher (or an XEmbed
// notification area) without holding anything else up, and registers its
// icon with whichever comes.
#include "support/ProgramRunner.h"
#include "support/StatusNotifierWatcher.h"
#include "support/TraceFile.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella::test;

namespace {

void seedSettings(const ProgramRunner& runner)
{
    QDir().mkpath(runner.appPath());
    QFile seed(runner.file(u"Zentra.INI"_s));
    QVERIFY(seed.open(QIODevice::WriteOnly));
    seed.write("[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\n");
}

// Whether a window of the program sits in trayer's panel (XEmbed).
bool iconInPanel()
{
    QProcess tree;
    tree.start(u"xwininfo"_s, {u"-root"_s, u"-tree"_s});
    tree.waitForFinished(5000);
    const QString out = QString::fromUtf8(tree.readAllStandardOutput());
    const qsizetype at = out.indexOf(u"\"panel\""_s);
    if (at < 0) return false;
    const QStringList lines = out.mid(at).split(u'\n');
    static const QRegularExpression nonBlank(u"\\S"_s);
    const qsizetype indent = lines.first().indexOf(nonBlank);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].trimmed().isEmpty()) continue;
        if (lines[i].indexOf(nonBlank) <= indent) break;
        if (lines[i].contains(u"(\"orvella\""_s)) return true;
    }
    return false;
}

} // namespace

class tst_TrayAtLogIn : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void iconRegistersWithALateWatcher();
    void xembedPanelEndsTheWait();
};

void tst_TrayAtLogIn::iconRegistersWithALateWatcher()
{
    ProgramRunner runner;
    seedSettings(runner);
    const QString trace = runner.file(u"../trace.jsonl"_s);
    QVERIFY(
        runner.start({u"-AUTOSTART"_s, u"--trace"_s, trace, u"--audio-file"_s, runner.file(u"../a.wav"_s)}));
    QVERIFY2(runner.waitUntilListening(), runner.output().constData());

    // The program works while it waits: a command is carried out and the
    // character speaks.
    QCOMPARE(runner.runSecond({u"--read-clipboard"_s}), 0);
    TraceFile t(trace);
    QVERIFY2(t.waitFor(u"speak"_s, {}, 60000) >= 0, qPrintable(TraceFile::dump(t.read())));

    // The panel comes ten seconds after the program.
    QTest::qWait(10000);
    QCOMPARE(runner.process().state(), QProcess::Running);
    StatusNotifierWatcher watcher;
    QVERIFY2(watcher.registered(), "no private session bus (tests/scripts/session-bus.sh)");
    QTRY_VERIFY2_WITH_TIMEOUT(!watcher.items.isEmpty(), runner.output().constData(), 30000);
    // The item is the program's: its name on the bus belongs to the program's process.
    const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(watcher.items.first());
    QVERIFY2(pid.isValid(), qPrintable(watcher.items.first()));
    QCOMPARE(qint64(pid.value()), runner.process().processId());

    QCOMPARE(runner.runSecond({u"--exit"_s}), 0);
    QCOMPARE(runner.waitForExit(30000), 0);
}

// A desktop whose panel is an XEmbed notification area (no watcher ever
// comes): the icon goes there as soon as it is up, not after the wait.
void tst_TrayAtLogIn::xembedPanelEndsTheWait()
{
    ProgramRunner runner;
    seedSettings(runner);
    QVERIFY(runner.start({u"-AUTOSTART"_s}));
    QVERIFY2(runner.waitUntilListening(), runner.output().constData());
    QTest::qWait(3000);

    QProcess panel;
    panel.start(u"trayer"_s, {u"--edge"_s, u"top"_s, u"--widthtype"_s, u"pixel"_s, u"--width"_s, u"200"_s,
                              u"--heighttype"_s, u"pixel"_s, u"--height"_s, u"32"_s});
    QVERIFY2(panel.waitForStarted(5000), "trayer is missing");
    // Well inside the minute the program would wait for a watcher.
    QTRY_VERIFY_WITH_TIMEOUT(iconInPanel(), 25000);
    QCOMPARE(runner.runSecond({u"--exit"_s}), 0);
    QCOMPARE(runner.waitForExit(30000), 0);
    panel.kill();
    panel.waitForFinished(3000);
}

QTEST_GUILESS_MAIN(tst_TrayAtLogIn)
#include "tst_TrayAtLogIn.moc"
