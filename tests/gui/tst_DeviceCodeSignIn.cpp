// The sign-in with a code on another device, as the accounts' sign-in row
// runs it against the fake sign-in service: the code shown in its window and
// said by the character; approved on "the other device", the row is signed
// in and the window gone; declined or cancelled, the row says so and the
// service is asked nothing more.
#include "gui/signin/DeviceCodeDialog.h"
#include "gui/signin/SignInRow.h"
#include "support/FakeOAuthServer.h"
#include "support/Widgets.h"

#include <QApplication>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

class tst_DeviceCodeSignIn : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void codeOnAnotherDevice_data();
    void codeOnAnotherDevice();

private:
    FakeOAuthServer m_server;
};

void tst_DeviceCodeSignIn::initTestCase()
{
    QString error;
    QVERIFY2(m_server.start({}, &error), qPrintable(error));
}

void tst_DeviceCodeSignIn::codeOnAnotherDevice_data()
{
    QTest::addColumn<QString>("action"); // at the other device: approve, deny, or none (Cancel here)
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("status"); // what the row then says
    QTest::newRow("approved") << u"approve"_s << true << u"Signed in."_s;
    QTest::newRow("declined") << u"deny"_s << false << u"declined"_s;
    QTest::newRow("cancelled here") << QString() << false << u"Sign-in cancelled."_s;
}

void tst_DeviceCodeSignIn::codeOnAnotherDevice()
{
    QFETCH(QString, action);
    QFETCH(bool, signedIn);
    QFETCH(QString, status);

    QWidget window;
    auto* row = new SignInRow({u"Sign &in…"_s, u"Use a co&de instead…"_s}, &window);
    QStringList said;
    row->say = [&](const QString& text) { said << text; };
    row->setKind(Account::SignIn::Microsoft);
    window.show();
    QSignalSpy secrets(row, &SignInRow::signedIn);

    auto* useCode = child<QPushButton>(&window, u"cmdSignInCode"_s);
    QVERIFY(useCode->isEnabled());
    useCode->click();
    DeviceCodeDialog* dialog = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((dialog = window.findChild<DeviceCodeDialog*>()) != nullptr, 10000);
    auto* code = child<QLabel>(dialog, u"lblDeviceCode"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!code->text().isEmpty(), 20000);
    const QString userCode = code->text().trimmed();
    // Said letter by letter, so each one is heard.
    QCOMPARE(said.size(), 1);
    QVERIFY2(said.first().startsWith(u"Your code is "_s + userCode.front() + u' '), qPrintable(said.first()));
    QVERIFY2(
        child<QLabel>(dialog, u"lblDeviceAddress"_s)->text().contains(m_server.authority() + u"/device"_s),
        qPrintable(child<QLabel>(dialog, u"lblDeviceAddress"_s)->text()));

    const int before = m_server.call("GET", u"/control/state"_s)
                           .value(u"token_requests"_s)
                           .toObject()
                           .value(u"urn:ietf:params:oauth:grant-type:device_code"_s)
                           .toInt();
    if (action.isEmpty())
        child<QPushButton>(dialog, u"cmdCancel"_s)->click();
    else
        QCOMPARE(m_server.visit(QUrl(m_server.authority() + u"/device?user_code="_s +
                                     QString::fromLatin1(QUrl::toPercentEncoding(userCode)) + u"&action="_s +
                                     action)),
                 200);

    auto* label = child<QLabel>(&window, u"lblSignInStatus"_s);
    QTRY_VERIFY2_WITH_TIMEOUT(label->text().contains(status, Qt::CaseInsensitive), qPrintable(label->text()),
                              30000);
    QCOMPARE(secrets.size(), signedIn ? 1 : 0);
    QTRY_VERIFY_WITH_TIMEOUT(window.findChild<DeviceCodeDialog*>() == nullptr, 10000);
    // Ended: the service is polled no more.
    const auto polls = [&] {
        return m_server.call("GET", u"/control/state"_s)
            .value(u"token_requests"_s)
            .toObject()
            .value(u"urn:ietf:params:oauth:grant-type:device_code"_s)
            .toInt();
    };
    const int after = polls();
    QTest::qWait(6000);
    QCOMPARE(polls(), after);
    if (action.isEmpty()) QCOMPARE(after, before);
    if (signedIn) QVERIFY(!secrets.first().first().toString().isEmpty());
}

QTEST_MAIN(tst_DeviceCodeSignIn)
#include "tst_DeviceCodeSignIn.moc"
