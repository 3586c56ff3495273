#include "settings/CSettings.h"
#include "support/ProgramRunner.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::test::ProgramRunner;

class tst_TwoProcesses : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondStartOpensFirstAndExitSaves();
    void exitWithoutInstance();
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
    for (const auto& [sec, key] : orvella::CSettings::savedKeys())
        expected << sec + u'/' + key;
    QStringList settingsKeys;
    for (const QString& k : keys)
        if (expected.contains(k))
            settingsKeys << k;
    QCOMPARE(settingsKeys, expected);
}

void tst_TwoProcesses::exitWithoutInstance()
{
    ProgramRunner runner;
    QByteArray out;
    QCOMPARE(runner.runSecond({u"--exit"_s}, 20000, &out), 1);
    QVERIFY2(out.contains("not running"), out.constData());
}

QTEST_GUILESS_MAIN(tst_TwoProcesses)
#include "tst_TwoProcesses.moc"
