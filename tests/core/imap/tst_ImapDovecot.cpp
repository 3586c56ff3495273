// The IMAP client against the real Dovecot on loopback (CTest fixture
// "dovecot"): sign-in plain, with STARTTLS and over implicit TLS, the
// self-signed certificate refused until its fingerprint is trusted, EXAMINE,
// a delivered message fetched byte for byte and left unseen, and IDLE telling
// of a message delivered meanwhile. Each test has its own user.
#include "core/imap/ImapClient.h"
#include "support/DovecotFixture.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

using namespace orvella;
using namespace orvella::imap;
using namespace orvella::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// CR LF as Dovecot sends it; the Maildir holds LF.
const QByteArray kMessage = "From: Sender <sender@example.test>\r\n"
                            "To: reader@example.test\r\n"
                            "Subject: IMAP test\r\n"
                            "X-Latin: caf\xe9\r\n"
                            "\r\n"
                            "First line of the body.\r\n"
                            "Second line, a little longer than the first.\r\n";

struct Client
{
    Client()
    {
        QObject::connect(&client, &ImapClient::Error, &client, [this](int code, const QString& text) {
            codes.append(code);
            errors.append(text);
        });
        QObject::connect(&client, &ImapClient::messageFetched, &client,
                         [this](const ImapMessage& m) { messages.append(m); });
    }
    ~Client() { QCoro::waitFor(client.logOff()); }

    ImapClient client;
    QList<int> codes;
    QStringList errors;
    QList<ImapMessage> messages;
};

} // namespace

class tst_ImapDovecot : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void security_data();
    void security();
    void certificateTrustedByFingerprint();
    void fetchLeavesMessageUnseen();
    void idleTellsOfDelivery();

private:
    ImapServerSettings settings(const QString& user, int port, const QString& security) const
    {
        ImapServerSettings s;
        s.host = m_dovecot->host;
        s.port = port;
        s.user = user;
        s.password = m_dovecot->password(user);
        s.security = security;
        s.connectTimeoutMs = 10000;
        s.responseTimeoutMs = 20000;
        return s;
    }

    std::optional<DovecotFixture> m_dovecot;
};

void tst_ImapDovecot::initTestCase()
{
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
    QVERIFY2(m_dovecot->imapPort > 0 && m_dovecot->imapsPort > 0, "dovecot.env names no IMAP ports");
}

void tst_ImapDovecot::security_data()
{
    QTest::addColumn<bool>("implicitTls");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("encrypted");

    QTest::newRow("plain") << false << u"None"_s << false;
    QTest::newRow("STARTTLS") << false << u"STARTTLS"_s << true;
    QTest::newRow("Auto takes STARTTLS") << false << u"Auto"_s << true;
    QTest::newRow("implicit TLS") << true << u"TLS"_s << true;
}

void tst_ImapDovecot::security()
{
    QFETCH(bool, implicitTls);
    QFETCH(QString, security);
    QFETCH(bool, encrypted);

    Client c;
    ImapServerSettings s =
        settings(u"imap1"_s, implicitTls ? m_dovecot->imapsPort : m_dovecot->imapPort, security);
    s.trustedCertificate = m_dovecot->certSha256;
    QVERIFY2(QCoro::waitFor(c.client.logOn(s)), qPrintable(c.errors.join(u'\n')));
    QCOMPARE(c.client.isEncrypted(), encrypted);
    QCOMPARE(c.client.authMechanism(), u"PLAIN"_s);
    QVERIFY(c.client.hasCapability("IDLE"));
    const auto box = QCoro::waitFor(c.client.examine());
    QVERIFY2(box, qPrintable(c.errors.join(u'\n')));
    QVERIFY(box->uidValidity != 0);
}

void tst_ImapDovecot::certificateTrustedByFingerprint()
{
    for (const bool implicitTls : {true, false}) {
        Client c;
        ImapServerSettings s = settings(u"imap1"_s, implicitTls ? m_dovecot->imapsPort : m_dovecot->imapPort,
                                        implicitTls ? u"TLS"_s : u"STARTTLS"_s);
        QVERIFY(!QCoro::waitFor(c.client.logOn(s)));
        QCOMPARE(c.codes, QList<int>{ImapClient::ErrorCertificate});
        QVERIFY2(c.errors.first().contains(m_dovecot->certSha256), qPrintable(c.errors.first()));
        QCOMPARE(c.client.rejectedCertificate(), m_dovecot->certSha256);

        s.trustedCertificate = c.client.rejectedCertificate();
        QVERIFY2(QCoro::waitFor(c.client.logOn(s)), qPrintable(c.errors.join(u'\n')));
        QVERIFY(c.client.isEncrypted());
    }
}

void tst_ImapDovecot::fetchLeavesMessageUnseen()
{
    const QString user = u"imap2"_s;
    QVERIFY(m_dovecot->clear(user));
    QVERIFY(m_dovecot->deliver(user, {kMessage, kMessage + "Third line.\r\n"}));

    Client c;
    QVERIFY2(QCoro::waitFor(c.client.logOn(settings(user, m_dovecot->imapPort, u"None"_s))),
             qPrintable(c.errors.join(u'\n')));
    const auto box = QCoro::waitFor(c.client.examine());
    QVERIFY2(box, qPrintable(c.errors.join(u'\n')));
    QCOMPARE(box->exists, 2u);
    QVERIFY(box->uidValidity != 0);
    QCOMPARE(box->uidNext, 3u);

    const auto all = QCoro::waitFor(c.client.uidsAbove(0));
    QVERIFY2(all, qPrintable(c.errors.join(u'\n')));
    QCOMPARE(*all, (QList<quint32>{1, 2}));
    const auto above = QCoro::waitFor(c.client.uidsAbove(2));
    QVERIFY2(above, qPrintable(c.errors.join(u'\n')));
    QVERIFY(above->isEmpty());

    QVERIFY2(QCoro::waitFor(c.client.fetch({1, 2})), qPrintable(c.errors.join(u'\n')));
    QCOMPARE(c.messages.size(), 2);
    QCOMPARE(c.messages[0].uid, 1u);
    QCOMPARE(c.messages[0].bytes, kMessage);
    QCOMPARE(c.messages[0].size, kMessage.size());
    QCOMPARE(c.messages[1].bytes, kMessage + "Third line.\r\n");

    c.messages.clear();
    QVERIFY2(QCoro::waitFor(c.client.fetch({1}, 10)), qPrintable(c.errors.join(u'\n')));
    QCOMPARE(c.messages.size(), 1);
    const qsizetype headerEnd = kMessage.indexOf("\r\n\r\n") + 4;
    QCOMPARE(c.messages[0].bytes, kMessage.left(headerEnd + 10));
    QVERIFY(c.messages[0].partial);
    QCoro::waitFor(c.client.logOff());

    // No message got the seen flag (":2,S" in its Maildir name).
    const QString maildir = m_dovecot->maildir(user);
    QStringList names = QDir(maildir + u"/cur"_s).entryList(QDir::Files);
    names += QDir(maildir + u"/new"_s).entryList(QDir::Files);
    QCOMPARE(names.size(), 2);
    for (const QString& name : names)
        QVERIFY2(!name.contains(QRegularExpression(u":2,[A-Za-z]*S"_s)), qPrintable(name));
}

void tst_ImapDovecot::idleTellsOfDelivery()
{
    const QString user = u"imap3"_s;
    QVERIFY(m_dovecot->clear(user));
    Client c;
    QVERIFY2(QCoro::waitFor(c.client.logOn(settings(user, m_dovecot->imapPort, u"None"_s))),
             qPrintable(c.errors.join(u'\n')));
    const auto box = QCoro::waitFor(c.client.examine());
    QVERIFY2(box, qPrintable(c.errors.join(u'\n')));
    QCOMPARE(box->exists, 0u);

    bool delivered = false;
    QList<quint32> newMail;
    connect(&c.client, &ImapClient::idling, this, [&] { delivered = m_dovecot->deliver(user, {kMessage}); });
    connect(&c.client, &ImapClient::newMail, this, [&](quint32 exists) {
        newMail.append(exists);
        c.client.stopIdle();
    });
    // Ends with the news, or after two minutes without it.
    QVERIFY2(QCoro::waitFor(c.client.idle(120000)), qPrintable(c.errors.join(u'\n')));
    QVERIFY(delivered);
    QCOMPARE(newMail, QList<quint32>{1});

    const auto uids = QCoro::waitFor(c.client.uidsAbove(0));
    QVERIFY2(uids, qPrintable(c.errors.join(u'\n')));
    QCOMPARE(uids->size(), 1);
    QVERIFY2(QCoro::waitFor(c.client.fetch(*uids)), qPrintable(c.errors.join(u'\n')));
    QCOMPARE(c.messages.size(), 1);
    QCOMPARE(c.messages[0].bytes, kMessage);
}

QTEST_GUILESS_MAIN(tst_ImapDovecot)
#include "tst_ImapDovecot.moc"
