#include "app/CommandLine.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::CommandLine;

class tst_CommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void ownOptions();
};

void tst_CommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("tray");
    QTest::addColumn<bool>("hasFolder");
    QTest::addColumn<QString>("folder");
    QTest::newRow("nothing") << QStringList{} << false << false << QString();
    QTest::newRow("autostart") << QStringList{u"-AUTOSTART"_s} << true << false << QString();
    QTest::newRow("autostart lower case") << QStringList{u"-autostart"_s} << true << false << QString();
    QTest::newRow("folder keeps its case")
        << QStringList{u"-D"_s, u"/home/Jo/Mail"_s} << false << true << u"/home/Jo/Mail"_s;
    QTest::newRow("lower-case switch") << QStringList{u"-d"_s, u"/tmp/x"_s} << false << true << u"/tmp/x"_s;
    QTest::newRow("folder glued to switch") << QStringList{u"-D/tmp/x"_s} << false << true << u"/tmp/x"_s;
    QTest::newRow("folder with blanks, separate arguments")
        << QStringList{u"-D"_s, u"/tmp/my"_s, u"mail"_s} << false << true << u"/tmp/my mail"_s;
    QTest::newRow("everything after the folder belongs to it")
        << QStringList{u"-D"_s, u"/tmp/x"_s, u"-AUTOSTART"_s} << true << true << u"/tmp/x -AUTOSTART"_s;
    QTest::newRow("autostart before folder")
        << QStringList{u"-AUTOSTART"_s, u"-D"_s, u"/tmp/x/"_s} << true << true << u"/tmp/x"_s;
    QTest::newRow("switch without folder") << QStringList{u"-D"_s} << false << true << QString();
    QTest::newRow("own options taken out first")
        << QStringList{u"-D"_s,           u"/tmp/x"_s,       u"--trace"_s,
                       u"/tmp/t.jsonl"_s, u"--audio-file"_s, u"/tmp/a.wav"_s}
        << false << true << u"/tmp/x"_s;
}

void tst_CommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(bool, tray);
    QFETCH(bool, hasFolder);
    QFETCH(QString, folder);
    const CommandLine cl = CommandLine::parse(args);
    QVERIFY(cl.error.isEmpty());
    QCOMPARE(cl.systemTray, tray);
    QCOMPARE(cl.hasFolder, hasFolder);
    QCOMPARE(cl.folder, folder);
}

void tst_CommandLine::ownOptions()
{
    CommandLine cl = CommandLine::parse({u"--trace"_s, u"T"_s, u"--audio-file=A"_s, u"--check-now"_s});
    QCOMPARE(cl.traceFile, u"T"_s);
    QCOMPARE(cl.audioFile, u"A"_s);
    QVERIFY(cl.checkNow && !cl.exit && !cl.show && !cl.readClipboard);
    QVERIFY(cl.rest.isEmpty());

    cl = CommandLine::parse({u"--exit"_s, u"--show"_s, u"--read-clipboard"_s, u"--help"_s, u"--version"_s});
    QVERIFY(cl.exit && cl.show && cl.readClipboard && cl.help && cl.version);

    QVERIFY(!CommandLine::parse({u"--bogus"_s}).error.isEmpty());
    QVERIFY(!CommandLine::parse({u"--trace"_s}).error.isEmpty());
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
