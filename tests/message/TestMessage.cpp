#include "message/CMessage.h"
#include "message/MessageDecoder.h"
#include "message/MessageListModel.h"
#include "settings/Program.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::CMessage;

namespace {

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

CMessage sample()
{
    CMessage m;
    m.m_ID = u"<sample.1@example.com>"_s;
    m.m_FullFrom = u"\"Joe Bloggs\" <joe@example.com>"_s;
    m.m_FullTo = u"anna@example.org"_s;
    m.m_Subject = u"Say \"hi\" to \u00e9t\u00e9"_s;
    m.m_Content = u"line 1\r\n\"quoted\" line\r\n\r\nlast\r\n"_s;
    return m;
}

} // namespace

class TestMessage : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void fromAndAddress_data();
    void fromAndAddress();
    void sender_data();
    void sender();
    void escapedQuotesInTheNameSurviveTheFile();
    void unquote_data();
    void unquote();
    void fileFormat();
    void saveLoadRoundTrip();
    void quoteInIdentifierKeepsRecordsApart();
    void timeStampForm();
    void timeStampsNeverCollide();
    void existingFilesAreNeverReplaced();
    void load_data();
    void load();
    void isQuotedPrintable_data();
    void isQuotedPrintable();
    void deleteRemovesOnlyItsFile();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString folder() const { return m_dir->path() + u"/msg"_s; }
};

void TestMessage::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    orvella::Program().AppPath = m_dir->path();
}

void TestMessage::cleanup()
{
    m_dir.reset();
    orvella::Program().AppPath.clear();
}

void TestMessage::fromAndAddress_data()
{
    QTest::addColumn<QString>("fullFrom");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("address");
    QTest::newRow("quoted name and address")
        << u"\"Joe Bloggs\" <joe@example.com>"_s << u"Joe Bloggs"_s << u"joe@example.com"_s;
    QTest::newRow("no angle bracket") << u"joe@example.com"_s << u"joe@example.com"_s << u"joe@example.com"_s;
    QTest::newRow("starts with <") << u"<joe@example.com>"_s << QString() << u"joe@example.com"_s;
    QTest::newRow("< is the last character") << u"Joe <"_s << u"Joe"_s << u"Joe <"_s;
    QTest::newRow("no closing >") << u"Joe < joe@example.com "_s << u"Joe"_s << u"joe@example.com"_s;
    QTest::newRow("blanks everywhere") << u"  Joe  < joe@x >  "_s << u"Joe"_s << u"joe@x"_s;
    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("only an opening quote") << u"\"Joe <j@x>"_s << u"Joe"_s << u"j@x"_s;
    QTest::newRow("two addresses") << u"Two <a@b>, Three <c@d>"_s << u"Two"_s << u"a@b"_s;
    QTest::newRow("unicode name") << u"Andr\u00e9 P\u00e9rard <andre@example.fr>"_s
                                  << u"Andr\u00e9 P\u00e9rard"_s << u"andre@example.fr"_s;
    QTest::newRow("escaped quotes in a quoted name") << u"\"Quote \\\"Inner\\\" Name\" <q@example.com>"_s
                                                     << u"Quote \"Inner\" Name"_s << u"q@example.com"_s;
    QTest::newRow("escaped backslash") << u"\"A \\\\ B\" <ab@x>"_s << u"A \\ B"_s << u"ab@x"_s;
    // Read back from a message file, where double quotes are apostrophes.
    QTest::newRow("escaped quotes from a file")
        << u"'Quote \\'Inner\\' Name' <q@example.com>"_s << u"Quote \"Inner\" Name"_s << u"q@example.com"_s;
    QTest::newRow("apostrophe in a name from a file")
        << u"'O'Brien, Pat' <pat@x>"_s << u"O'Brien, Pat"_s << u"pat@x"_s;
    QTest::newRow("unquoted name keeps its backslash") << u"DOM\\user <u@x>"_s << u"DOM\\user"_s << u"u@x"_s;
}

void TestMessage::sender_data()
{
    QTest::addColumn<QString>("fullFrom");
    QTest::addColumn<QString>("sender");
    QTest::newRow("display name") << u"\"Joe Bloggs\" <joe@example.com>"_s << u"Joe Bloggs"_s;
    QTest::newRow("address alone") << u"joe@example.com"_s << u"joe@example.com"_s;
    QTest::newRow("address in brackets") << u"<joe@example.com>"_s << u"joe@example.com"_s;
    QTest::newRow("empty quoted name") << u"\"\" <joe@example.com>"_s << u"joe@example.com"_s;
    QTest::newRow("blank name") << u"\"  \" <joe@example.com>"_s << u"joe@example.com"_s;
    QTest::newRow("no From") << QString() << u"unknown sender"_s;
    QTest::newRow("empty brackets") << u"<>"_s << u"unknown sender"_s;
}

void TestMessage::sender()
{
    QFETCH(QString, fullFrom);
    CMessage m;
    m.m_FullFrom = fullFrom;
    QTEST(m.Sender(), "sender");
}

// The header as the sender's program writes it, decoded, stored, listed, and
// listed again after a restart.
void TestMessage::escapedQuotesInTheNameSurviveTheFile()
{
    CMessage m = orvella::MessageDecoder::Decode(
        "From: \"Quote \\\"Inner\\\" Name\" <q@example.com>\r\nSubject: s\r\nMessage-ID: <q.1@x>\r\n\r\n"
        "Hello.\r\n");
    QCOMPARE(m.From(), u"Quote \"Inner\" Name"_s);
    QCOMPARE(orvella::MessageListModel::entryFor(m).from, u"Quote \"Inner\" Name"_s);
    QVERIFY(m.Save());
    CMessage loaded;
    QVERIFY(loaded.Load(m.Path()));
    QCOMPARE(loaded.From(), u"Quote \"Inner\" Name"_s);
    QCOMPARE(orvella::MessageListModel::entryFor(loaded).from, u"Quote \"Inner\" Name"_s);
    QCOMPARE(loaded.EMailAddress(), u"q@example.com"_s);
}

void TestMessage::fromAndAddress()
{
    QFETCH(QString, fullFrom);
    CMessage m;
    m.m_FullFrom = fullFrom;
    QTEST(m.From(), "from");
    QTEST(m.EMailAddress(), "address");
}

void TestMessage::unquote_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both") << u"\"a b\""_s << u"a b"_s;
    QTest::newRow("leading only") << u"\"a"_s << u"a"_s;
    QTest::newRow("trailing only") << u"a\""_s << u"a"_s;
    QTest::newRow("inner kept") << u"\"a\"\"b\""_s << u"a\"\"b"_s;
    QTest::newRow("a lone quote") << u"\""_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestMessage::unquote()
{
    QFETCH(QString, text);
    QTEST(CMessage::Unquote(text), "expected");
}

void TestMessage::fileFormat()
{
    CMessage m = sample();
    QVERIFY(m.Save());
    QCOMPARE(m.Path(), folder() + u'/' + m.m_TimeStamp + u".tem"_s);
    const QByteArray expected = "\"<sample.1@example.com>\"\r\n\"" + m.m_TimeStamp.toLatin1() +
                                "\"\r\n\"'Joe Bloggs' <joe@example.com>\"\r\n\"Say 'hi' to " +
                                u"\u00e9t\u00e9"_s.toUtf8() +
                                "\"\r\n\"line 1\r\n'quoted' line\r\n\r\nlast\r\n\"\r\n";
    QCOMPARE(readBytes(m.Path()), expected);
    // The record in memory keeps its quotes.
    QCOMPARE(m.m_Subject, sample().m_Subject);
}

void TestMessage::saveLoadRoundTrip()
{
    CMessage m = sample();
    for (int i = 0; i < 500; ++i)
        m.m_Content += u"Line %1 with \"quotes\", commas and \u00fcml\u00e4uts\r\n"_s.arg(i);
    m.m_ContentTransferEncoding = u"base64"_s;
    m.m_IsMultiPart = true;
    QVERIFY(m.Save());

    CMessage back;
    QVERIFY(back.Load(m.Path()));
    QCOMPARE(back.m_ID, m.m_ID);
    QCOMPARE(back.m_TimeStamp, m.m_TimeStamp);
    QCOMPARE(back.m_FullFrom, CMessage::ReplaceQuotes(m.m_FullFrom));
    QCOMPARE(back.m_Subject, CMessage::ReplaceQuotes(m.m_Subject));
    QCOMPARE(back.m_Content, CMessage::ReplaceQuotes(m.m_Content));
    // Fields the file does not hold keep their initial values.
    QCOMPARE(back.m_FullTo, QString());
    QCOMPARE(back.m_ContentTransferEncoding, QString());
    QVERIFY(!back.m_IsMultiPart);
    QCOMPARE(back.m_MesssageIdx, 0);
    QCOMPARE(back.Path(), m.Path());
}

void TestMessage::quoteInIdentifierKeepsRecordsApart()
{
    CMessage m = sample();
    m.m_ID = u"<\"odd\"@example.com>"_s;
    QVERIFY(m.Save());
    CMessage back;
    QVERIFY(back.Load(m.Path()));
    QCOMPARE(back.m_ID, u"<'odd'@example.com>"_s);
    QCOMPARE(back.m_TimeStamp, m.m_TimeStamp);
    QCOMPARE(back.m_Content, CMessage::ReplaceQuotes(m.m_Content));
}

void TestMessage::timeStampForm()
{
    const QDateTime before = QDateTime::currentDateTime();
    CMessage m;
    m.MakeTimeStamp();
    static const QRegularExpression form(uR"(^(\d{14})(\d{1,5})(\.\d{1,2})?$)"_s);
    const auto match = form.match(m.m_TimeStamp);
    QVERIFY2(match.hasMatch(), qPrintable(m.m_TimeStamp));
    const QDateTime at = QDateTime::fromString(match.captured(1), u"yyyyMMddhhmmss"_s);
    QVERIFY(qAbs(at.secsTo(before)) < 5);
    QCOMPARE(match.captured(2).toInt(), at.time().msecsSinceStartOfDay() / 1000);
    QVERIFY(!match.captured(3).endsWith(u'0')); // shortest form
}

void TestMessage::timeStampsNeverCollide()
{
    QStringList saved;
    for (int i = 0; i < 300; ++i) {
        CMessage m = sample();
        m.m_Subject = QString::number(i);
        QVERIFY(m.Save());
        saved << m.m_TimeStamp + u".tem"_s;
    }
    QCOMPARE(QSet<QString>(saved.begin(), saved.end()).size(), 300);
    QStringList stems = QDir(folder()).entryList({u"*.tem"_s}, QDir::Files);
    for (QString& s : stems)
        s.chop(4);
    std::sort(stems.begin(), stems.end());
    // One file each, and the stamps sort in the order of saving.
    QCOMPARE(stems.size(), saved.size());
    for (qsizetype i = 0; i < saved.size(); ++i)
        QCOMPARE(stems[i] + u".tem"_s, saved[i]);
}

void TestMessage::existingFilesAreNeverReplaced()
{
    // Files left by an earlier run under the names the next saves would take.
    QDir().mkpath(folder());
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 10;
    QSet<QString> planted;
    for (qint64 cs = now; cs < now + 300; ++cs) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(cs * 10);
        const int h = at.time().msecsSinceStartOfDay() / 10;
        QString stamp = at.toString(u"yyyyMMddhhmmss"_s) + QString::number(h / 100);
        if (h % 100)
            stamp += u'.' + (h % 10 ? QString::number(h % 100).rightJustified(2, u'0')
                                    : QString::number(h % 100 / 10));
        writeBytes(folder() + u'/' + stamp + u".tem"_s, "planted");
        planted << stamp;
    }
    for (int i = 0; i < 20; ++i) {
        CMessage m = sample();
        QVERIFY(m.Save());
        QVERIFY2(!planted.contains(m.m_TimeStamp), qPrintable(m.m_TimeStamp));
    }
    for (const QString& stamp : planted)
        QCOMPARE(readBytes(folder() + u'/' + stamp + u".tem"_s), QByteArray("planted"));
}

void TestMessage::load_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("content");
    const QByteArray head = "\"<id@x>\"\r\n\"2023111409124033160.5\"\r\n\"Joe <j@x>\"\r\n";
    QTest::newRow("Windows-1252 file")
        << head + "\"Caf\xe9\"\r\n\"Line one\r\nLine two\r\n\"\r\n"
        << true << u"Caf\u00e9"_s << u"Line one\r\nLine two\r\n"_s;
    QTest::newRow("LF line ends") << QByteArray("\"<id@x>\"\n\"1\"\n\"f\"\n\"s\"\n\"a\nb\n\"\n") << true
                                  << u"s"_s << u"a\nb\n"_s;
    QTest::newRow("no line end after the last record") << head + "\"s\"\r\n\"c\"" << true << u"s"_s << u"c"_s;
    QTest::newRow("empty body") << head + "\"s\"\r\n\"\"\r\n" << true << u"s"_s << QString();
    QTest::newRow("empty file") << QByteArray() << false << QString() << QString();
    QTest::newRow("four records") << head + "\"s\"\r\n" << false << QString() << QString();
    QTest::newRow("unterminated body") << head + "\"s\"\r\n\"text that never ends\r\n"
                                       << false << QString() << QString();
    QTest::newRow("foreign text") << QByteArray("Dear diary,\r\ntoday...\r\n") << false << QString()
                                  << QString();
    QTest::newRow("junk after a record")
        << QByteArray("\"<id@x>\"junk\r\n\"1\"\r\n\"f\"\r\n\"s\"\r\n\"c\"\r\n") << false << QString()
        << QString();
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", 16) << false << QString()
                            << QString();
}

void TestMessage::load()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QDir().mkpath(folder());
    const QString path = folder() + u"/test.tem"_s;
    writeBytes(path, bytes);
    CMessage m;
    m.m_Subject = u"before"_s;
    QCOMPARE(m.Load(path), ok);
    if (ok) {
        QTEST(m.m_Subject, "subject");
        QTEST(m.m_Content, "content");
        QCOMPARE(m.Path(), path);
    } else {
        QCOMPARE(m.m_Subject, u"before"_s); // a failed load changes nothing
    }
}

void TestMessage::isQuotedPrintable_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<bool>("expected");
    QTest::newRow("quoted-printable") << u"quoted-printable"_s << true;
    QTest::newRow("with a prefix") << u"x-quoted-printable"_s << true;
    QTest::newRow("base64") << u"base64"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void TestMessage::isQuotedPrintable()
{
    QFETCH(QString, encoding);
    CMessage m;
    m.m_ContentTransferEncoding = encoding;
    QTEST(m.IsQuotedPrintable(), "expected");
}

void TestMessage::deleteRemovesOnlyItsFile()
{
    CMessage a = sample(), b = sample();
    QVERIFY(a.Save());
    QVERIFY(b.Save());
    writeBytes(folder() + u"/.tem"_s, "not a message of ours");
    CMessage never;
    never.Delete(); // no file of its own: nothing happens
    QVERIFY(QFile::exists(folder() + u"/.tem"_s));
    a.Delete();
    QVERIFY(!QFile::exists(a.Path()));
    QVERIFY(QFile::exists(b.Path()));
    a.Delete(); // already gone: no harm
}

QTEST_GUILESS_MAIN(TestMessage)
#include "TestMessage.moc"
