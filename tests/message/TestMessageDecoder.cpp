#include "message/MessageDecoder.h"
#include "rules/CRule.h"

#include <QApplication>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::CMessage;
using orvella::MessageDecoder;

namespace {

QByteArray fixture(const QString& name)
{
    QFile f(QStringLiteral(ORVELLA_TEST_DATA_DIR) + u"/messages/"_s + name);
    if (!f.open(QIODevice::ReadOnly)) qFatal("missing fixture %s", qPrintable(name));
    return f.readAll();
}

// Feeds a raw message to the decoder the way the POP client delivers it:
// one event per unfolded header field, one per body line (at most maxLines
// of them, 0 meaning all), every byte carried as one character.
CMessage deliver(MessageDecoder& decoder, const QByteArray& raw, int maxLines = 0)
{
    QByteArrayList lines = raw.split('\n');
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    qsizetype i = 0;
    QByteArray field, value;
    auto flush = [&] {
        if (!field.isEmpty()) decoder.Header(QString::fromLatin1(field), QString::fromLatin1(value));
        field.clear();
        value.clear();
    };
    for (; i < lines.size() && !lines[i].isEmpty(); ++i) {
        const QByteArray& l = lines[i];
        if ((l.startsWith(' ') || l.startsWith('\t')) && !field.isEmpty()) {
            value += l; // unfolding removes only the line break
            continue;
        }
        flush();
        const qsizetype colon = l.indexOf(':');
        field = l.left(colon);
        value = l.mid(colon + 1).trimmed();
    }
    flush();
    int delivered = 0;
    for (++i; i < lines.size() && (maxLines == 0 || delivered < maxLines); ++i, ++delivered)
        decoder.Transfer(lines[i].size() + 2, QString::fromLatin1(lines[i]));
    return decoder.EndTransfer();
}

// The whole literal, NUL bytes included.
template <qsizetype N> QByteArray withNul(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

QString crlf(QString s)
{
    return s.replace(u"\n"_s, u"\r\n"_s);
}

} // namespace

class TestMessageDecoder : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void eventsAndRawAgree();
    void missingMessageIdIsStable();
    void decoderStartsCleanForEachMessage();
    void garbage_data();
    void garbage();
    void nulBytes_data();
    void nulBytes();
};

void TestMessageDecoder::decode_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<bool>("multipart");
    QTest::addColumn<QString>("content");

    const QString anna = u"anna@example.org"_s;
    QTest::newRow("ISO-8859-1 Q words, quoted-printable body")
        << u"latin1-qp.eml"_s << 0 << u"Andr\u00e9 Pirard <andre@example.fr>"_s
        << u"Anna <anna@example.org>"_s << u"Caf\u00e9 cr\u00e8me est pr\u00eat"_s
        << u"<20231114091240.1234@example.fr>"_s << u"quoted-printable"_s << false
        << crlf(u"Bonjour,\n\nLe caf\u00e9 cr\u00e8me est pr\u00eat. Ceci est une tr\u00e8s longue ligne qui "
                u"doit "
                "\u00eatre coup\u00e9e par l'encodage quoted-printable pour respecter la limite.\n\n"
                "\u00c0 bient\u00f4t,\nAndr\u00e9\n"_s);
    QTest::newRow("quoted-printable cut after a soft line break")
        << u"latin1-qp.eml"_s << 3 << u"Andr\u00e9 Pirard <andre@example.fr>"_s
        << u"Anna <anna@example.org>"_s << u"Caf\u00e9 cr\u00e8me est pr\u00eat"_s
        << u"<20231114091240.1234@example.fr>"_s << u"quoted-printable"_s << false
        << crlf(
               u"Bonjour,\n\nLe caf\u00e9 cr\u00e8me est pr\u00eat. Ceci est une tr\u00e8s longue ligne qui doit \u00ea"_s);
    QTest::newRow("UTF-8 B and Q words, base64 body")
        << u"utf8-base64.eml"_s << 0 << u"J\u00fcrgen M\u00fcller <juergen@example.de>"_s
        << u"Anna K\u00f6hler <anna@example.org>"_s << u"Gr\u00fc\u00dfe aus M\u00fcnchen \U0001F389"_s
        << u"<CAF=abc123+XYZ@mail.example.de>"_s << u"base64"_s << false
        << crlf(u"Hallo Anna,\n\nviele Gr\u00fc\u00dfe aus M\u00fcnchen \U0001F389\n"
                "\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439\u0442\u0435!\n"_s);
    QTest::newRow("Windows-1252 words and 8-bit body")
        << u"windows-1252.eml"_s << 0 << u"\"Shop\" <news@shop.example>"_s << anna
        << u"\u201cSale\u201d \u2013 only 20 \u20ac"_s << u"<shop.1@shop.example>"_s << u"8bit"_s << false
        << crlf(u"Price: 20 \u20ac \u2013 \u201cspecial\u201d offer\nIt\u2019s here.\n"_s);
    QTest::newRow("KOI8-R") << u"koi8-r.eml"_s << 0 << u"\u0418\u0432\u0430\u043d <ivan@example.ru>"_s << anna
                            << u"\u041f\u0440\u0438\u0432\u0435\u0442"_s << u"<ivan.42@example.ru>"_s
                            << u"8bit"_s << false
                            << crlf(u"\u0414\u043e\u0431\u0440\u044b\u0439 \u0434\u0435\u043d\u044c!\n"
                                    "\u041a\u0430\u043a \u0434\u0435\u043b\u0430?\n"_s);
    QTest::newRow("ISO-2022-JP")
        << u"iso-2022-jp.eml"_s << 0 << u"\u7530\u4e2d <tanaka@example.jp>"_s << anna
        << u"\u4f1a\u8b70\u306e\u304a\u77e5\u3089\u305b"_s << u"<tanaka.7@example.jp>"_s << u"7bit"_s << false
        << crlf(u"\u7530\u4e2d\u3067\u3059\u3002\n"
                "\u660e\u65e5\u306e\u4f1a\u8b70\u306f\u5341\u6642\u304b\u3089\u3067\u3059\u3002\n"_s);
    // Lines that begin with a hyphen belong to the text.
    QTest::newRow("alternative: the plain part")
        << u"alternative.eml"_s << 0 << u"Bob <bob@example.com>"_s << anna << u"Agenda"_s
        << u"<alt.1@example.com>"_s << QString() << true
        << crlf(u"Agenda:\n- item one\n- item two\n\nCheers\n"_s);
    QTest::newRow("nested multiparts with attachment")
        << u"nested.eml"_s << 0 << u"Carol <carol@example.com>"_s
        << u"anna@example.org, Dave <dave@example.com>"_s << u"Report"_s << u"<nested.1@example.com>"_s
        << QString() << true << crlf(u"See the attached report.\nNumbers are up 5%.\n"_s);
    QTest::newRow("HTML only") << u"html-only.eml"_s << 0 << u"Newsletter <news@example.net>"_s << anna
                               << u"Weekly news"_s << u"<html.1@example.net>"_s << u"quoted-printable"_s
                               << false << crlf(u"Weekly news\nFish & chips\nCaf\u00e9\nopen"_s);
    QTest::newRow("HTML in related in mixed")
        << u"related.eml"_s << 0 << u"Eve <eve@example.com>"_s << anna << u"Photo"_s
        << u"<rel.1@example.com>"_s << QString() << true << u"Look at this <photo>"_s;
    QString all;
    for (int i = 1; i <= 40; ++i)
        all += u"Line %1 of a long message body.\r\n"_s.arg(i, 2, 10, QChar(u'0'));
    QTest::newRow("base64 part, all lines")
        << u"long-base64.eml"_s << 0 << u"Frank <frank@example.com>"_s << anna << u"Long"_s
        << u"<long.1@example.com>"_s << QString() << true << all;
    // 4 header lines of the part, then 4 lines of base64 (228 bytes): seven
    // whole lines and the start of the eighth; no closing boundary arrives.
    QTest::newRow("base64 part cut by the line limit")
        << u"long-base64.eml"_s << 8 << u"Frank <frank@example.com>"_s << anna << u"Long"_s
        << u"<long.1@example.com>"_s << QString() << true << all.left(7 * 33) + u"Line"_s;
    QTest::newRow("header names in any case")
        << u"odd-case.eml"_s << 0 << u"Hank <hank@example.com>"_s << anna << u"Mixed case"_s
        << u"<odd.1@example.com>"_s << u"7bit"_s << true << u"Plain words."_s;
    QTest::newRow("undeclared UTF-8")
        << u"raw-utf8.eml"_s << 0 << u"Ivo <ivo@example.com>"_s << anna << u"Gr\u00fc\u00dfe"_s
        << u"<raw8.1@example.com>"_s << QString() << false << crlf(u"Sch\u00f6n \u2013 gr\u00fc\u00dfe\n"_s);
    QTest::newRow("undeclared Windows-1252")
        << u"raw-1252.eml"_s << 0 << u"Ivo <ivo@example.com>"_s << anna << u"Caf\u00e9"_s
        << u"<raw8.2@example.com>"_s << QString() << false << crlf(u"Caf\u00e9 \u2013 50\u20ac\n"_s);
}

void TestMessageDecoder::decode()
{
    QFETCH(QString, file);
    QFETCH(int, lines);
    MessageDecoder decoder;
    const CMessage m = deliver(decoder, fixture(file), lines);
    QTEST(m.m_FullFrom, "from");
    QTEST(m.m_FullTo, "to");
    QTEST(m.m_Subject, "subject");
    QTEST(m.m_ID, "id");
    QTEST(m.m_ContentTransferEncoding, "encoding");
    QTEST(m.m_IsMultiPart, "multipart");
    QTEST(m.m_Content, "content");
}

void TestMessageDecoder::eventsAndRawAgree()
{
    for (const QString& file : {u"latin1-qp.eml"_s, u"nested.eml"_s, u"no-id.eml"_s}) {
        MessageDecoder decoder;
        const CMessage viaEvents = deliver(decoder, fixture(file));
        const CMessage direct = MessageDecoder::Decode(fixture(file));
        QCOMPARE(viaEvents.m_ID, direct.m_ID);
        QCOMPARE(viaEvents.m_Subject, direct.m_Subject);
        QCOMPARE(viaEvents.m_Content, direct.m_Content);
    }
}

void TestMessageDecoder::missingMessageIdIsStable()
{
    const QByteArray raw = fixture(u"no-id.eml"_s);
    MessageDecoder decoder;
    const CMessage first = deliver(decoder, raw);
    QVERIFY(first.m_ID.startsWith(u'<'));
    QVERIFY(first.m_ID.endsWith(u"@no-message-id.orvella>"_s));
    // The same message fetched again, whole or with a few body lines only.
    QCOMPARE(deliver(decoder, raw, 1).m_ID, first.m_ID);
    // A header the server adds after the first download does not matter.
    QCOMPARE(deliver(decoder, "Status: RO\r\nX-UIDL: 17\r\n" + raw).m_ID, first.m_ID);
    // A different message gets a different identifier.
    QByteArray other = raw;
    other.replace("Subject: No identifier", "Subject: No identifier either");
    QVERIFY(deliver(decoder, other).m_ID != first.m_ID);
    QCOMPARE(first.m_Content, u"Hello.\r\n"_s);
}

void TestMessageDecoder::decoderStartsCleanForEachMessage()
{
    MessageDecoder decoder;
    deliver(decoder, fixture(u"nested.eml"_s));
    const CMessage second = deliver(decoder, fixture(u"koi8-r.eml"_s));
    QCOMPARE(second.m_ID, u"<ivan.42@example.ru>"_s);
    QVERIFY(!second.m_IsMultiPart);
    QVERIFY(!second.m_Content.contains(u"report"_s));
}

void TestMessageDecoder::garbage_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("no header block") << QByteArray("just text\r\nmore text\r\n");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe\x01:\r\n\r\n\x80\x81", 11);
    QTest::newRow("broken encoded word")
        << QByteArray("Subject: =?utf-8?B?####?= =?x-unknown?Q?abc?=\r\n\r\nx\r\n");
    QTest::newRow("unknown body charset")
        << QByteArray("Content-Type: text/plain; charset=x-nonsense\r\n\r\nab\xe9\r\n");
    QTest::newRow("multipart without boundary")
        << QByteArray("Content-Type: multipart/mixed\r\n\r\n--x\r\n\r\nhi\r\n");
    QTest::newRow("deep nesting") << []() -> QByteArray {
        QByteArray m = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
        for (int i = 1; i < 200; ++i)
            m += "--b" + QByteArray::number(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                 QByteArray::number(i) + "\r\n\r\n";
        return m + "--b199\r\nContent-Type: text/plain\r\n\r\ndeep\r\n";
    }();
}

void TestMessageDecoder::garbage()
{
    QFETCH(QByteArray, raw);
    const CMessage m = MessageDecoder::Decode(raw);
    // Whatever comes in, the message gets an identifier and the text is valid.
    QVERIFY(!m.m_ID.isEmpty());
    QVERIFY(!m.m_Content.contains(u'\n') || m.m_Content.count(u'\n') == m.m_Content.count(u"\r\n"_s));
}

// A NUL byte is no text: it is dropped and the rest of the field or line kept,
// so the sender still matches its rules and the text reads on past it.
void TestMessageDecoder::nulBytes_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("content");
    const QByteArray rest = "To: Anna <anna@example.org>\r\nMessage-ID: <nul.1@example.com>\r\n\r\n";
    QTest::newRow("in the display name")
        << withNul("From: Se\0nder <a@b>\r\nSubject: Hi\r\n") + rest + "Body\r\n"
        << u"Sender"_s << u"a@b"_s << u"Hi"_s << u"Body\r\n"_s;
    QTest::newRow("in the address") << withNul("From: Sender <a\0@b>\r\nSubject: Hi\r\n") + rest + "Body\r\n"
                                    << u"Sender"_s << u"a@b"_s << u"Hi"_s << u"Body\r\n"_s;
    QTest::newRow("first byte of the value")
        << withNul("From: \0Sender <a@b>\r\nSubject: Hi\r\n") + rest + "Body\r\n"
        << u"Sender"_s << u"a@b"_s << u"Hi"_s << u"Body\r\n"_s;
    QTest::newRow("several, in a quoted name")
        << withNul("From: \"Se\0n\0\0der\" <a@b>\r\nSubject: Hi\r\n") + rest + "Body\r\n"
        << u"Sender"_s << u"a@b"_s << u"Hi"_s << u"Body\r\n"_s;
    QTest::newRow("in the subject") << withNul("From: Sender <a@b>\r\nSubject: Quarterly\0 report\r\n") +
                                           rest + "Body\r\n"
                                    << u"Sender"_s << u"a@b"_s << u"Quarterly report"_s << u"Body\r\n"_s;
    QTest::newRow("in a folded field")
        << withNul("From: Sender <a@b>\r\nSubject: Quarterly\r\n \0report\r\n") + rest + "Body\r\n"
        << u"Sender"_s << u"a@b"_s << u"Quarterly report"_s << u"Body\r\n"_s;
    QTest::newRow("in the body") << QByteArray("From: Sender <a@b>\r\nSubject: Hi\r\n") + rest +
                                        withNul("Bo\0dy\r\nmore\r\n")
                                 << u"Sender"_s << u"a@b"_s << u"Hi"_s << u"Body\r\nmore\r\n"_s;
}

void TestMessageDecoder::nulBytes()
{
    QFETCH(QByteArray, raw);
    MessageDecoder decoder;
    for (const CMessage& m : {MessageDecoder::Decode(raw), deliver(decoder, raw)}) {
        QTEST(m.From(), "from");
        QTEST(m.EMailAddress(), "address");
        QTEST(m.m_Subject, "subject");
        QTEST(m.m_Content, "content");
        QCOMPARE(m.m_ID, u"<nul.1@example.com>"_s);
        QCOMPARE(m.m_FullTo, u"Anna <anna@example.org>"_s);
        orvella::CRule bySender;
        bySender.m_Type = 0;
        bySender.m_Name = u"sender"_s;
        QVERIFY(bySender.Matches(m));
        bySender.m_Name = u"a@b"_s;
        QVERIFY(bySender.Matches(m));
    }
}

int main(int argc, char** argv)
{
    // The text of HTML messages comes from QTextDocument, which wants the GUI.
    QApplication app(argc, argv);
    TestMessageDecoder test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestMessageDecoder.moc"
