// Signing in with a code entered on another device, against the fake
// sign-in service: the code shown to the user, polling through pending and
// slow-down answers to approval, and the code expiring (as the service says
// and by the program's own clock) or being declined. A second of the
// service's lasts 20 ms here.
#include "core/oauth/OAuthDeviceSignIn.h"
#include "support/FakeOAuthServer.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella::oauth;
using orvella::test::FakeOAuthServer;

namespace {

constexpr std::chrono::milliseconds Unit{20};
const QString DeviceGrant = u"urn:ietf:params:oauth:grant-type:device_code"_s;

// The times (seconds) of the device-code polls in the fake's log.
QList<double> pollTimes(const QByteArray& log)
{
    QList<double> times;
    for (const QByteArray& line : log.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(u"path"_s).toString() == u"/ms/token" &&
            o.value(u"params"_s).toObject().value(u"grant_type"_s).toString() == DeviceGrant)
            times << o.value(u"time"_s).toDouble();
    }
    return times;
}

} // namespace

class tst_OAuthDeviceSignIn : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void deviceFlow_data();
    void deviceFlow();
    void cancelStopsPolling();

private:
    std::unique_ptr<FakeOAuthServer> m_server;
};

void tst_OAuthDeviceSignIn::init()
{
    m_server = std::make_unique<FakeOAuthServer>();
    QString error;
    QVERIFY2(m_server->start({}, &error), qPrintable(error));
}

void tst_OAuthDeviceSignIn::cleanup()
{
    m_server.reset();
}

void tst_OAuthDeviceSignIn::deviceFlow_data()
{
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("slowDown");
    QTest::addColumn<bool>("expire");
    QTest::addColumn<int>("expiresIn");
    QTest::addColumn<QString>("action");  // what the user does at the code's page
    QTest::addColumn<QString>("failure"); // empty: signed in
    QTest::addColumn<int>("polls");       // at least
    QTest::addColumn<int>("outages");     // token requests answered 503 first

    const QString expired = u"The code expired before it was entered. Start the sign-in again."_s;
    QTest::newRow("approved at once") << 0 << 0 << false << 900 << u"approve"_s << QString() << 1 << 0;
    QTest::newRow("approved after pending answers")
        << 3 << 0 << false << 900 << u"approve"_s << QString() << 4 << 0;
    QTest::newRow("told to slow down") << 1 << 2 << false << 900 << u"approve"_s << QString() << 4 << 0;
    QTest::newRow("service in trouble for a while")
        << 1 << 0 << false << 900 << u"approve"_s << QString() << 4 << 2;
    QTest::newRow("service says expired") << 2 << 0 << true << 900 << QString() << expired << 3 << 0;
    QTest::newRow("expired by our clock") << 1000 << 0 << false << 12 << QString() << expired << 1 << 0;
    QTest::newRow("declined") << 1 << 0 << false << 900 << u"deny"_s << u"The sign-in was declined."_s << 1
                              << 0;
}

void tst_OAuthDeviceSignIn::deviceFlow()
{
    QFETCH(int, pending);
    QFETCH(int, slowDown);
    QFETCH(bool, expire);
    QFETCH(int, expiresIn);
    QFETCH(QString, action);
    QFETCH(QString, failure);
    QFETCH(int, polls);
    QFETCH(int, outages);

    int status = 0;
    m_server->call("POST",
                   u"/control/device?pending=%1&slow_down=%2&expire=%3&expires_in=%4"_s.arg(pending)
                       .arg(slowDown)
                       .arg(expire ? 1 : 0)
                       .arg(expiresIn),
                   &status);
    QCOMPARE(status, 200);
    if (outages) {
        m_server->call("POST", u"/control/outage?status=503&count=%1"_s.arg(outages), &status);
        QCOMPARE(status, 200);
    }

    OAuthDeviceSignIn signIn(OAuthProvider::forProvider(Provider::Microsoft));
    signIn.setPollUnit(Unit);
    QSignalSpy code(&signIn, &OAuthDeviceSignIn::codeReady);
    QSignalSpy finished(&signIn, &OAuthDeviceSignIn::finished);
    QSignalSpy failed(&signIn, &OAuthDeviceSignIn::failed);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    signIn.start();
    QTRY_VERIFY_WITH_TIMEOUT(!code.isEmpty() || !failed.isEmpty(), 30000);
    QVERIFY2(!code.isEmpty(), qPrintable(failed.value(0).value(0).toString()));

    const QString userCode = code.at(0).at(0).toString();
    QVERIFY(!userCode.isEmpty());
    QCOMPARE(code.at(0).at(1).toUrl(), QUrl(m_server->authority() + u"/device"_s));
    const QDateTime expiresAt = code.at(0).at(2).toDateTime();
    QVERIFY(expiresAt >= before.addMSecs(expiresIn * Unit.count()));
    QVERIFY(code.at(0).at(3).toString().contains(userCode));

    if (!action.isEmpty()) {
        m_server->call("GET", u"/device?user_code=%1&action=%2"_s.arg(userCode, action), &status);
        QCOMPARE(status, 200);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() || !failed.isEmpty(), 60000);
    if (failure.isEmpty()) {
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        const auto tokens = finished.at(0).at(0).value<OAuthTokens>();
        QVERIFY(tokens.accessToken.startsWith(u"at-"));
        QVERIFY(tokens.refreshToken.startsWith(u"rt-"));
    } else {
        QVERIFY(finished.isEmpty());
        QCOMPARE(failed.at(0).at(0).toString(), failure);
    }

    const QList<double> times = pollTimes(m_server->log());
    QVERIFY2(times.size() >= polls, qPrintable(QString::number(times.size())));
    // Each slow_down adds five of the service's seconds to the wait: after
    // two, the last poll waited at least fifteen (a lower bound only: timers
    // never fire early, but a busy machine makes them late).
    if (slowDown == 2)
        QVERIFY(times.last() - times.at(times.size() - 2) >= 15 * Unit.count() / 1000.0 - 0.002);
    // Nothing more is asked once it has ended.
    QTest::qWait(20 * Unit.count());
    QCOMPARE(pollTimes(m_server->log()).size(), times.size());
}

void tst_OAuthDeviceSignIn::cancelStopsPolling()
{
    m_server->call("POST", u"/control/device?pending=1000"_s);
    OAuthDeviceSignIn signIn(OAuthProvider::forProvider(Provider::Microsoft));
    signIn.setPollUnit(Unit);
    QSignalSpy code(&signIn, &OAuthDeviceSignIn::codeReady);
    QSignalSpy finished(&signIn, &OAuthDeviceSignIn::finished);
    QSignalSpy failed(&signIn, &OAuthDeviceSignIn::failed);
    signIn.start();
    QTRY_VERIFY_WITH_TIMEOUT(pollTimes(m_server->log()).size() >= 2, 30000);
    signIn.cancel();
    const qsizetype polls = pollTimes(m_server->log()).size();
    QTest::qWait(30 * Unit.count());
    // One poll may have been on its way when cancel() came.
    QVERIFY(pollTimes(m_server->log()).size() <= polls + 1);
    QVERIFY(finished.isEmpty());
    QVERIFY(failed.isEmpty());
}

QTEST_GUILESS_MAIN(tst_OAuthDeviceSignIn)
#include "tst_OAuthDeviceSignIn.moc"
