// A message fetched over IMAP reaches the decoder as a POP3 retrieval's
// events would: unfolded fields, at most the configured number of body lines,
// whatever the line ends.
#include "core/mail/ImapFeed.h"
#include "core/message/MessageDecoder.h"

#include <QTest>

using namespace orvella;
using namespace Qt::Literals::StringLiterals;

class tst_ImapFeed : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void feed_data();
    void feed();
};

void tst_ImapFeed::feed_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("content");
    const QByteArray head =
        "From: a@example.test\r\nSubject: Hello\r\n there\r\nMessage-ID: <x@example.test>\r\n\r\n";
    QTest::newRow("folded subject, every line") << head + "one\r\ntwo\r\n"
                                                << 0 << u"Hello there"_s << u"one\r\ntwo\r\n"_s;
    QTest::newRow("cut at the line count") << head + "one\r\ntwo\r\nthree\r\n"
                                           << 2 << u"Hello there"_s << u"one\r\ntwo\r\n"_s;
    QTest::newRow("LF line ends") << QByteArray(head).replace("\r\n", "\n") + "one\ntwo\n"
                                  << 5 << u"Hello there"_s << u"one\r\ntwo\r\n"_s;
    QTest::newRow("a header line that is no field starts the body")
        << QByteArray("Subject: Hi\r\nno field here\r\nbody\r\n") << 0 << u"Hi"_s
        << u"no field here\r\nbody\r\n"_s;
}

void tst_ImapFeed::feed()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, lines);
    QFETCH(QString, subject);
    QFETCH(QString, content);
    MessageDecoder decoder;
    FeedImapMessage(decoder, raw, lines);
    const MailMessage m = decoder.EndTransfer();
    QCOMPARE(m.m_Subject, subject);
    QCOMPARE(m.m_Content, content);
}

QTEST_GUILESS_MAIN(tst_ImapFeed)
#include "tst_ImapFeed.moc"
