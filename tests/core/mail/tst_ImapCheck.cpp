// IMAP accounts checked by the real check cycle against the private Dovecot
// (CTest fixture "dovecot"): the first check stores what the folders hold
// and leaves it unseen, mail delivered while the watcher idles is stored and
// announced, nothing is announced twice across a restart or a lost state
// file, a renumbered mailbox is learnt without announcing it, a connection
// cut while idling is made again, and the self-signed certificate on the
// implicit-TLS port is refused until trusted. Each test has its own user.
#include "core/mail/Account.h"
#include "core/mail/ImapWatcher.h"
#include "support/CuttingProxy.h"
#include "support/CycleRig.h"
#include "support/DovecotFixture.h"

#include <QDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvella;
using namespace orvella::test;
using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray message(const QByteArray& id, const QByteArray& subject)
{
    return "From: Sender <sender@example.test>\r\nTo: reader@example.test\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + id + "@example.test>\r\n\r\nThe body of " + subject + ".\r\n";
}

QStringList subjects(const QList<MailMessage>& messages)
{
    QStringList out;
    for (const MailMessage& m : messages)
        out << m.m_Subject;
    out.sort();
    return out;
}

} // namespace

class tst_ImapCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void pushedMailIsAnnouncedOnce();
    void renumberedMailboxIsLearntQuietly();
    void cutConnectionIsMadeAgain();
    void certificateRefusedUntilTrusted();

private:
    QString section(const QString& user, int port, const QString& security, const QString& more = {}) const
    {
        return u"[Account]\nPOPServer=%1\nAccountName=%2\nPassword=%3\nPort=%4\nSecurity=%5\nProtocol=IMAP\n"
               u"CheckInterval=60\n%6"_s.arg(m_dovecot->host, user,
                                             Account::Scramble(m_dovecot->password(user)),
                                             QString::number(port), security, more);
    }
    // A Maildir++ folder of user's mailbox, made as Dovecot's own user.
    bool makeFolder(const QString& user, const QString& name) const
    {
        const QString box = m_dovecot->maildir(user) + u"/."_s + name;
        for (const QString& sub : {QString(), u"/cur"_s, u"/new"_s, u"/tmp"_s}) {
            if (!QDir().mkpath(box + sub)) return false;
            if (::chown(QFile::encodeName(box + sub).constData(), uid_t(m_dovecot->uid),
                        gid_t(m_dovecot->gid)))
                return false;
        }
        return true;
    }
    bool deliverTo(const QString& user, const QString& folder, const QList<QByteArray>& messages) const
    {
        // deliver() writes into the user's INBOX; a folder is its own Maildir.
        DovecotFixture d = *m_dovecot;
        const QString box = m_dovecot->maildir(user) + u"/."_s + folder;
        for (const QByteArray& m : messages) {
            static int counter = 0;
            const QString name = u"%1.F%2P%3.orvella"_s.arg(QDateTime::currentSecsSinceEpoch())
                                     .arg(++counter)
                                     .arg(QCoreApplication::applicationPid());
            QFile f(box + u"/tmp/"_s + name);
            QByteArray data = m;
            data.replace("\r\n", "\n");
            if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) return false;
            f.close();
            if (::chown(QFile::encodeName(f.fileName()).constData(), uid_t(d.uid), gid_t(d.gid)))
                return false;
            if (!QFile::rename(f.fileName(), box + u"/new/"_s + name)) return false;
        }
        return true;
    }
    // Runs the catch-up check a watcher asks for, as the program does.
    static void followPushes(CycleRig& rig)
    {
        QObject::connect(rig.cycle.get(), &MailCheckCycle::pushWanted, rig.cycle.get(),
                         [c = rig.cycle.get()] {
                             QTimer::singleShot(0, c, [c] {
                                 if (!c->running()) c->CatchUp();
                             });
                         });
        QObject::connect(rig.cycle.get(), &MailCheckCycle::finished, rig.cycle.get(), [c = rig.cycle.get()] {
            // A push that came while the check ran.
            QTimer::singleShot(0, c, [c] {
                if (!c->running() && c->interruptedAccounts() > 0) c->CatchUp();
            });
        });
    }
    static ImapWatcher* watcher(CycleRig& rig)
    {
        return rig.accounts.isEmpty() ? nullptr : rig.cycle->watcherOf(*rig.accounts.first());
    }

    std::optional<DovecotFixture> m_dovecot;
};

void tst_ImapCheck::initTestCase()
{
    QString why;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &why);
    if (!m_dovecot) QSKIP(qPrintable(u"The private Dovecot is not running: "_s + why));
}

void tst_ImapCheck::pushedMailIsAnnouncedOnce()
{
    const QString user = u"imapw1"_s;
    QVERIFY(m_dovecot->clear(user));
    QVERIFY(makeFolder(user, u"Work"_s));
    QVERIFY(m_dovecot->deliver(user, {message("a1", "First"), message("a2", "Second")}));
    QVERIFY(deliverTo(user, u"Work"_s, {message("w1", "Work one")}));

    CycleRig rig;
    QList<MailMessage> announced;
    rig.onAnnounce = [&](const QList<MailMessage>& m) { announced += m; };
    QVERIFY(rig.load(section(user, m_dovecot->imapPort, u"None"_s, u"Folders=Work\n"_s)));
    followPushes(rig);
    QVERIFY(rig.check());
    QVERIFY2(!rig.errorTab, qPrintable(rig.errorText));
    QCOMPARE(subjects(announced), (QStringList{u"First"_s, u"Second"_s, u"Work one"_s}));
    QVERIFY(rig.statuses.contains(u"Connecting to "_s + m_dovecot->host));
    QVERIFY(rig.statuses.contains(u"Checking for new messages on "_s + m_dovecot->host));
    QCOMPARE(rig.store->model()->rowCount(), 3);

    // Fetched without a trace: no message is marked seen.
    for (const QString& box : QStringList{m_dovecot->maildir(user), m_dovecot->maildir(user) + u"/.Work"_s})
        for (const QString& name : QDir(box + u"/cur"_s).entryList(QDir::Files))
            QVERIFY2(!name.section(u":2,"_s, 1).contains(u'S'), qPrintable(name));

    // Delivered while the watcher idles: stored and announced without a check being asked for.
    QTRY_VERIFY_WITH_TIMEOUT(watcher(rig) && watcher(rig)->isIdling(), 30000);
    announced.clear();
    QVERIFY(m_dovecot->deliver(user, {message("a3", "Pushed")}));
    QTRY_COMPARE_WITH_TIMEOUT(subjects(announced), QStringList{u"Pushed"_s}, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.cycle->running(), 30000);
    QCOMPARE(rig.store->model()->rowCount(), 4);

    // The next start announces nothing again.
    announced.clear();
    QVERIFY(rig.restart());
    QVERIFY(rig.check());
    QVERIFY(announced.isEmpty());

    // A crash after the messages were stored and before their folder's state
    // was written: the identifiers keep them from being stored twice.
    const QString states = rig.accounts.first()->folderStateFilePath();
    QVERIFY(rig.restart());
    QVERIFY(QFile::remove(states));
    QVERIFY(rig.restart());
    QVERIFY(rig.check());
    QVERIFY2(announced.isEmpty(), qPrintable(subjects(announced).join(u", "_s)));
    rig.store->LoadStoredMessages();
    QCOMPARE(rig.store->model()->rowCount(), 4);
    QVERIFY(QFile::exists(states));
}

void tst_ImapCheck::renumberedMailboxIsLearntQuietly()
{
    const QString user = u"imapw2"_s;
    QVERIFY(m_dovecot->clear(user));
    QVERIFY(m_dovecot->deliver(user, {message("b1", "Before")}));
    CycleRig rig;
    QList<MailMessage> announced;
    rig.onAnnounce = [&](const QList<MailMessage>& m) { announced += m; };
    QVERIFY(rig.load(section(user, m_dovecot->imapPort, u"None"_s)));
    QVERIFY(rig.check());
    QCOMPARE(subjects(announced), QStringList{u"Before"_s});
    const quint32 validity = rig.accounts.first()->folderState(u"INBOX"_s).uidValidity;

    // No session open while Dovecot's records of the mailbox go: it numbers
    // the mailbox anew (UIDVALIDITY is a time in seconds, so a second passes first).
    rig.cycle.reset();
    QTest::qWait(1100);
    QDir box(m_dovecot->maildir(user));
    for (const QString& name : box.entryList({u"dovecot-uidlist"_s, u"dovecot.index*"_s}, QDir::Files))
        QVERIFY(box.remove(name));
    QVERIFY(m_dovecot->deliver(user, {message("b2", "During")}));
    QVERIFY(rig.restart());
    announced.clear();
    QVERIFY(rig.check());
    QVERIFY2(!rig.errorTab, qPrintable(rig.errorText));
    QVERIFY(rig.accounts.first()->folderState(u"INBOX"_s).uidValidity != validity);
    QVERIFY2(announced.isEmpty(), qPrintable(subjects(announced).join(u", "_s)));

    // After it, new mail is new again.
    QVERIFY(m_dovecot->deliver(user, {message("b3", "After")}));
    QVERIFY(rig.check());
    QCOMPARE(subjects(announced), QStringList{u"After"_s});
}

void tst_ImapCheck::cutConnectionIsMadeAgain()
{
    const QString user = u"imapw3"_s;
    QVERIFY(m_dovecot->clear(user));
    CuttingProxy proxy(m_dovecot->host, quint16(m_dovecot->imapPort));
    // The first connection breaks as the server agrees to IDLE.
    proxy.cutBefore("+ idling", 1);
    CycleRig rig;
    QList<MailMessage> announced;
    rig.onAnnounce = [&](const QList<MailMessage>& m) { announced += m; };
    QVERIFY(rig.load(section(user, proxy.port(), u"None"_s).replace(m_dovecot->host, u"127.0.0.1"_s)));
    rig.cycle->setImapBackOffScale(0.01);
    followPushes(rig);
    QVERIFY(rig.check());
    QTRY_COMPARE_WITH_TIMEOUT(proxy.cuts(), 1, 30000);
    // Made again after the back-off, and idling on the new connection.
    QTRY_VERIFY_WITH_TIMEOUT(watcher(rig) && watcher(rig)->isIdling(), 60000);
    QVERIFY(m_dovecot->deliver(user, {message("c1", "After the cut")}));
    QTRY_COMPARE_WITH_TIMEOUT(subjects(announced), QStringList{u"After the cut"_s}, 60000);
}

void tst_ImapCheck::certificateRefusedUntilTrusted()
{
    const QString user = u"imapw4"_s;
    QVERIFY(m_dovecot->clear(user));
    QVERIFY(m_dovecot->deliver(user, {message("d1", "Over TLS")}));
    CycleRig rig;
    QList<MailMessage> announced;
    rig.onAnnounce = [&](const QList<MailMessage>& m) { announced += m; };
    QVERIFY(rig.load(section(user, m_dovecot->imapsPort, u"TLS"_s)));
    QVERIFY(rig.check());
    QVERIFY(rig.errorTab);
    QVERIFY2(rig.errorText.contains(m_dovecot->certSha256, Qt::CaseInsensitive), qPrintable(rig.errorText));
    QVERIFY(announced.isEmpty());
    Account& account = *rig.accounts.first();
    QCOMPARE(account.m_RejectedCertificate.toUpper(), m_dovecot->certSha256.toUpper());

    account.m_TrustedCertificate = account.m_RejectedCertificate;
    QVERIFY(rig.check());
    QVERIFY2(!rig.errorTab, qPrintable(rig.errorText));
    QCOMPARE(subjects(announced), QStringList{u"Over TLS"_s});
}

QTEST_GUILESS_MAIN(tst_ImapCheck)
#include "tst_ImapCheck.moc"
