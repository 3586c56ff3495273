// The PKCE values of the OAuth2 sign-in: the S256 challenge against the
// RFC 7636 example, and the form and freshness of verifiers and states.
#include "core/oauth/Pkce.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace orvella::oauth;
using namespace Qt::Literals::StringLiterals;

class tst_Pkce : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void challenge_data();
    void challenge();
    void freshValues_data();
    void freshValues();
};

void tst_Pkce::challenge_data()
{
    QTest::addColumn<QString>("verifier");
    QTest::addColumn<QString>("challenge");
    // RFC 7636 Appendix B.
    QTest::newRow("RFC 7636 example") << u"dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"_s
                                      << u"E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"_s;
    // Plain base64 writes SHA-256("a") with '/' and a trailing '='.
    QTest::newRow("url alphabet, no padding") << u"a"_s << u"ypeBEsobvcr6wjGzmiPcTaeG7_gUfE5yuYB3ha_uSLs"_s;
}

void tst_Pkce::challenge()
{
    QFETCH(QString, verifier);
    QFETCH(QString, challenge);
    QCOMPARE(challengeS256(verifier), challenge);
}

void tst_Pkce::freshValues_data()
{
    QTest::addColumn<bool>("state");
    QTest::newRow("verifier") << false;
    QTest::newRow("state") << true;
}

void tst_Pkce::freshValues()
{
    QFETCH(bool, state);
    // RFC 7636 4.1: 43 to 128 unreserved characters; 32 bytes make 43.
    static const QRegularExpression form(u"^[A-Za-z0-9._~-]{43}$"_s);
    QSet<QString> seen;
    for (int i = 0; i < 20; ++i) {
        const QString value = state ? makeState() : makeVerifier();
        QVERIFY2(form.match(value).hasMatch(), qPrintable(value));
        seen.insert(value);
    }
    // Random every time: no two alike.
    QCOMPARE(seen.size(), 20);
}

QTEST_GUILESS_MAIN(tst_Pkce)
#include "tst_Pkce.moc"
