#include "platform/BusProbe.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using orvella::platform::BusProbe;
using Kind = BusProbe::Endpoint::Kind;
using Outcome = BusProbe::Outcome;

Q_DECLARE_METATYPE(BusProbe::Outcome)

namespace {

// A listener that takes one connection and hangs up at once, on a thread of
// its own (the probe blocks the test's thread while it waits).
class HangsUp
{
public:
    explicit HangsUp(const QString& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un un{};
        un.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        qstrncpy(un.sun_path, p.constData(), sizeof un.sun_path);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&un), sizeof un);
        ::listen(m_fd, 4);
        m_thread = std::thread([fd = m_fd] {
            const int c = ::accept(fd, nullptr, nullptr);
            if (c >= 0) ::close(c);
        });
    }
    ~HangsUp()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }

private:
    int m_fd = -1;
    std::thread m_thread;
};

} // namespace

// The probe that keeps a silent message bus from hanging the start: the
// addresses it reads, and what it makes of a real bus, of none, of a silent
// one and of one that hangs up. Runs on a private session bus (a real
// dbus-daemon).
class tst_BusProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void parseAddress_data();
    void parseAddress();
    void probe_data();
    void probe();
    void silentSessionBusIsLeftAlone();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QLocalServer> m_silent;
    QString m_realBus;
};

void tst_BusProbe::initTestCase()
{
    m_realBus = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY2(m_realBus.contains(u"unix:"_s), qPrintable(m_realBus));
    // Connections queue up in the backlog: nobody ever answers them.
    m_silent = std::make_unique<QLocalServer>();
    QVERIFY(m_silent->listen(m_dir.filePath(u"silent"_s)));
}

void tst_BusProbe::parseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("endpoints"); // "<kind> <path or host:port>"
    QTest::addColumn<bool>("unsupported");
    QTest::newRow("path") << u"unix:path=/run/user/1000/bus"_s << QStringList{u"path /run/user/1000/bus"_s}
                          << false;
    QTest::newRow("path, escaped, with a guid") << u"unix:path=/tmp/my%20bus%2cx,guid=0123456789abcdef"_s
                                                << QStringList{u"path /tmp/my bus,x"_s} << false;
    QTest::newRow("abstract") << u"unix:abstract=/tmp/dbus-Xq9Z,guid=ab"_s
                              << QStringList{u"abstract /tmp/dbus-Xq9Z"_s} << false;
    QTest::newRow("tcp") << u"tcp:host=127.0.0.1,port=4000,family=ipv4"_s
                         << QStringList{u"tcp 127.0.0.1:4000"_s} << false;
    QTest::newRow("tcp without a host")
        << u"tcp:port=4000"_s << QStringList{u"tcp localhost:4000"_s} << false;
    QTest::newRow("several, in order") << u"autolaunch:;unix:abstract=a;unix:path=/b"_s
                                       << QStringList{u"abstract a"_s, u"path /b"_s} << true;
    QTest::newRow("a server's form") << u"unix:tmpdir=/tmp"_s << QStringList{} << true;
    QTest::newRow("tcp without a port") << u"tcp:host=localhost"_s << QStringList{} << true;
    QTest::newRow("tcp port out of range") << u"tcp:host=localhost,port=70000"_s << QStringList{} << true;
    QTest::newRow("garbage") << u"no colon at all"_s << QStringList{} << true;
    QTest::newRow("empty") << QString() << QStringList{} << false;
}

void tst_BusProbe::parseAddress()
{
    QFETCH(QString, address);
    bool unsupported = false;
    QStringList found;
    for (const BusProbe::Endpoint& e : BusProbe::parseAddress(address, &unsupported)) {
        if (e.kind == Kind::Tcp)
            found << u"tcp "_s + QString::fromUtf8(e.host) + u':' + QString::number(e.port);
        else
            found << (e.kind == Kind::UnixPath ? u"path "_s : u"abstract "_s) + QString::fromUtf8(e.path);
    }
    QTEST(found, "endpoints");
    QTEST(unsupported, "unsupported");
}

void tst_BusProbe::probe_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<Outcome>("outcome");
    const QString silent = u"unix:path="_s + m_dir.filePath(u"silent"_s);
    QTest::newRow("a real bus") << m_realBus << Outcome::Answered;
    QTest::newRow("nothing there") << u"unix:path="_s + m_dir.filePath(u"nobody"_s) << Outcome::NoBus;
    QTest::newRow("a closed port") << u"tcp:host=127.0.0.1,port=1"_s << Outcome::NoBus;
    QTest::newRow("silent") << silent << Outcome::Silent;
    QTest::newRow("silent, after one that is not there")
        << u"unix:path=/nonexistent/bus;"_s + silent << Outcome::Silent;
    QTest::newRow("real, before a silent one") << m_realBus + u';' + silent << Outcome::Answered;
    QTest::newRow("only a form not probed") << u"autolaunch:"_s << Outcome::NotProbed;
    QTest::newRow("the address that takes a bus away")
        << QString::fromLatin1(BusProbe::UnreachableAddress) << Outcome::NoBus;
    QTest::newRow("hangs up at once") << u"unix:path="_s + m_dir.filePath(u"hangsup"_s) << Outcome::NoBus;
}

void tst_BusProbe::probe()
{
    QFETCH(QString, address);
    QFETCH(Outcome, outcome);
    std::unique_ptr<HangsUp> hangsUp;
    if (address.endsWith(u"hangsup"_s)) hangsUp = std::make_unique<HangsUp>(m_dir.filePath(u"hangsup"_s));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(BusProbe::probe(address, 500), outcome);
    // Never much past its deadline (the margin is for a loaded machine).
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
}

// The silent session bus is taken out of the process's reach, with a notice
// that names it; a bus that answers is left as it is.
void tst_BusProbe::silentSessionBusIsLeftAlone()
{
    const QString silent = u"unix:path="_s + m_dir.filePath(u"silent"_s);
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_realBus.toUtf8());
    QCOMPARE(BusProbe::keepSilentBusesAway(500), QString());
    QCOMPARE(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), m_realBus);

    qputenv("DBUS_SESSION_BUS_ADDRESS", silent.toUtf8());
    const QString notice = BusProbe::keepSilentBusesAway(500);
    QVERIFY2(notice.contains(silent) && notice.contains(u"session bus"_s), qPrintable(notice));
    QVERIFY(!notice.contains(u"system bus"_s));
    QCOMPARE(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"),
             QString::fromLatin1(BusProbe::UnreachableAddress));
    QCOMPARE(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), u"unix:path=/nonexistent/system_bus_socket"_s);

    // The system bus alike.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_realBus.toUtf8());
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", silent.toUtf8());
    const QString systemNotice = BusProbe::keepSilentBusesAway(500);
    QVERIFY2(systemNotice.contains(u"system bus"_s) && !systemNotice.contains(u"session bus"_s),
             qPrintable(systemNotice));
    QCOMPARE(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"),
             QString::fromLatin1(BusProbe::UnreachableAddress));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_realBus.toUtf8());
}

QTEST_GUILESS_MAIN(tst_BusProbe)
#include "tst_BusProbe.moc"
