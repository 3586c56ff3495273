#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "gui/widgets/WidgetHelpers.h"
#include "platform/AutoStart.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class tst_IniValues : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readNumber_data();
    void readNumber();
    void rejectNonDigit();
    void yesNo();
    void autoStart();
};

void tst_IniValues::readNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("plain") << u"110"_s << 110;
    QTest::newRow("leading blanks") << u"   42"_s << 42;
    QTest::newRow("stops at letter") << u"12abc"_s << 12;
    QTest::newRow("negative") << u"-1"_s << -1;
    QTest::newRow("plus sign") << u"+7"_s << 7;
    QTest::newRow("empty") << u""_s << 0;
    QTest::newRow("letters only") << u"abc"_s << 0;
    QTest::newRow("lone minus") << u"-"_s << 0;
    QTest::newRow("lone point") << u"."_s << 0;
    QTest::newRow("half to even down") << u"2.5"_s << 2;
    QTest::newRow("half to even up") << u"3.5"_s << 4;
    QTest::newRow("fraction") << u"2.7"_s << 3;
    QTest::newRow("point then digits") << u".6"_s << 1;
    QTest::newRow("exponent") << u"1e3"_s << 1000;
    QTest::newRow("exponent without digits") << u"5e"_s << 5;
    QTest::newRow("too big") << u"99999999999999"_s << 2147483647;
    QTest::newRow("too small") << u"-99999999999999"_s << int(-2147483648LL);
    QTest::newRow("huge exponent") << u"1e999"_s << 2147483647;
    QTest::newRow("arabic digits are not digits") << u"\u0663"_s << 0;
}

void tst_IniValues::readNumber()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(orvella::ReadNumber(text), expected);
}

void tst_IniValues::rejectNonDigit()
{
    for (int code = 0; code < 256; ++code) {
        const bool accepted = (code >= 48 && code <= 57) || code == 8;
        QCOMPARE(orvella::RejectNonDigit(code), !accepted);
    }
    QVERIFY(orvella::RejectNonDigit('-'));
    QVERIFY(orvella::RejectNonDigit('.'));
}

void tst_IniValues::yesNo()
{
    QCOMPARE(orvella::YesNo(true), u"Yes"_s);
    QCOMPARE(orvella::YesNo(false), u"No"_s);
}

void tst_IniValues::autoStart()
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    orvella::Program().AppPath = u"/srv/my orvella"_s;
    const QString file = orvella::platform::autoStartFilePath();
    QVERIFY(file.startsWith(config.path()));

    // Disabling when nothing is registered changes nothing.
    orvella::SetAutoStart(false);
    QVERIFY(!orvella::IsAutoStartEnabled());
    QVERIFY(!QFile::exists(file));

    orvella::SetAutoStart(true);
    QVERIFY(orvella::IsAutoStartEnabled());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(f.readAll());
    f.close();
    // The folder follows "-D" last, because everything after "-D" is the folder.
    const QString exec = entry.section(u"Exec="_s, 1).section(u'\n', 0, 0);
    QVERIFY2(exec.contains(u" -AUTOSTART -D \"/srv/my orvella\""_s), qPrintable(exec));
    QVERIFY(entry.startsWith(u"[Desktop Entry]\n"_s));

    orvella::SetAutoStart(false);
    QVERIFY(!orvella::IsAutoStartEnabled());
}

QTEST_GUILESS_MAIN(tst_IniValues)
#include "tst_IniValues.moc"
