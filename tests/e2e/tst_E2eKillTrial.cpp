#include "core/mail/Account.h"
#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "platform/ProfileFile.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <signal.h>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::MailMessage;
using orvella::test::DovecotFixture;
using orvella::test::E2eProgram;

namespace {

QByteArray message(int n)
{
    const QByteArray num = QByteArray::number(n);
    return "Message-ID: <" + num +
           ".kill@e2e.test>\r\nFrom: Ann Example <ann@example.test>\r\n"
           "To: killtrial@example.test\r\nSubject: Trial " +
           num + " end\r\nDate: Tue, 10 Mar 2026 10:00:00 +0000\r\n\r\nBody of message " + num + ".\r\n";
}

} // namespace

// The real program killed with SIGKILL at random moments: while checks store
// new messages, while new mail is read aloud and while Exit saves, started
// again each time. In the end every message is stored exactly once, read
// aloud at most once, and every file the program keeps reads back whole.
class tst_E2eKillTrial : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void killedAnyMomentStoresEachMessageOnce();

private:
    std::optional<DovecotFixture> m_dovecot;
};

void tst_E2eKillTrial::initTestCase()
{
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
}

void tst_E2eKillTrial::killedAnyMomentStoresEachMessageOnce()
{
    const DovecotFixture& d = *m_dovecot;
    const QString user = u"killtrial"_s;
    QVERIFY(d.clear(user));
    E2eProgram program;
    QVERIFY(program.writeSettings(
        "[Account]\r\nConnectionType=2\r\nPOPServer=" + d.host.toLatin1() + "\r\nAccountName=" +
        user.toLatin1() + "\r\nPassword=" + Account::Scramble(d.password(user)).toLatin1() +
        "\r\nPort=" + QByteArray::number(d.pop3Port) +
        "\r\nSecurity=None\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\nShowTips=No\r\nSayFirstLine=No\r\n"
        "[Character]\r\nWelcomeGesture=None\r\n"));

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qInfo("seed %u", seed);
    const int rounds = 18, batch = 60;
    int delivered = 0;
    auto statusCount = [&](const QString& prefix) {
        const QStringList statuses = program.traced(u"status"_s);
        return std::count_if(statuses.begin(), statuses.end(),
                             [&](const QString& s) { return s.startsWith(prefix); });
    };
    for (int round = 0; round < rounds; ++round) {
        QList<QByteArray> mail;
        for (int i = 0; i < batch; ++i)
            mail << message(++delivered);
        QVERIFY(d.deliver(user, mail));
        QVERIFY2(program.start(), qPrintable(program.output()));
        QProcess& process = program.runner().process();
        switch (round % 3) {
        case 0: {
            // While the messages are stored: a few milliseconds into the download.
            const auto downloads = statusCount(u"Downloading messages from"_s);
            QCOMPARE(program.runner().runSecond({u"--check-now"_s}), 0);
            QTest::qWaitFor([&] { return statusCount(u"Downloading messages from"_s) > downloads; }, 10000);
            QTest::qWait(int(random.bounded(120)));
            break;
        }
        case 1:
            // Anywhere in the check or the reading after it.
            QCOMPARE(program.runner().runSecond({u"--check-now"_s}), 0);
            QTest::qWait(300 + int(random.bounded(2000)));
            break;
        default:
            // While Exit saves: the check runs to its end, then Exit is cut short.
            QVERIFY(program.checkNow());
            QCOMPARE(program.runner().runSecond({u"--exit"_s}), 0);
            QTest::qWait(int(random.bounded(60)));
            break;
        }
        if (process.state() != QProcess::NotRunning) {
            ::kill(pid_t(process.processId()), SIGKILL);
            QVERIFY(process.waitForFinished(10000));
        }
    }

    // A last, quiet run fetches whatever the kills left on the server.
    QVERIFY2(program.start(), qPrintable(program.output()));
    QVERIFY(program.checkNow());
    QVERIFY2(program.exit(), qPrintable(program.output()));
    const QString info = u"seed %1"_s.arg(seed);

    QSet<QString> expected;
    for (int n = 1; n <= delivered; ++n)
        expected << u"<%1.kill@e2e.test>"_s.arg(n);

    // Every message file reads back whole; each message is there once.
    orvella::Program().AppPath = program.runner().appPath();
    QStringList storedIds;
    for (const QString& name : program.storedMessages()) {
        MailMessage m;
        QVERIFY2(m.Load(program.file(u"msg/"_s + name)), qPrintable(name + u" is damaged; "_s + info));
        storedIds << m.m_ID;
    }
    QCOMPARE(storedIds.size(), delivered);
    QCOMPARE(QSet<QString>(storedIds.begin(), storedIds.end()), expected);

    // The identifiers name each message once; no journal is left over.
    const QStringList ids = program.identifiers();
    QCOMPARE(ids.size(), delivered);
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()), expected);
    QVERIFY(!QFile::exists(program.file(u"Account.DAT.journal"_s)));
    QCOMPARE(program.setting(u"Account"_s, u"NoOfMessages"_s), QString::number(delivered));
    QCOMPARE(program.setting(u"Account"_s, u"ConnectionType"_s), u"2"_s);

    // Read aloud at most once: no subject was begun twice.
    QHash<QString, int> spoken;
    for (const QString& text : program.traced(u"speak"_s)) {
        const qsizetype at = text.indexOf(u"Trial "_s);
        if (at >= 0) ++spoken[text.mid(at, text.indexOf(u" end"_s, at) - at)];
    }
    for (auto it = spoken.cbegin(); it != spoken.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key() + u" spoken %1 times; "_s.arg(it.value()) + info));
}

QTEST_GUILESS_MAIN(tst_E2eKillTrial)
#include "tst_E2eKillTrial.moc"
