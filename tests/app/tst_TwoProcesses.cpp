#include "core/settings/Settings.h"
#include "support/ProgramRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::test::ProgramRunner;

class tst_TwoProcesses : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondStartOpensFirstAndExitSaves();
    void exitWithoutInstance();
    void trayIconComesWithALatePanel();
};

void tst_TwoProcesses::secondStartOpensFirstAndExitSaves()
{
    ProgramRunner runner;
    // A configured program: no start-up notice about a missing account.
    QDir().mkpath(runner.appPath());
    QFile seed(runner.file(u"Zentra.INI"_s));
    QVERIFY(seed.open(QIODevice::WriteOnly));
    seed.write("[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\n");
    seed.close();
    QVERIFY(runner.start({u"-AUTOSTART"_s}));
    QVERIFY2(runner.waitUntilListening(), runner.output().constData());
    QVERIFY(ProgramRunner::windowMapState(u"Orvella"_s) != u"IsViewable"_s);

    // The second start hands over its command and ends at once.
    QElapsedTimer t;
    t.start();
    QByteArray out;
    QCOMPARE(runner.runSecond({u"-D"_s, runner.appPath()}, 20000, &out), 0);
    QVERIFY2(t.elapsed() < 15000, out.constData());
    QTRY_COMPARE_WITH_TIMEOUT(ProgramRunner::windowMapState(u"Orvella"_s), u"IsViewable"_s, 10000);
    QCOMPARE(runner.process().state(), QProcess::Running);

    // --exit ends the first as the Exit command does: everything saved.
    QCOMPARE(runner.runSecond({u"--exit"_s}), 0);
    QCOMPARE(runner.waitForExit(), 0);

    QFile ini(runner.file(u"Zentra.INI"_s));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QStringList keys;
    QString section;
    for (const QByteArray& raw : ini.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            section = line.mid(1, line.size() - 2);
        else if (line.contains(u'='))
            keys << section + u'/' + line.section(u'=', 0, 0);
    }
    // Every key of the settings, in their order; the account's own keys share
    // its section and may stand between them.
    QStringList expected;
    for (const auto& [sec, key] : orvella::Settings::savedKeys())
        expected << sec + u'/' + key;
    QStringList settingsKeys;
    for (const QString& k : keys)
        if (expected.contains(k)) settingsKeys << k;
    QCOMPARE(settingsKeys, expected);
}

void tst_TwoProcesses::exitWithoutInstance()
{
    ProgramRunner runner;
    QByteArray out;
    QCOMPARE(runner.runSecond({u"--exit"_s}, 20000, &out), 1);
    QVERIFY2(out.contains("not running"), out.constData());
}

// At log-in the panel often starts after the program: the icon must appear
// in the notification area as soon as there is one.
void tst_TwoProcesses::trayIconComesWithALatePanel()
{
    ProgramRunner runner;
    QDir().mkpath(runner.appPath());
    QFile seed(runner.file(u"Zentra.INI"_s));
    QVERIFY(seed.open(QIODevice::WriteOnly));
    seed.write("[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\n");
    seed.close();
    QVERIFY(runner.start({u"-AUTOSTART"_s}));
    QVERIFY2(runner.waitUntilListening(), runner.output().constData());
    QTest::qWait(500);

    // trayer: a panel with an XEmbed notification area, as window managers without their own use.
    QProcess panel;
    panel.start(u"trayer"_s, {u"--edge"_s, u"top"_s, u"--widthtype"_s, u"pixel"_s, u"--width"_s, u"200"_s,
                              u"--heighttype"_s, u"pixel"_s, u"--height"_s, u"32"_s});
    QVERIFY2(panel.waitForStarted(5000), "trayer is missing");
    // The icon window is embedded: it becomes a child of the panel's window.
    auto iconInPanel = [] {
        QProcess tree;
        tree.start(u"xwininfo"_s, {u"-root"_s, u"-tree"_s});
        tree.waitForFinished(5000);
        const QString out = QString::fromUtf8(tree.readAllStandardOutput());
        const qsizetype at = out.indexOf(u"\"panel\""_s);
        if (at < 0) return false;
        // The panel's subtree: the lines after it that are indented deeper.
        const QStringList lines = out.mid(at).split(u'\n');
        const qsizetype indent = lines.first().indexOf(QRegularExpression(u"\\S"_s));
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QString& line = lines[i];
            if (line.trimmed().isEmpty()) continue;
            if (line.indexOf(QRegularExpression(u"\\S"_s)) <= indent) break;
            if (line.contains(u"(\"orvella\""_s)) return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(iconInPanel(), 10000);
    QCOMPARE(runner.runSecond({u"--exit"_s}), 0);
    QCOMPARE(runner.waitForExit(), 0);
    panel.kill();
    panel.waitForFinished(3000);
}

QTEST_GUILESS_MAIN(tst_TwoProcesses)
#include "tst_TwoProcesses.moc"
