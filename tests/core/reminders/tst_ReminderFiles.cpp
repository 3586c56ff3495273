#include "support/ReminderFixture.h"

#include "core/reminders/Reminder.h"
#include "core/reminders/ReminderValues.h"
#include "platform/ProfileFile.h"

#include <QApplication>
#include <QLocale>
#include <QTest>
#include <limits>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::at;
using orvella::test::ReminderFixture;

// The reminder file and the content file: what is written, what is read back
// under any locale, the date forms of files written on Windows, and damaged values.
class tst_ReminderFiles : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void dateForms_data();
    void dateForms();
    void numbers_data();
    void numbers();
    void roundTrip_data();
    void roundTrip();
    void usGeneralDateFile();
    void values_data();
    void values();
    void keysPerKind();
    void contentFileRead_data();
    void contentFileRead();
    void contentFileWritten();
};

void tst_ReminderFiles::initTestCase()
{
    QVERIFY2(test::useBerlinTime(), "the time zone Europe/Berlin is needed (package tzdata)");
}

void tst_ReminderFiles::cleanup()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_ReminderFiles::dateForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QDateTime>("expected");
    const QDateTime zero(DayZero(), QTime(0, 0));
    QTest::newRow("written form") << u"2024-01-31 15:05:07"_s << true << at(u"2024-01-31 15:05:07"_s);
    QTest::newRow("date alone") << u"2024-02-29"_s << true << at(u"2024-02-29 00:00"_s);
    QTest::newRow("US general date, PM") << u"1/31/2024 3:05:00 PM"_s << true << at(u"2024-01-31 15:05"_s);
    QTest::newRow("US general date, AM") << u"12/1/2023 8:00:09 AM"_s << true << at(u"2023-12-01 08:00:09"_s);
    QTest::newRow("US noon") << u"7/4/2024 12:30:00 PM"_s << true << at(u"2024-07-04 12:30"_s);
    QTest::newRow("US midnight") << u"7/4/2024 12:00:00 AM"_s << true << at(u"2024-07-04 00:00"_s);
    QTest::newRow("US lower-case designator")
        << u"1/31/2024 3:05:00 pm"_s << true << at(u"2024-01-31 15:05"_s);
    QTest::newRow("US date alone") << u"2/29/2024"_s << true << at(u"2024-02-29 00:00"_s);
    QTest::newRow("German Windows form") << u"31.01.2024 15:05:00"_s << true << at(u"2024-01-31 15:05"_s);
    QTest::newRow("zero") << u"0"_s << true << zero;
    QTest::newRow("time alone") << u"12:00:00 AM"_s << true << zero;
    QTest::newRow("blanks around") << u"  2024-01-31 15:05:07 "_s << true << at(u"2024-01-31 15:05:07"_s);
    QTest::newRow("in the hour the clocks skip")
        << u"2024-03-31 02:30:00"_s << true << at(u"2024-03-31 03:30"_s);
    QTest::newRow("empty") << QString() << false << QDateTime();
    QTest::newRow("words") << u"next Tuesday"_s << false << QDateTime();
    QTest::newRow("month 13") << u"2024-13-01 10:00:00"_s << false << QDateTime();
    QTest::newRow("30 February") << u"2/30/2024"_s << false << QDateTime();
    QTest::newRow("two-digit year") << u"1/31/24"_s << false << QDateTime();
    QTest::newRow("hour 25") << u"2024-01-31 25:00:00"_s << false << QDateTime();
    QTest::newRow("13 PM") << u"1/31/2024 13:00:00 PM"_s << false << QDateTime();
    QTest::newRow("trailing garbage") << u"2024-01-31 10:00:00 xyz"_s << false << QDateTime();
}

void tst_ReminderFiles::dateForms()
{
    QFETCH(QString, text);
    QFETCH(bool, readable);
    QFETCH(QDateTime, expected);
    const std::optional<QDateTime> value = ParseReminderDate(text);
    QCOMPARE(value.has_value(), readable);
    if (readable) QCOMPARE(*value, expected);
}

void tst_ReminderFiles::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<int>("whole");
    QTest::newRow("digits") << u"12"_s << true << 12;
    QTest::newRow("blanks and sign") << u" +3 "_s << true << 3;
    QTest::newRow("negative") << u"-4"_s << true << -4;
    QTest::newRow("half to even, down") << u"2.5"_s << true << 2;
    QTest::newRow("half to even, up") << u"3.5"_s << true << 4;
    QTest::newRow("fraction only") << u".6"_s << true << 1;
    QTest::newRow("too many digits") << u"123456789012345678901234567890"_s << true
                                     << std::numeric_limits<int>::max();
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("letters") << u"weekly"_s << false << 0;
    QTest::newRow("digits then letters") << u"1a"_s << false << 0;
    QTest::newRow("two numbers") << u"1 2"_s << false << 0;
}

void tst_ReminderFiles::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, readable);
    QFETCH(int, whole);
    const std::optional<double> value = ParseNumber(text);
    QCOMPARE(value.has_value(), readable);
    if (readable) QCOMPARE(WholeNumber(*value), whole);
}

void tst_ReminderFiles::roundTrip_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("US") << QLocale(QLocale::English, QLocale::UnitedStates);
}

void tst_ReminderFiles::roundTrip()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    ReminderFixture fx;
    Reminder r;
    r.m_When = at(u"2024-02-03 19:08:09"_s);
    r.m_Contents = u"Geburtstag von Jörg\r\nKuchen mitbringen"_s;
    r.m_Every = 3;
    r.m_Days = u"2,6"_s;
    r.m_Recurs = Reminder::Weekly;
    r.m_IfLate = Reminder::OnlyIfRunningThatDay;
    r.m_Enabled = false;
    r.m_Popup = false;
    r.m_SoundFile = fx.dir.filePath(u"Sounds/Clock.wav"_s);
    r.m_Gesture = u"Wave"_s;
    r.setLastSignaled(at(u"2024-01-31 15:05:07"_s));
    QVERIFY(r.Save(true));

    const QByteArray file = fx.readFile(r.m_UniqueID + u".rmn"_s);
    QVERIFY2(file.contains("When=2024-02-03 19:08:09\r\n"), file.constData());
    QVERIFY(file.contains("LastSignaled=2024-01-31 15:05:07\r\n"));
    QVERIFY(file.startsWith("[General]\r\nVersion=1.0\r\n"));

    Reminder back;
    QVERIFY(back.Load(r.FileName(), r.m_UniqueID));
    QCOMPARE(back.m_When, r.m_When);
    QCOMPARE(back.lastSignaled(), r.lastSignaled());
    QCOMPARE(back.m_Every, 3);
    QCOMPARE(back.m_Days, u"2,6"_s);
    QCOMPARE(back.m_Recurs, int(Reminder::Weekly));
    QCOMPARE(back.m_IfLate, int(Reminder::OnlyIfRunningThatDay));
    QCOMPARE(back.m_Enabled, false);
    QCOMPARE(back.m_Popup, false);
    QCOMPARE(back.m_SoundFile, r.m_SoundFile);
    QCOMPARE(back.m_Gesture, u"Wave"_s);
    QCOMPARE(back.m_UniqueID, r.m_UniqueID);
    QVERIFY(back.m_Contents.isEmpty()); // read when it speaks
    QCOMPARE(back.LoadContents(), r.m_Contents);

    // A reminder that never alerted keeps the "0" of never.
    back.ClearSignaled();
    QVERIFY(back.Save(false));
    QVERIFY(fx.readFile(r.m_UniqueID + u".rmn"_s).contains("LastSignaled=0\r\n"));
    Reminder never;
    QVERIFY(never.Load(r.FileName(), r.m_UniqueID));
    QVERIFY(!never.lastSignaled().isValid());
}

void tst_ReminderFiles::usGeneralDateFile()
{
    // A reminder file and its text as written on a US-English Windows system,
    // read here under a German locale.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString folder = QStringLiteral(ORVELLA_TEST_DATA_DIR) + u"/reminders"_s;
    Reminder r;
    QVERIFY(r.Load(folder + u"/54300.rmn"_s, u"54300"_s));
    QCOMPARE(r.m_When, at(u"2024-01-31 15:05"_s));
    QVERIFY(!r.lastSignaled().isValid());
    QCOMPARE(r.m_Recurs, int(Reminder::Monthly));
    QCOMPARE(r.m_Every, 2);
    QCOMPARE(r.m_IfLate, 1);
    QCOMPARE(r.m_Popup, false);
    QCOMPARE(r.m_Enabled, true);
    QCOMPARE(r.m_Gesture, u"Wave"_s);
    QCOMPARE(r.m_SoundFile, u"C:\\Program Files\\Orvella\\Sounds\\Clock.wav"_s);
    QCOMPARE(r.LoadContents(), u"Pay the café bill – € 12\r\nand the rent"_s);
    QCOMPARE(r.DisplayName(), u"Pay the café bill – € 12\r\nand "_s + u"..."_s);
}

void tst_ReminderFiles::values_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<int>("recurs");
    QTest::addColumn<int>("ifLate");
    QTest::addColumn<int>("every");
    QTest::addColumn<bool>("enabled");
    const QString g = u"General"_s;
    QTest::newRow("as written") << g << u"Version"_s << u"1.0"_s << true << 3 << 0 << 2 << true;
    QTest::newRow("When in words") << g << u"When"_s << u"tomorrow"_s << false << 0 << 0 << 0 << false;
    QTest::newRow("When empty") << g << u"When"_s << QString() << false << 0 << 0 << 0 << false;
    QTest::newRow("LastSignaled garbage")
        << g << u"LastSignaled"_s << u"yesterday"_s << false << 0 << 0 << 0 << false;
    QTest::newRow("Recurs in words") << g << u"Recurs"_s << u"weekly"_s << false << 0 << 0 << 0 << false;
    QTest::newRow("IfLate half a number") << g << u"IfLate"_s << u"1a"_s << false << 0 << 0 << 0 << false;
    QTest::newRow("Every empty") << g << u"Every"_s << QString() << false << 0 << 0 << 0 << false;
    QTest::newRow("Recurs 7 reads as never") << g << u"Recurs"_s << u"7"_s << true << 0 << 0 << 2 << true;
    QTest::newRow("Recurs -1 reads as never") << g << u"Recurs"_s << u"-1"_s << true << 0 << 0 << 2 << true;
    QTest::newRow("Recurs 2.6 rounds") << g << u"Recurs"_s << u"2.6"_s << true << 3 << 0 << 2 << true;
    QTest::newRow("IfLate 2 reads as 0") << g << u"IfLate"_s << u"2"_s << true << 3 << 0 << 2 << true;
    QTest::newRow("Every 0 counts as 1") << g << u"Every"_s << u"0"_s << true << 3 << 0 << 1 << true;
    QTest::newRow("Every -3 counts as 1") << g << u"Every"_s << u"-3"_s << true << 3 << 0 << 1 << true;
    QTest::newRow("Enabled only as Yes") << g << u"Enabled"_s << u"yes"_s << true << 3 << 0 << 2 << false;
}

void tst_ReminderFiles::values()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, loads);
    QFETCH(int, recurs);
    QFETCH(int, ifLate);
    QFETCH(int, every);
    QFETCH(bool, enabled);
    ReminderFixture fx;
    fx.writeFile(u"5.rmn"_s, "[General]\r\nWhen=2024-01-31 15:05:00\r\nEnabled=Yes\r\nLastSignaled=0\r\n"
                             "Recurs=3\r\nIfLate=0\r\nEvery=2\r\n");
    platform::ProfileFile f(fx.remindersFolder() + u"/5.rmn"_s);
    f.write(section, key, value);
    QVERIFY(f.save());
    Reminder r;
    QCOMPARE(r.Load(f.path(), u"5"_s), loads);
    if (!loads) return;
    QCOMPARE(r.m_Recurs, recurs);
    QCOMPARE(r.m_IfLate, ifLate);
    QCOMPARE(r.m_Every, every);
    QCOMPARE(r.m_Enabled, enabled);
}

void tst_ReminderFiles::keysPerKind()
{
    ReminderFixture fx;
    Reminder r;
    r.m_Contents = u"kinds"_s;
    r.m_Recurs = Reminder::Daily;
    r.m_EveryWeekDay = true;
    r.m_Every = 4;
    QVERIFY(r.Save(true));
    platform::ProfileFile file(r.FileName());
    QCOMPARE(file.read(u"Daily"_s, u"EveryWeekDay"_s, QString()), u"Yes"_s);
    QVERIFY2(!file.hasKey(u"General"_s, u"Every"_s), "an every-weekday reminder has no interval");
    QVERIFY(!file.hasKey(u"Weekly"_s, u"Days"_s));

    // The editor keeps the every-weekday choice whatever kind follows; a
    // weekly reminder still needs its interval on file.
    r.m_Recurs = Reminder::Weekly;
    r.m_Every = 2;
    r.m_Days = u"1,7"_s;
    QVERIFY(r.Save(false));
    file.load(r.FileName());
    QCOMPARE(file.read(u"General"_s, u"Every"_s, QString()), u"2"_s);
    QCOMPARE(file.read(u"Weekly"_s, u"Days"_s, QString()), u"1,7"_s);
    QCOMPARE(file.read(u"Daily"_s, u"EveryWeekDay"_s, QString()), u"Yes"_s); // left from before
    Reminder back;
    QVERIFY(back.Load(r.FileName(), r.m_UniqueID));
    QCOMPARE(back.m_Every, 2);
    QCOMPARE(back.m_Days, u"1,7"_s);
    QCOMPARE(back.FormatedWhen().right(17), u", Every 2 week(s)"_s);

    // Lines the program does not know survive a save.
    QVERIFY(file.load(r.FileName()));
    file.write(u"Notes"_s, u"Written"_s, u"by hand"_s);
    QVERIFY(file.save());
    QVERIFY(r.Save(false));
    QVERIFY(fx.readFile(r.m_UniqueID + u".rmn"_s).contains("[Notes]\r\nWritten=by hand\r\n"));
}

void tst_ReminderFiles::contentFileRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("lines with CR LF") << QByteArray("Line 1\r\nLine 2\r\n") << u"Line 1\r\nLine 2"_s;
    QTest::newRow("empty lines at the start dropped") << QByteArray("\r\n\r\nHi\r\n") << u"Hi"_s;
    QTest::newRow("empty line inside kept") << QByteArray("a\r\n\r\nb\r\n") << u"a\r\n\r\nb"_s;
    QTest::newRow("empty line at the end kept") << QByteArray("a\r\n\r\n") << u"a\r\n"_s;
    QTest::newRow("LF only") << QByteArray("a\nb\n") << u"a\r\nb"_s;
    QTest::newRow("no final line end") << QByteArray("abc") << u"abc"_s;
    QTest::newRow("UTF-8") << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                         "e\r\n")
                           << u"Grüße"_s;
    QTest::newRow("Windows-1252") << QByteArray("Caf\xe9 \x80 5\r\n") << u"Café € 5"_s;
    QTest::newRow("empty file") << QByteArray() << QString();
}

void tst_ReminderFiles::contentFileRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    ReminderFixture fx;
    fx.writeFile(u"8.rmn"_s, "[General]\r\nWhen=2024-01-31 15:05:00\r\n");
    fx.writeFile(u"8.rmn.content"_s, bytes);
    Reminder r;
    QVERIFY(r.Load(fx.remindersFolder() + u"/8.rmn"_s, u"8"_s));
    QCOMPARE(r.LoadContents(), expected);
}

void tst_ReminderFiles::contentFileWritten()
{
    ReminderFixture fx;
    Reminder r;
    r.m_Contents = u"Zeile 1\nÄrger\r\nEnde"_s;
    QVERIFY(r.Save(true));
    QCOMPARE(fx.readFile(r.m_UniqueID + u".rmn.content"_s),
             QByteArray("Zeile 1\r\n\xc3\x84rger\r\nEnde\r\n"));
    QCOMPARE(r.LoadContents(), u"Zeile 1\r\nÄrger\r\nEnde"_s);

    // A missing content file reads as no text.
    QVERIFY(QFile::remove(r.contentFileName()));
    QVERIFY(r.LoadContents().isEmpty());
}

QTEST_MAIN(tst_ReminderFiles)
#include "tst_ReminderFiles.moc"
