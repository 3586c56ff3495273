#include "core/mail/Account.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::test::DovecotFixture;
using orvella::test::E2eProgram;

namespace {

// A session bus as a stopped or wedged dbus-daemon is one: it takes every
// connection and never says a word.
class SilentBus : public QObject
{
public:
    explicit SilentBus(const QString& path)
    {
        m_server.listen(path);
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* s = m_server.nextPendingConnection())
                m_taken.emplace_back(s);
        });
    }
    bool listening() const { return m_server.isListening(); }
    QString address() const { return u"unix:path="_s + m_server.fullServerName(); }
    size_t connectionsTaken() const { return m_taken.size(); }

private:
    QLocalServer m_server;
    std::vector<std::unique_ptr<QLocalSocket>> m_taken;
};

QByteArray message(int n)
{
    const QByteArray num = QByteArray::number(n);
    return "Message-ID: <" + num +
           ".silentbus@e2e.test>\r\nFrom: Ann Example <ann@example.test>\r\n"
           "To: silentbus1@example.test\r\nSubject: Test message " +
           num + "\r\nDate: Tue, 10 Mar 2026 10:00:00 +0000\r\n\r\nHello, this is message " + num + ".\r\n";
}

} // namespace

// The real program on a real X server whose session bus takes connections and
// never answers. Qt's accessibility bridge and the desktop notifications
// would each wait on that bus for good; the program instead leaves the bus
// alone, checks the private Dovecot as usual and says on the Error page why
// notifications and the keyring are missing.
class tst_SilentSessionBus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstCheckRunsWithoutTheBus();
};

void tst_SilentSessionBus::firstCheckRunsWithoutTheBus()
{
    QString error;
    const auto d = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(d, qPrintable(error));
    const QString user = u"silentbus1"_s;
    QVERIFY(d->clear(user));
    QVERIFY(d->deliver(user, {message(1), message(2)}));

    QTemporaryDir busDir;
    SilentBus bus(busDir.filePath(u"bus"_s));
    QVERIFY(bus.listening());

    E2eProgram program;
    // A window system whose accessibility bridge reaches for the bus with the first window.
    program.runner().setEnv(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    program.runner().setEnv(u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address());
    QVERIFY(program.writeSettings(
        "[Account]\r\nUserName=Tester\r\nConnectionType=2\r\nPOPServer=" + d->host.toLatin1() +
        "\r\nAccountName=" + user.toLatin1() +
        "\r\nPassword=" + Account::Scramble(d->password(user)).toLatin1() +
        "\r\nCheckInterval=60\r\nPort=" + QByteArray::number(d->pop3Port) +
        "\r\nSecurity=None\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\nShowTips=No\r\n"
        "[Character]\r\nBehavior=3\r\n"));

    QVERIFY2(program.start(), qPrintable(program.output()));
    QVERIFY2(program.checkNow(),
             qPrintable(program.traced(u"status"_s).join(u" | "_s) + u'\n' + program.output()));
    QCOMPARE(program.storedMessages().size(), 2);
    QVERIFY(bus.connectionsTaken() >= 1);
    const QStringList errors = program.checkErrors();
    QVERIFY2(errors.size() == 1 && errors.first().contains(bus.address()) &&
                 errors.first().contains(u"did not answer"_s) && errors.first().contains(u"no keyring"_s),
             qPrintable(errors.join(u'\n')));
    QVERIFY2(program.exit(), qPrintable(program.output()));
}

QTEST_GUILESS_MAIN(tst_SilentSessionBus)
#include "tst_SilentSessionBus.moc"
