// The IMAP response parser on its own: the responses a check meets, literals
// split across feeds at every byte, quoted strings, the limits on lines and
// literals, and malformed input, each of which must end in a clear error.
#include "core/imap/ImapParser.h"

#include <QTest>

using namespace orvella::imap;
using namespace Qt::Literals::StringLiterals;

namespace {

// Items written out compactly: atoms as they stand, numbers as #n, strings in
// quotes (a cut literal as "..."~size), NIL, lists in parentheses.
QByteArray render(const QList<ImapValue>& values);

QByteArray render(const ImapValue& v)
{
    switch (v.kind) {
    case ImapValue::Atom:
        return v.text;
    case ImapValue::Number:
        return '#' + QByteArray::number(v.number);
    case ImapValue::String:
        return '"' + v.text + '"' + (v.truncated ? '~' + QByteArray::number(v.literalSize) : QByteArray());
    case ImapValue::Nil:
        return "NIL";
    case ImapValue::List:
        return '(' + render(v.items) + ')';
    }
    return {};
}

QByteArray render(const QList<ImapValue>& values)
{
    QByteArrayList parts;
    for (const ImapValue& v : values)
        parts.append(render(v));
    return parts.join(' ');
}

// A response in one line: kind, tag, status, [code argument], text, number,
// name, values.
QByteArray describe(const ImapResponse& r)
{
    static const char* const kinds[] = {"tagged", "untagged", "continuation"};
    static const char* const statuses[] = {"", "OK", "NO", "BAD", "PREAUTH", "BYE"};
    QByteArray d = QByteArray(kinds[r.kind]) + '|' + r.tag + '|' + statuses[r.status] + '|';
    if (!r.code.isEmpty())
        d +=
            '[' + r.code + (r.codeArgument.isEmpty() ? QByteArray() : QByteArray(' ' + r.codeArgument)) + ']';
    d += '|' + r.text + '|' + (r.number ? QByteArray::number(*r.number) : QByteArray()) + '|' + r.name + '|' +
         render(r.values);
    return d;
}

QList<QByteArray> feedAll(ImapParser& p, const QList<QByteArray>& chunks)
{
    QList<QByteArray> out;
    for (const QByteArray& c : chunks) {
        p.feed(c);
        while (p.hasResponse())
            out.append(describe(p.take()));
    }
    return out;
}

} // namespace

class tst_ImapParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void responses_data();
    void responses();
    void splitAtEveryByte();
    void attributes();
    void limits_data();
    void limits();
    void malformed_data();
    void malformed();
};

void tst_ImapParser::responses_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("exists") << QByteArray("* 23 EXISTS\r\n") << QByteArray("untagged|||||23|EXISTS|");
    QTest::newRow("expunge") << QByteArray("* 5 expunge\r\n") << QByteArray("untagged|||||5|EXPUNGE|");
    QTest::newRow("uidvalidity") << QByteArray("* OK [UIDVALIDITY 3857529045] UIDs valid\r\n")
                                 << QByteArray("untagged||OK|[UIDVALIDITY 3857529045]|UIDs valid|||");
    QTest::newRow("uidnext without text")
        << QByteArray("* OK [UIDNEXT 4392]\r\n") << QByteArray("untagged||OK|[UIDNEXT 4392]||||");
    QTest::newRow("capability") << QByteArray("* CAPABILITY IMAP4rev1 IDLE AUTH=PLAIN SASL-IR\r\n")
                                << QByteArray("untagged||||||CAPABILITY|IMAP4rev1 IDLE AUTH=PLAIN SASL-IR");
    QTest::newRow("capability code in greeting")
        << QByteArray("* OK [CAPABILITY IMAP4rev1 STARTTLS] Dovecot ready.\r\n")
        << QByteArray("untagged||OK|[CAPABILITY IMAP4rev1 STARTTLS]|Dovecot ready.|||");
    QTest::newRow("flags") << QByteArray("* FLAGS (\\Answered \\Flagged \\Seen $Junk)\r\n")
                           << QByteArray("untagged||||||FLAGS|(\\Answered \\Flagged \\Seen $Junk)");
    QTest::newRow("fetch with literal")
        << QByteArray("* 12 FETCH (UID 4391 FLAGS (\\Seen) BODY[] {7}\r\nab\r\ncd\n)\r\n")
        << QByteArray("untagged|||||12|FETCH|(UID #4391 FLAGS (\\Seen) BODY[] \"ab\r\ncd\n\")");
    QTest::newRow("fetch with two literals, one empty")
        << QByteArray("* 1 FETCH (BODY[HEADER] {0}\r\n BODY[TEXT]<0> {2}\r\n)x)\r\n")
        << QByteArray("untagged|||||1|FETCH|(BODY[HEADER] \"\" BODY[TEXT]<0> \")x\")");
    QTest::newRow("section with a list inside")
        << QByteArray("* 2 FETCH (BODY[HEADER.FIELDS (SUBJECT DATE)] {2}\r\nS:)\r\n")
        << QByteArray("untagged|||||2|FETCH|(BODY[HEADER.FIELDS (SUBJECT DATE)] \"S:\")");
    QTest::newRow("binary literal with a NUL") << QByteArray("* 3 FETCH (BINARY[] ~{3}\r\na\0b)\r\n", 32)
                                               << QByteArray("untagged|||||3|FETCH|(BINARY[] \"a\0b\")", 37);
    QTest::newRow("bye") << QByteArray("* BYE Autologout; idle for too long\r\n")
                         << QByteArray("untagged||BYE||Autologout; idle for too long|||");
    QTest::newRow("preauth") << QByteArray("* PREAUTH IMAP4rev1 server logged in as Smith\r\n")
                             << QByteArray("untagged||PREAUTH||IMAP4rev1 server logged in as Smith|||");
    QTest::newRow("search") << QByteArray("* SEARCH 1 2 3\r\n")
                            << QByteArray("untagged||||||SEARCH|#1 #2 #3");
    QTest::newRow("empty search") << QByteArray("* SEARCH\r\n") << QByteArray("untagged||||||SEARCH|");
    QTest::newRow("esearch") << QByteArray("* ESEARCH (TAG \"A5\") UID ALL 4392:4395,4401\r\n")
                             << QByteArray("untagged||||||ESEARCH|(TAG \"A5\") UID ALL 4392:4395,4401");
    QTest::newRow("status") << QByteArray("* STATUS \"INBOX\" (MESSAGES 3 UIDNEXT 9 UIDVALIDITY 1)\r\n")
                            << QByteArray(
                                   "untagged||||||STATUS|\"INBOX\" (MESSAGES #3 UIDNEXT #9 UIDVALIDITY #1)");
    QTest::newRow("list") << QByteArray("* LIST (\\HasNoChildren) \"/\" \"INBOX\"\r\n")
                          << QByteArray("untagged||||||LIST|(\\HasNoChildren) \"/\" \"INBOX\"");
    QTest::newRow("nil and empty list")
        << QByteArray("* LIST () nil INBOX\r\n") << QByteArray("untagged||||||LIST|() NIL INBOX");
    QTest::newRow("quoted escapes") << QByteArray("* LIST () \"/\" \"a \\\"quoted\\\" \\\\ name\"\r\n")
                                    << QByteArray("untagged||||||LIST|() \"/\" \"a \"quoted\" \\ name\"");
    QTest::newRow("tagged ok with code") << QByteArray("A1 OK [READ-ONLY] EXAMINE completed\r\n")
                                         << QByteArray("tagged|A1|OK|[READ-ONLY]|EXAMINE completed|||");
    QTest::newRow("tagged no") << QByteArray("A2 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n")
                               << QByteArray("tagged|A2|NO|[AUTHENTICATIONFAILED]|Authentication failed.|||");
    QTest::newRow("tagged bad, lower case") << QByteArray("a3 bad Error in IMAP command\r\n")
                                            << QByteArray("tagged|a3|BAD||Error in IMAP command|||");
    QTest::newRow("status text ending like a literal")
        << QByteArray("A4 NO message too big {5}\r\n") << QByteArray("tagged|A4|NO||message too big {5}|||");
    QTest::newRow("continuation") << QByteArray("+ idling\r\n") << QByteArray("continuation||||idling|||");
    QTest::newRow("continuation with base64") << QByteArray("+ eyJzdGF0dXMiOiI0MDEifQ==\r\n")
                                              << QByteArray("continuation||||eyJzdGF0dXMiOiI0MDEifQ==|||");
    QTest::newRow("bare continuation") << QByteArray("+\r\n") << QByteArray("continuation|||||||");
    QTest::newRow("bare LF ends a line")
        << QByteArray("* 4 EXISTS\n") << QByteArray("untagged|||||4|EXISTS|");
}

void tst_ImapParser::responses()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    ImapParser p;
    const QList<QByteArray> got = feedAll(p, {input});
    QVERIFY2(!p.failed(), qPrintable(p.error()));
    QCOMPARE(got, QList<QByteArray>{expected});
    QCOMPARE(p.pendingBytes(), 0);
}

// Three responses, two literals among them, cut in two at every byte and fed
// one byte at a time: the same responses every time.
void tst_ImapParser::splitAtEveryByte()
{
    const QByteArray stream = "* 1 FETCH (UID 7 BODY[] {14}\r\nA: b\r\n\r\n{3}\r\n\" FLAGS ())\r\n"
                              "* 2 FETCH (BODY[TEXT] {2}\r\n\r\n)\r\n"
                              "A9 OK \"done\"\r\n";
    ImapParser whole;
    const QList<QByteArray> expected = feedAll(whole, {stream});
    QCOMPARE(expected.size(), 3);
    QCOMPARE(expected[0],
             QByteArray("untagged|||||1|FETCH|(UID #7 BODY[] \"A: b\r\n\r\n{3}\r\n\"\" FLAGS ())"));
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        ImapParser p;
        QCOMPARE(feedAll(p, {stream.left(cut), stream.mid(cut)}), expected);
    }
    ImapParser bytewise;
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes.append(QByteArray(1, c));
    QCOMPARE(feedAll(bytewise, bytes), expected);
}

void tst_ImapParser::attributes()
{
    ImapParser p;
    p.feed("* 1 FETCH (UID 9 RFC822.SIZE 5 body[text]<0> {2}\r\nhi BODY[HEADER] NIL)\r\n");
    QVERIFY(p.hasResponse());
    const ImapResponse r = p.take();
    const ImapValue& attrs = r.values.first();
    QCOMPARE(attrs.attribute("UID")->number, 9u);
    QCOMPARE(attrs.attribute("BODY[TEXT]")->text, QByteArray("hi"));
    QCOMPARE(attrs.attribute("BODY[HEADER]")->kind, ImapValue::Nil);
    QVERIFY(!attrs.attribute("BODY[]"));
    QVERIFY(!attrs.attribute("FLAGS"));
}

// Literals beyond the keep limit are read and dropped, flagged as cut; what
// passes the stream limit ends the parsing.
void tst_ImapParser::limits_data()
{
    QTest::addColumn<qint64>("keep");
    QTest::addColumn<qint64>("stream");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected"); // the first response, or empty
    QTest::addColumn<QString>("error");       // empty: no error

    const QByteArray big(25, 'x');
    QTest::newRow("literal cut at the keep limit, next response intact")
        << qint64(10) << qint64(1000)
        << QByteArray("* 1 FETCH (BODY[] {25}\r\n" + big + ")\r\n* 2 EXISTS\r\n")
        << QByteArray("untagged|||||1|FETCH|(BODY[] \"xxxxxxxxxx\"~25)") << QString();
    QTest::newRow("keep limit shared by the literals of one response")
        << qint64(10) << qint64(1000) << QByteArray("* 1 FETCH (A {6}\r\naaaaaa B {6}\r\nbbbbbb)\r\n")
        << QByteArray("untagged|||||1|FETCH|(A \"aaaaaa\" B \"bbbb\"~6)") << QString();
    QTest::newRow("literal announced past the stream limit")
        << qint64(10) << qint64(100) << QByteArray("* 1 FETCH (BODY[] {200}\r\n") << QByteArray()
        << u"literal of 200 bytes"_s;
    QTest::newRow("dropped bytes count against the stream limit")
        << qint64(10) << qint64(100)
        << QByteArray("* 1 FETCH (A {60}\r\n" + QByteArray(60, 'a') + " B {60}\r\n") << QByteArray()
        << u"literal of 60 bytes"_s;
    QTest::newRow("line without end")
        << ImapParser::DefaultKeepLimit << ImapParser::DefaultStreamLimit
        << QByteArray("* 1 FETCH (" + QByteArray(ImapParser::LineLimit + 1, 'y')) << QByteArray()
        << u"line of more than 64 KB"_s;
    QTest::newRow("many short lines between literals")
        << ImapParser::DefaultKeepLimit << ImapParser::DefaultStreamLimit
        << QByteArray("* 1 FETCH (" +
                      QByteArray(1100, 'z').replace("z", QByteArray(QByteArray(1000, 'z') + " {0}\r\n")))
        << QByteArray() << u"response of more than 1024 KB"_s;
}

void tst_ImapParser::limits()
{
    QFETCH(qint64, keep);
    QFETCH(qint64, stream);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QFETCH(QString, error);
    ImapParser p;
    p.setKeepLimit(keep);
    p.setStreamLimit(stream);
    const QList<QByteArray> got = feedAll(p, {input});
    if (error.isEmpty()) {
        QVERIFY2(!p.failed(), qPrintable(p.error()));
        QVERIFY(!got.isEmpty());
        QCOMPARE(got.first(), expected);
    } else {
        QVERIFY(got.isEmpty());
        QVERIFY(p.failed());
        QVERIFY2(p.error().contains(error), qPrintable(p.error()));
    }
}

void tst_ImapParser::malformed_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty line") << QByteArray("\r\n") << u"does not begin with a tag"_s;
    QTest::newRow("a word alone") << QByteArray("garbage\r\n") << u"nothing follows the tag"_s;
    QTest::newRow("tagged without status") << QByteArray("A1 MAYBE fine\r\n") << u"not OK, NO or BAD"_s;
    QTest::newRow("tag with a parenthesis") << QByteArray("A(1 OK x\r\n") << u"characters no tag may hold"_s;
    QTest::newRow("list not closed") << QByteArray("* 1 FETCH (UID 1\r\n") << u"list is not closed"_s;
    QTest::newRow("closing nothing") << QByteArray("* 1 FETCH (UID 1))\r\n") << u"closes no list"_s;
    QTest::newRow("quoted not closed") << QByteArray("* LIST () \"/\" \"INBOX\r\n") << u"does not end"_s;
    QTest::newRow("bad escape") << QByteArray("* LIST () \"/\" \"a\\xb\"\r\n") << u"escapes something"_s;
    QTest::newRow("non-synchronizing literal")
        << QByteArray("* 1 FETCH (BODY[] {5+}\r\nhello)\r\n") << u"{n+}"_s;
    QTest::newRow("literal size no number") << QByteArray("* 1 FETCH (BODY[] {12a}\r\n") << u"no number"_s;
    QTest::newRow("literal mid-line") << QByteArray("* 1 FETCH (X {3} Y)\r\n") << u"not at the end"_s;
    QTest::newRow("double blank") << QByteArray("* 1 FETCH (A  B)\r\n") << u"an item begins with"_s;
    QTest::newRow("control character") << QByteArray("* 1 FETCH (A\x01"
                                                     "B)\r\n")
                                       << u"control character"_s;
    QTest::newRow("section not closed") << QByteArray("* 1 FETCH (BODY[TEXT {2}\r\n") << u"bracket"_s;
    QTest::newRow("code not closed") << QByteArray("* OK [UIDNEXT 5 text\r\n") << u"bracket is not closed"_s;
    QTest::newRow("nested too deeply")
        << QByteArray("* 1 FETCH " + QByteArray(200, '(') + QByteArray(200, ')') + "\r\n")
        << u"nested too deeply"_s;
    QTest::newRow("number without name") << QByteArray("* 7\r\n") << u"nothing follows the message number"_s;
}

void tst_ImapParser::malformed()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    ImapParser p;
    const QList<QByteArray> got = feedAll(p, {input, "* 1 EXISTS\r\n"});
    QVERIFY2(got.isEmpty(), got.value(0).constData());
    QVERIFY(p.failed());
    QVERIFY2(p.error().contains(error), qPrintable(p.error()));
    QVERIFY2(p.error().contains(u"not IMAP"_s) || p.error().contains(u"literal"_s), qPrintable(p.error()));
}

QTEST_GUILESS_MAIN(tst_ImapParser)
#include "tst_ImapParser.moc"
