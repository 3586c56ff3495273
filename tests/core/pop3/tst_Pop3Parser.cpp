// The pieces of the POP3 client that read the server's bytes: line splitting,
// status lines, multi-line answers, CAPA, STAT/LIST/UIDL, the APOP timestamp
// and header unfolding. Garbage rows check that bad input becomes a value.
#include "core/pop3/Pop3HeaderUnfolder.h"
#include "core/pop3/Pop3LineReader.h"
#include "core/pop3/Pop3Response.h"

#include <QTest>

using namespace orvella::pop3;

class tst_Pop3Parser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineReader_data();
    void lineReader();
    void lineReaderCutsOverlongLines();
    void lineReaderRestAtEnd();

    void status_data();
    void status();

    void unstuff_data();
    void unstuff();

    void capabilities();

    void stat_data();
    void stat();
    void listing_data();
    void listing();
    void uniqueId_data();
    void uniqueId();

    void apopTimestamp_data();
    void apopTimestamp();

    void unfold_data();
    void unfold();
};

// Feeds the chunks one after the other and collects every complete line.
void tst_Pop3Parser::lineReader_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QByteArray>("left");

    QTest::newRow("crlf") << QList<QByteArray>{"+OK a\r\n-ERR b\r\n"} << QList<QByteArray>{"+OK a", "-ERR b"}
                          << QByteArray();
    QTest::newRow("bare lf") << QList<QByteArray>{"one\ntwo\n"} << QList<QByteArray>{"one", "two"}
                             << QByteArray();
    QTest::newRow("cr and lf in separate chunks")
        << QList<QByteArray>{"one\r", "\ntwo\r\n"} << QList<QByteArray>{"one", "two"} << QByteArray();
    QTest::newRow("line in many pieces") << QList<QByteArray>{"+O", "K 1", "2 3", "4\r", "\n"}
                                         << QList<QByteArray>{"+OK 12 34"} << QByteArray();
    QTest::newRow("incomplete last line waits")
        << QList<QByteArray>{"done\r\nhal"} << QList<QByteArray>{"done"} << QByteArray("hal");
    QTest::newRow("empty lines") << QList<QByteArray>{"\r\n\r\nx\r\n"} << QList<QByteArray>{"", "", "x"}
                                 << QByteArray();
    QTest::newRow("cr inside a line stays")
        << QList<QByteArray>{"a\rb\r\n"} << QList<QByteArray>{"a\rb"} << QByteArray();
    QTest::newRow("nul bytes stay") << QList<QByteArray>{QByteArray("a\0b\r\n", 5)}
                                    << QList<QByteArray>{QByteArray("a\0b", 3)} << QByteArray();
    QTest::newRow("high bytes stay") << QList<QByteArray>{"Gr\xfc\xdf\xe9\r\n"}
                                     << QList<QByteArray>{"Gr\xfc\xdf\xe9"} << QByteArray();
}

void tst_Pop3Parser::lineReader()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QByteArray, left);
    Pop3LineReader reader;
    QList<QByteArray> got;
    for (const QByteArray& c : chunks) {
        reader.feed(c);
        while (auto l = reader.takeLine()) {
            QVERIFY(!l->cut);
            got.append(l->text);
        }
    }
    QCOMPARE(got, lines);
    QCOMPARE(reader.buffered(), left.size());
}

void tst_Pop3Parser::lineReaderCutsOverlongLines()
{
    const qsizetype max = Pop3LineReader::MaxLineLength;
    Pop3LineReader reader;
    // A line three times the limit, arriving in pieces, then a normal line.
    const QByteArray huge(3 * max, 'x');
    for (qsizetype i = 0; i < huge.size(); i += 1000)
        reader.feed(QByteArrayView(huge).sliced(i, std::min<qsizetype>(1000, huge.size() - i)));
    // The reader never holds much more than one line's worth, but it counts
    // every byte of the line so far.
    QVERIFY(reader.buffered() <= max + 1000);
    QVERIFY(!reader.takeLine());
    QCOMPARE(reader.pendingLength(), huge.size());
    reader.feed("\r\nnext\r\n");
    auto first = reader.takeLine();
    QVERIFY(first);
    QVERIFY(first->cut);
    QCOMPARE(first->text.size(), max);
    QCOMPARE(first->length, huge.size());
    auto second = reader.takeLine();
    QVERIFY(second);
    QCOMPARE(second->text, QByteArray("next"));
    QVERIFY(!second->cut);
    QVERIFY(!reader.takeLine());

    // A line just at the limit is whole; one byte more is cut.
    Pop3LineReader exact;
    exact.feed(QByteArray(QByteArray(max, 'y') + "\r\n" + QByteArray(max + 1, 'z') + "\r\n"));
    auto a = exact.takeLine();
    QVERIFY(a && !a->cut && a->text.size() == max);
    auto b = exact.takeLine();
    QVERIFY(b && b->cut && b->text == QByteArray(max, 'z') && b->length == max + 1);
    QVERIFY(!exact.takeLine());

    // A line of just the limit whose CR LF is split over two pieces is whole.
    Pop3LineReader split;
    split.feed(QByteArray(QByteArray(max, 'w') + "\r"));
    QVERIFY(!split.takeLine());
    split.feed("\n");
    auto w = split.takeLine();
    QVERIFY(w && !w->cut && w->length == max && w->text == QByteArray(max, 'w'));
}

void tst_Pop3Parser::lineReaderRestAtEnd()
{
    Pop3LineReader reader;
    reader.feed("-ERR bye\r");
    QVERIFY(!reader.takeLine());
    auto rest = reader.takeRest();
    QVERIFY(rest);
    QCOMPARE(rest->text, QByteArray("-ERR bye"));
    QVERIFY(!reader.takeRest());
}

void tst_Pop3Parser::status_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("ok") << QByteArray("+OK Dovecot ready.") << int(Status::Ok) << QByteArray()
                        << QByteArray("Dovecot ready.");
    QTest::newRow("ok bare") << QByteArray("+OK") << int(Status::Ok) << QByteArray() << QByteArray();
    QTest::newRow("ok lower case") << QByteArray("+ok fine") << int(Status::Ok) << QByteArray()
                                   << QByteArray("fine");
    QTest::newRow("err with auth code")
        << QByteArray("-ERR [AUTH] Authentication failed.") << int(Status::Err) << QByteArray("AUTH")
        << QByteArray("[AUTH] Authentication failed.");
    QTest::newRow("err in-use") << QByteArray("-ERR [IN-USE] Mailbox locked") << int(Status::Err)
                                << QByteArray("IN-USE") << QByteArray("[IN-USE] Mailbox locked");
    QTest::newRow("err sys/temp") << QByteArray("-ERR [SYS/TEMP] try later") << int(Status::Err)
                                  << QByteArray("SYS/TEMP") << QByteArray("[SYS/TEMP] try later");
    QTest::newRow("code lower case") << QByteArray("-ERR [login-delay] wait") << int(Status::Err)
                                     << QByteArray("LOGIN-DELAY") << QByteArray("[login-delay] wait");
    QTest::newRow("unclosed code") << QByteArray("-ERR [AUTH failed") << int(Status::Err) << QByteArray()
                                   << QByteArray("[AUTH failed");
    QTest::newRow("code with blank") << QByteArray("-ERR [A B] x") << int(Status::Err) << QByteArray()
                                     << QByteArray("[A B] x");
    QTest::newRow("empty code") << QByteArray("-ERR [] x") << int(Status::Err) << QByteArray()
                                << QByteArray("[] x");
    QTest::newRow("err bare") << QByteArray("-ERR") << int(Status::Err) << QByteArray() << QByteArray();
    QTest::newRow("extra blanks") << QByteArray("+OK   2 320") << int(Status::Ok) << QByteArray()
                                  << QByteArray("2 320");
    QTest::newRow("sasl continuation")
        << QByteArray("+ ") << int(Status::Continue) << QByteArray() << QByteArray();
    QTest::newRow("sasl continuation with data") << QByteArray("+ VXNlcm5hbWU6") << int(Status::Continue)
                                                 << QByteArray() << QByteArray("VXNlcm5hbWU6");
    QTest::newRow("garbage: empty") << QByteArray() << int(Status::Garbage) << QByteArray() << QByteArray();
    QTest::newRow("garbage: word") << QByteArray("HELLO") << int(Status::Garbage) << QByteArray()
                                   << QByteArray("HELLO");
    QTest::newRow("garbage: +OKAY") << QByteArray("+OKAY") << int(Status::Garbage) << QByteArray()
                                    << QByteArray("+OKAY");
    QTest::newRow("garbage: -ERROR") << QByteArray("-ERROR x") << int(Status::Garbage) << QByteArray()
                                     << QByteArray("-ERROR x");
    QTest::newRow("garbage: smtp greeting") << QByteArray("220 mail ESMTP") << int(Status::Garbage)
                                            << QByteArray() << QByteArray("220 mail ESMTP");
    QTest::newRow("garbage: binary") << QByteArray("\x16\x03\x01\x02\x00", 5) << int(Status::Garbage)
                                     << QByteArray() << QByteArray("\x16\x03\x01\x02\x00", 5);
    QTest::newRow("garbage: leading blank")
        << QByteArray(" +OK") << int(Status::Garbage) << QByteArray() << QByteArray(" +OK");
}

void tst_Pop3Parser::status()
{
    QFETCH(QByteArray, line);
    QFETCH(int, kind);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, text);
    const Status st = parseStatus(line);
    QCOMPARE(int(st.kind), kind);
    QCOMPARE(st.code, code);
    QCOMPARE(st.text, text);
}

void tst_Pop3Parser::unstuff_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("end");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("terminator") << QByteArray(".") << true << QByteArray();
    QTest::newRow("stuffed dot") << QByteArray("..") << false << QByteArray(".");
    QTest::newRow("stuffed line") << QByteArray("..hidden") << false << QByteArray(".hidden");
    QTest::newRow("two stuffed dots") << QByteArray("...") << false << QByteArray("..");
    QTest::newRow("lax server: unstuffed dot line") << QByteArray(".x") << false << QByteArray("x");
    QTest::newRow("dot with blank") << QByteArray(". ") << false << QByteArray(" ");
    QTest::newRow("plain") << QByteArray("text.") << false << QByteArray("text.");
    QTest::newRow("empty") << QByteArray() << false << QByteArray();
}

void tst_Pop3Parser::unstuff()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, end);
    QFETCH(QByteArray, data);
    const DataLine kind = orvella::pop3::unstuff(line);
    QCOMPARE(kind == DataLine::End, end);
    if (!end) QCOMPARE(line, data);
}

void tst_Pop3Parser::capabilities()
{
    const Capabilities caps =
        Capabilities::parse({"CAPA", "TOP", "uidl", "RESP-CODES", "PIPELINING", "STLS",
                             "SASL PLAIN login  CRAM-MD5", "", "IMPLEMENTATION Shiny POP 1.0", "   "});
    QVERIFY(caps.has("TOP"));
    QVERIFY(caps.has("UIDL"));
    QVERIFY(caps.has("pipelining"));
    QVERIFY(caps.has("STLS"));
    QVERIFY(!caps.has("USER"));
    QVERIFY(!caps.has("SASL PLAIN"));
    QCOMPARE(caps.saslMechanisms(), (QList<QByteArray>{"PLAIN", "LOGIN", "CRAM-MD5"}));
    QCOMPARE(caps.arguments("IMPLEMENTATION"), (QList<QByteArray>{"Shiny", "POP", "1.0"}));
    QVERIFY(Capabilities::parse({}).isEmpty());
    QVERIFY(Capabilities::parse({}).saslMechanisms().isEmpty());
}

void tst_Pop3Parser::stat_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("count");
    QTest::addColumn<qint64>("size");

    QTest::newRow("plain") << QByteArray("2 320") << true << 2 << qint64(320);
    QTest::newRow("empty mailbox") << QByteArray("0 0") << true << 0 << qint64(0);
    QTest::newRow("trailing words") << QByteArray("3 100 messages") << true << 3 << qint64(100);
    QTest::newRow("big mailbox") << QByteArray("2147483647 99999999999") << true << 2147483647
                                 << qint64(99999999999);
    QTest::newRow("garbage: count beyond int") << QByteArray("2147483648 1") << false << 0 << qint64(0);
    QTest::newRow("garbage: huge digits")
        << QByteArray("1 999999999999999999999999") << false << 0 << qint64(0);
    QTest::newRow("garbage: negative") << QByteArray("-1 10") << false << 0 << qint64(0);
    QTest::newRow("garbage: one number") << QByteArray("5") << false << 0 << qint64(0);
    QTest::newRow("garbage: words") << QByteArray("five hundred") << false << 0 << qint64(0);
    QTest::newRow("garbage: sign") << QByteArray("+5 10") << false << 0 << qint64(0);
    QTest::newRow("garbage: empty") << QByteArray() << false << 0 << qint64(0);
}

void tst_Pop3Parser::stat()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(int, count);
    QFETCH(qint64, size);
    const auto st = parseStat(text);
    QCOMPARE(st.has_value(), valid);
    if (valid) {
        QCOMPARE(st->count, count);
        QCOMPARE(st->size, size);
    }
}

void tst_Pop3Parser::listing_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("number");
    QTest::addColumn<qint64>("size");

    QTest::newRow("plain") << QByteArray("2 200") << true << 2 << qint64(200);
    QTest::newRow("garbage: message 0") << QByteArray("0 200") << false << 0 << qint64(0);
    QTest::newRow("garbage: no size") << QByteArray("2") << false << 0 << qint64(0);
    QTest::newRow("garbage: size not a number") << QByteArray("2 big") << false << 0 << qint64(0);
}

void tst_Pop3Parser::listing()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(int, number);
    QFETCH(qint64, size);
    const auto l = parseListing(text);
    QCOMPARE(l.has_value(), valid);
    if (valid) {
        QCOMPARE(l->number, number);
        QCOMPARE(l->size, size);
    }
}

void tst_Pop3Parser::uniqueId_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("uid");

    QTest::newRow("dovecot") << QByteArray("1 000000016b1a14e6") << true << 1
                             << QByteArray("000000016b1a14e6");
    QTest::newRow("rfc example") << QByteArray("2 QhdPYR:00WBw1Ph7x7") << true << 2
                                 << QByteArray("QhdPYR:00WBw1Ph7x7");
    QTest::newRow("70 characters") << QByteArray("3 " + QByteArray(70, 'a')) << true << 3
                                   << QByteArray(70, 'a');
    QTest::newRow("garbage: 71 characters")
        << QByteArray("3 " + QByteArray(71, 'a')) << false << 0 << QByteArray();
    QTest::newRow("garbage: control character") << QByteArray("3 ab\x01") << false << 0 << QByteArray();
    QTest::newRow("garbage: high byte") << QByteArray("3 ab\xe9") << false << 0 << QByteArray();
    QTest::newRow("garbage: two words") << QByteArray("3 a b") << false << 0 << QByteArray();
    QTest::newRow("garbage: no uid") << QByteArray("3") << false << 0 << QByteArray();
}

void tst_Pop3Parser::uniqueId()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(int, number);
    QFETCH(QByteArray, uid);
    const auto u = parseUniqueId(text);
    QCOMPARE(u.has_value(), valid);
    if (valid) {
        QCOMPARE(u->number, number);
        QCOMPARE(u->uid, uid);
    }
}

void tst_Pop3Parser::apopTimestamp_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("timestamp");

    QTest::newRow("rfc 1939") << QByteArray("POP3 server ready <1896.697170952@dbc.mtview.ca.us>")
                              << QByteArray("<1896.697170952@dbc.mtview.ca.us>");
    QTest::newRow("in the middle") << QByteArray("ready <a.b@c> go") << QByteArray("<a.b@c>");
    QTest::newRow("none") << QByteArray("Dovecot (Debian) ready.") << QByteArray();
    QTest::newRow("no at sign") << QByteArray("ready <banner>") << QByteArray();
    QTest::newRow("blank inside") << QByteArray("ready <a b@c>") << QByteArray();
    QTest::newRow("unclosed") << QByteArray("ready <a@b") << QByteArray();
    QTest::newRow("empty brackets") << QByteArray("ready <>") << QByteArray();
    QTest::newRow("high byte inside") << QByteArray("ready <a\xe9@b>") << QByteArray();
}

void tst_Pop3Parser::apopTimestamp()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, timestamp);
    QCOMPARE(orvella::pop3::apopTimestamp(greeting), timestamp);
}

// Feeds header lines (no empty line) and lists the fields as "name=value",
// with "|" marking where a non-header line ended the block.
void tst_Pop3Parser::unfold_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QList<QByteArray>>("fields");

    QTest::newRow("simple") << QList<QByteArray>{"From: a@b", "Subject: hi"}
                            << QList<QByteArray>{"From=a@b", "Subject=hi"};
    QTest::newRow("folded with blank") << QList<QByteArray>{"Subject: a long", " subject line", "To: x"}
                                       << QList<QByteArray>{"Subject=a long subject line", "To=x"};
    QTest::newRow("folded with tab") << QList<QByteArray>{"Received: from a", "\tby b", "\tfor c"}
                                     << QList<QByteArray>{"Received=from a\tby b\tfor c"};
    QTest::newRow("encoded words keep their blanks")
        << QList<QByteArray>{"Subject: =?UTF-8?Q?a?=", " =?UTF-8?Q?b?="}
        << QList<QByteArray>{"Subject==?UTF-8?Q?a?= =?UTF-8?Q?b?="};
    QTest::newRow("no blank after colon") << QList<QByteArray>{"X-A:b"} << QList<QByteArray>{"X-A=b"};
    QTest::newRow("empty value") << QList<QByteArray>{"Subject:", "From: a"}
                                 << QList<QByteArray>{"Subject=", "From=a"};
    QTest::newRow("value only on next line")
        << QList<QByteArray>{"Subject:", "  late"} << QList<QByteArray>{"Subject=late"};
    QTest::newRow("obsolete blank before colon")
        << QList<QByteArray>{"Subject : old"} << QList<QByteArray>{"Subject=old"};
    QTest::newRow("colon in value") << QList<QByteArray>{"Date: Mon, 1 Jan 2024 10:00:00"}
                                    << QList<QByteArray>{"Date=Mon, 1 Jan 2024 10:00:00"};
    QTest::newRow("trailing blanks dropped")
        << QList<QByteArray>{"Subject: x  "} << QList<QByteArray>{"Subject=x"};
    QTest::newRow("high bytes kept") << QList<QByteArray>{"Subject: Gr\xfc\xdf"}
                                     << QList<QByteArray>{"Subject=Gr\xfc\xdf"};
    QTest::newRow("garbage: line without colon ends the header")
        << QList<QByteArray>{"From: a", "this is body text", "To: b"}
        << QList<QByteArray>{"From=a", "|", "To=b"};
    QTest::newRow("garbage: continuation before any field")
        << QList<QByteArray>{" orphan", "From: a"} << QList<QByteArray>{"|", "From=a"};
    QTest::newRow("garbage: blank in field name")
        << QList<QByteArray>{"Bad Name: x"} << QList<QByteArray>{"|"};
    QTest::newRow("garbage: colon first") << QList<QByteArray>{": x"} << QList<QByteArray>{"|"};
}

void tst_Pop3Parser::unfold()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QList<QByteArray>, fields);
    Pop3HeaderUnfolder u;
    QList<QByteArray> got;
    auto take = [&] {
        if (auto f = u.takeField()) got.append(f->name + '=' + f->value);
    };
    for (const QByteArray& l : lines) {
        const auto r = u.add(l);
        take();
        if (r == Pop3HeaderUnfolder::Result::NotAField) got.append("|");
    }
    u.finish();
    take();
    QCOMPARE(got, fields);
}

QTEST_GUILESS_MAIN(tst_Pop3Parser)
#include "tst_Pop3Parser.moc"
