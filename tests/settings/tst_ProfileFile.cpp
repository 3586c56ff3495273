#include "platform/ProfileFile.h"
#include "settings/ModOrvella.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::platform::ProfileFile;

class tst_ProfileFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
    void writeKeepsUnknownLines();
    void writeAddsKeyAfterSectionBody();
    void writeNewSectionAndCrLf();
    void valueWithLineBreakStaysOneLine();
    void writtenValueReadsBackExactly_data();
    void writtenValueReadsBackExactly();
    void windows1252Fallback();
    void saveIsAtomicAndCached();
    void readIniThroughCache();
    void inspect_data();
    void inspect();
};

// A file as hand editing on another system leaves it: CR LF, keys in
// any letter case, blanks around "=", comments and junk lines.
static const char* sampleFile = "; written by hand\r\n"
                                "[Account]\r\n"
                                "UserName = Jo Doe \r\n"
                                "connectiontype=2\r\n"
                                "\r\n"
                                "[GENERAL]\r\n"
                                "Empty=\r\n"
                                "Quoted=\"  spaced  \"\r\n"
                                "Single='x'\r\n"
                                "OneQuote=\"x\r\n"
                                "junk line without equals\r\n"
                                "=novalue\r\n"
                                "Dup=first\r\n"
                                "Dup=second\r\n"
                                "[general]\r\n"
                                "Later=ignored section twin\r\n";

void tst_ProfileFile::read_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blanks around value trimmed") << u"Account"_s << u"UserName"_s << u"Jo Doe"_s;
    QTest::newRow("key case ignored") << u"account"_s << u"CONNECTIONTYPE"_s << u"2"_s;
    QTest::newRow("section case ignored") << u"General"_s << u"Dup"_s << u"first"_s;
    QTest::newRow("empty value is empty, not default") << u"General"_s << u"Empty"_s << u""_s;
    QTest::newRow("absent key gives default") << u"General"_s << u"Nope"_s << u"DEF"_s;
    QTest::newRow("absent section gives default") << u"Nowhere"_s << u"UserName"_s << u"DEF"_s;
    QTest::newRow("enclosing double quotes dropped") << u"General"_s << u"Quoted"_s << u"  spaced  "_s;
    QTest::newRow("enclosing single quotes dropped") << u"General"_s << u"Single"_s << u"x"_s;
    QTest::newRow("lone quote kept") << u"General"_s << u"OneQuote"_s << u"\"x"_s;
    QTest::newRow("second section of same name not searched") << u"General"_s << u"Later"_s << u"DEF"_s;
}

void tst_ProfileFile::read()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    ProfileFile f;
    f.parse(QString::fromLatin1(sampleFile));
    QCOMPARE(f.read(section, key, u"DEF"_s), expected);
}

void tst_ProfileFile::writeKeepsUnknownLines()
{
    ProfileFile f;
    f.parse(QString::fromLatin1(sampleFile));
    f.write(u"ACCOUNT"_s, u"username"_s, u"New"_s);
    const QString text = f.text();
    QVERIFY(text.startsWith(u"; written by hand\r\n[Account]\r\nusername=New\r\nconnectiontype=2\r\n"_s));
    QVERIFY(text.contains(u"junk line without equals\r\n"_s));
    QVERIFY(text.contains(u"=novalue\r\n"_s));
    QVERIFY(text.contains(u"[general]\r\nLater=ignored section twin\r\n"_s));
    QCOMPARE(f.read(u"Account"_s, u"UserName"_s, {}), u"New"_s);
}

void tst_ProfileFile::writeAddsKeyAfterSectionBody()
{
    ProfileFile f;
    f.parse(u"[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"_s);
    f.write(u"a"_s, u"z"_s, u"3"_s);
    QCOMPARE(f.text(), u"[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"_s);
}

void tst_ProfileFile::writeNewSectionAndCrLf()
{
    ProfileFile f;
    f.parse(u"[A]\nx=1\n"_s); // LF-only input is accepted
    f.write(u"C"_s, u"k"_s, u"v"_s);
    QCOMPARE(f.text(), u"[A]\r\nx=1\r\n[C]\r\nk=v\r\n"_s);
}

void tst_ProfileFile::valueWithLineBreakStaysOneLine()
{
    ProfileFile f;
    f.write(u"A"_s, u"k"_s, u"one\r\ntwo\nthree"_s);
    f.write(u"A"_s, u"next"_s, u"ok"_s);
    ProfileFile g;
    g.parse(f.text());
    QCOMPARE(g.read(u"A"_s, u"k"_s, {}), u"one two three"_s);
    QCOMPARE(g.read(u"A"_s, u"next"_s, {}), u"ok"_s);
}

void tst_ProfileFile::writtenValueReadsBackExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("line"); // as the file holds it
    QTest::newRow("plain text stays bare") << u"Sent from"_s << u"k=Sent from"_s;
    QTest::newRow("empty") << QString() << u"k="_s;
    QTest::newRow("signature cut") << u"-- "_s << u"k=\"-- \""_s;
    QTest::newRow("leading blank") << u" >>"_s << u"k=\" >>\""_s;
    QTest::newRow("leading tab") << u"\tx"_s << u"k=\"\tx\""_s;
    QTest::newRow("blanks only") << u"   "_s << u"k=\"   \""_s;
    QTest::newRow("inner blanks stay bare") << u"a  b"_s << u"k=a  b"_s;
    // The reader drops a pair of enclosing quotes of either kind.
    QTest::newRow("in double quotes") << u"\"Re:\""_s << u"k=\"\"Re:\"\""_s;
    QTest::newRow("in single quotes") << u"'x'"_s << u"k=\"'x'\""_s;
    QTest::newRow("opening quote only") << u"\"quoted"_s << u"k=\"\"quoted\""_s;
    QTest::newRow("a lone quote") << u"\""_s << u"k=\"\"\""_s;
    QTest::newRow("closing quote only stays bare") << u"say \"hi\""_s << u"k=say \"hi\""_s;
    QTest::newRow("quote and blank") << u"\" "_s << u"k=\"\" \""_s;
}

void tst_ProfileFile::writtenValueReadsBackExactly()
{
    QFETCH(QString, value);
    QFETCH(QString, line);
    ProfileFile f;
    f.write(u"S"_s, u"k"_s, value);
    QCOMPARE(f.text(), u"[S]\r\n"_s + line + u"\r\n"_s);
    QCOMPARE(f.read(u"S"_s, u"k"_s, u"DEF"_s), value);
    // What the next start reads.
    ProfileFile again;
    again.parse(f.text());
    QCOMPARE(again.read(u"S"_s, u"k"_s, u"DEF"_s), value);
}

void tst_ProfileFile::windows1252Fallback()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"legacy.ini"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // "René €5" in Windows-1252: é = 0xE9, € = 0x80.
    file.write("[Account]\r\nUserName=Ren\xE9 \x80" "5\r\n");
    file.close();
    QCOMPARE(ProfileFile(path).read(u"Account"_s, u"UserName"_s, {}), u"Ren\u00e9 \u20ac5"_s);
}

void tst_ProfileFile::saveIsAtomicAndCached()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"sub/Zentra.INI"_s);
    ProfileFile f(path);
    for (int i = 0; i < 50; ++i)
        f.write(u"S"_s, u"k"_s + QString::number(i), QString::number(i));
    QVERIFY(f.save());
    QCOMPARE(QDir(dir.filePath(u"sub"_s)).entryList(QDir::Files), QStringList{u"Zentra.INI"_s});
    QCOMPARE(orvella::ReadIni(u"S"_s, u"k49"_s, {}, path), u"49"_s);
    // A write through the module is seen by the next read at once.
    QVERIFY(orvella::platform::writeProfileString(path, u"S"_s, u"k49"_s, u"changed"_s));
    QCOMPARE(orvella::ReadIni(u"S"_s, u"k49"_s, {}, path), u"changed"_s);
}

void tst_ProfileFile::readIniThroughCache()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"x.ini"_s);
    const QString longValue(2000, u'v');
    QVERIFY(orvella::platform::writeProfileString(path, u"S"_s, u"long"_s, longValue));
    QCOMPARE(orvella::ReadIni(u"S"_s, u"long"_s, {}, path).size(), 1023);
    QCOMPARE(orvella::ReadIni(u"S"_s, u"missing"_s, u"dflt"_s, dir.filePath(u"none.ini"_s)), u"dflt"_s);
    // The file replaced by someone else (different size) is read afresh.
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[S]\r\nlong=short\r\n");
    f.close();
    QCOMPARE(orvella::ReadIni(u"S"_s, u"long"_s, {}, path), u"short"_s);
}

Q_DECLARE_METATYPE(ProfileFile::State)

// What is damage and what is merely a file short of settings.
void tst_ProfileFile::inspect_data()
{
    using S = ProfileFile::State;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<S>("state");
    QTest::newRow("settings") << QByteArray("[General]\r\nSayTime=No\r\n") << S::Fine;
    QTest::newRow("a BOM, then a section") << QByteArray("\xEF\xBB\xBF[General]\nX=1\n") << S::Fine;
    QTest::newRow("a section after comments") << QByteArray("; mine\r\n\r\n  [Account]\r\n") << S::Fine;
    QTest::newRow("Windows-1252 text") << QByteArray("[General]\r\nBeforeTime=Caf\xe9\r\n") << S::Fine;
    QTest::newRow("one stray control character")
        << QByteArray("[General]\r\nNoNewMessages=No\x1bmail today, nothing at all\r\n") << S::Fine;
    QTest::newRow("the end-of-file mark of old editors") << QByteArray("[General]\r\nX=1\r\n\x1a") << S::Fine;
    QTest::newRow("empty") << QByteArray() << S::Empty;
    QTest::newRow("blank lines") << QByteArray("\r\n  \r\n\t\r\n") << S::Empty;
    QTest::newRow("comments only") << QByteArray("; nothing yet\r\n# nor here\r\n") << S::Empty;
    QTest::newRow("a NUL byte") << QByteArray("[General]\r\nX=1\0\r\n", 17) << S::NotText;
    QTest::newRow("blocks zeroed by a crash") << QByteArray(4096, '\0') << S::NotText;
    QTest::newRow("UTF-16") << QByteArray("[\0G\0e\0n\0]\0", 10) << S::NotText;
    QTest::newRow("control characters throughout") << QByteArray("[a]\x01\x02\x03\x04\x05\x06") << S::NotText;
    QTest::newRow("text without a section") << QByteArray("Server=pop.example.test\r\n") << S::NoSections;
}

void tst_ProfileFile::inspect()
{
    QFETCH(QByteArray, bytes);
    QFETCH(ProfileFile::State, state);
    const ProfileFile::Check check = ProfileFile::inspect(bytes);
    QCOMPARE(check.state, state);
    QCOMPARE(check.damaged(), !check.why.isEmpty());
    // The same from the file, and from a load.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"Zentra.INI"_s);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QCOMPARE(ProfileFile::inspect(path).state, state);
    ProfileFile file;
    QVERIFY(file.load(path));
    QCOMPARE(file.check().state, state);
    // Missing, and a folder in the file's place.
    QCOMPARE(ProfileFile::inspect(dir.filePath(u"none.ini"_s)).state, ProfileFile::State::Missing);
    QVERIFY(QDir(dir.path()).mkdir(u"folder.ini"_s));
    QCOMPARE(ProfileFile::inspect(dir.filePath(u"folder.ini"_s)).state, ProfileFile::State::Unreadable);
}

QTEST_GUILESS_MAIN(tst_ProfileFile)
#include "tst_ProfileFile.moc"
