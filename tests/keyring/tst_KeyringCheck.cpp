// Checks against the private Dovecot whose first account keeps its password
// in a real keyring (a GNOME Keyring on a private session bus): the check
// reads it and logs on; with the keyring locked, that account gets a clear
// error while the account whose password is in the file is checked as ever.
#include "KeyringTestTools.h"
#include "mail/Accounts.h"
#include "support/CycleRig.h"
#include "support/DovecotFixture.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

QByteArray message(const QString& subject)
{
    return (u"From: Ann <ann@example.test>\r\nSubject: "_s + subject + u"\r\nMessage-ID: <"_s + subject +
            u"@example.test>\r\n\r\nHello.\r\n"_s)
        .toUtf8();
}

} // namespace

class tst_KeyringCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void checkReadsThePasswordFromTheKeyring();
    void oneNameOnOneServerTwice();
    // Last: nothing unlocks the keyring again without a person at its prompt.
    void lockedKeyringFailsItsAccountAlone();

private:
    QString iniText() const;
    std::optional<DovecotFixture> m_dovecot;
};

void tst_KeyringCheck::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("ORVELLA_TEST_KEYRING"), "run with a keyring (KEYRING)");
    QString why;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &why);
    QVERIFY2(m_dovecot, qPrintable(why));
}

// keyring1 through "localhost" with its password in the keyring, keyring2
// through "127.0.0.1" with its password scrambled in the file: the status
// texts tell the two apart.
QString tst_KeyringCheck::iniText() const
{
    const auto& d = *m_dovecot;
    return CycleRig::dovecotSection(u"Account"_s, u"localhost"_s, d.pop3Port, u"keyring1"_s,
                                    u"Password=\nKeyringEntry=keyring1@localhost"_s) +
           u"ConnectionType=2\n"_s +
           CycleRig::dovecotSection(u"Account 2"_s, d.host, d.pop3Port, u"keyring2"_s,
                                    u"Password="_s + CAccount::Scramble(d.password(u"keyring2"_s))) +
           u"[General]\nNoOfAccounts=2\n"_s;
}

void tst_KeyringCheck::checkReadsThePasswordFromTheKeyring()
{
    QVERIFY(m_dovecot->clear(u"keyring1"_s) && m_dovecot->clear(u"keyring2"_s));
    QVERIFY(keyringStore(u"keyring1@localhost"_s, m_dovecot->password(u"keyring1"_s)));
    CycleRig rig;
    QVERIFY(rig.load(iniText()));
    QVERIFY(rig.accounts[0]->PasswordPending());

    QVERIFY(m_dovecot->deliver(u"keyring1"_s, {message(u"k1"_s)}));
    QVERIFY(m_dovecot->deliver(u"keyring2"_s, {message(u"k2"_s)}));
    QVERIFY(rig.check());
    QVERIFY2(rig.errorText.isEmpty(), qPrintable(rig.errorText));
    // In either order: an account whose password comes late is checked last.
    QStringList subjects;
    for (const CMessage& m : rig.newMessages)
        subjects << m.m_Subject;
    subjects.sort();
    QCOMPARE(subjects, (QStringList{u"k1"_s, u"k2"_s}));
    QCOMPARE(rig.accounts[0]->m_Password, m_dovecot->password(u"keyring1"_s));
}

void tst_KeyringCheck::lockedKeyringFailsItsAccountAlone()
{
    QVERIFY(m_dovecot->clear(u"keyring1"_s) && m_dovecot->clear(u"keyring2"_s));
    QVERIFY(keyringStore(u"keyring1@localhost"_s, m_dovecot->password(u"keyring1"_s)));
    CycleRig rig;
    QVERIFY(rig.load(iniText()));
    QVERIFY(lockKeyring());

    QVERIFY(m_dovecot->deliver(u"keyring1"_s, {message(u"never-read"_s)}));
    QVERIFY(m_dovecot->deliver(u"keyring2"_s, {message(u"k2"_s)}));
    QVERIFY(rig.check());
    QCOMPARE(rig.newMessages.size(), 1);
    QCOMPARE(rig.newMessages[0].m_Subject, u"k2"_s);
    QVERIFY(rig.errorTab);
    QVERIFY2(
        rig.errorText.contains(u"An error occurred while connecting to localhost with account keyring1."_s),
        qPrintable(rig.errorText));
    QVERIFY2(rig.errorText.contains(u"stayed locked"_s), qPrintable(rig.errorText));
    QVERIFY(!rig.statuses.contains(u"Connecting to localhost"_s));
    QVERIFY(rig.statuses.contains(u"Connecting to 127.0.0.1"_s));
    QVERIFY(rig.accounts[0]->PasswordPending());
}

void tst_KeyringCheck::cleanup()
{
    // A reading moves an entry named the old way; that ends before the next test.
    QVERIFY(passwordsSettled());
}

// Two mailboxes of one name on one server, one behind each port, each with a
// password of its own (keyring4). The options give the first account its
// right password; after a restart both log on.
void tst_KeyringCheck::oneNameOnOneServerTwice()
{
    const auto& d = *m_dovecot;
    const QString user = u"keyring4"_s;
    QVERIFY(d.clear(user));
    CycleRig rig;
    QVERIFY(rig.load(CycleRig::dovecotSection(u"Account"_s, d.host, d.pop3Port, user,
                                              u"Password="_s + CAccount::Scramble(u"an-old-password"_s)) +
                     u"ConnectionType=2\n[Account 2]\nPOPServer="_s + d.host + u"\nAccountName="_s + user +
                     u"\nPassword="_s + CAccount::Scramble(d.pop3sPassword(user)) + u"\nPort="_s +
                     QString::number(d.pop3sPort) + u"\nSecurity=TLS\nTrustedCertificate="_s + d.certSha256 +
                     u"\n[General]\nNoOfAccounts=2\n"_s));
    QCOMPARE(rig.accounts[0]->m_AccountName, rig.accounts[1]->m_AccountName);
    QCOMPARE(rig.accounts[0]->m_PopServer, rig.accounts[1]->m_PopServer);
    // The first save moves both passwords into the keyring.
    SaveAccounts(rig.accounts);
    QVERIFY(passwordsSettled());
    QVERIFY(rig.restart());
    QVERIFY(rig.accounts[0]->PasswordPending() && rig.accounts[1]->PasswordPending());
    // The options: a new password for the first account only.
    rig.accounts[0]->m_Password = d.password(user);
    SaveAccounts(rig.accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(rig.accounts[0]->KeyringKey()), d.password(user));
    QCOMPARE(keyringLookup(rig.accounts[1]->KeyringKey()), d.pop3sPassword(user));

    QVERIFY(rig.restart());
    QVERIFY(d.deliver(user, {message(u"both"_s)}));
    QVERIFY(rig.check());
    QVERIFY2(rig.errorText.isEmpty(), qPrintable(rig.errorText));
    // The one message, stored once for each account.
    QCOMPARE(rig.newMessages.size(), 2);
    QCOMPARE(rig.accounts[0]->m_Password, d.password(user));
    QCOMPARE(rig.accounts[1]->m_Password, d.pop3sPassword(user));
}

QTEST_MAIN(tst_KeyringCheck)
#include "tst_KeyringCheck.moc"
