#include "platform/accounts/AccountDetection.h"
#include "platform/accounts/ClawsAccounts.h"
#include "platform/accounts/EvolutionAccounts.h"
#include "platform/accounts/FetchmailAccounts.h"
#include "platform/accounts/KMailAccounts.h"
#include "platform/accounts/ThunderbirdAccounts.h"
#include "platform/accounts/WineRegistry.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::platform::FoundAccount;

Q_DECLARE_METATYPE(QList<FoundAccount>)

namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(ORVELLA_TEST_DATA_DIR) + u"/accounts/"_s + name;
}

orvella::AccountSources sourcesIn(const QString& name)
{
    orvella::AccountSources s;
    s.home = fixture(name);
    s.configHome = s.home + u"/.config"_s;
    s.wineRegistryFile = s.home + u"/.wine/user.reg"_s;
    return s;
}

} // namespace

namespace QTest {
template <> char* toString(const FoundAccount& a)
{
    return qstrdup(QString(u'{' + a.server + u" / "_s + a.user + u'}').toUtf8().constData());
}
} // namespace QTest

class tst_AccountDetection : public QObject
{
    Q_OBJECT
private slots:
    void readers_data();
    void readers();
    void fetchmailGrammar_data();
    void fetchmailGrammar();
    void wineValues_data();
    void wineValues();
    void detection_data();
    void detection();
    void detectionKeepsFieldsWhenNothingFound();
};

void tst_AccountDetection::readers_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QList<FoundAccount>>("expected");

    // The install's default profile first; there the default account (IMAP,
    // skipped), then the account manager's order; a quote in a user name is unescaped.
    QTest::newRow("thunderbird profiles and account order")
        << u"thunderbird"_s << u"thunderbird"_s
        << QList<FoundAccount>{{u"pop.example.org"_s, u"anna.k"_s},
                               {u"pop.second.example"_s, u"second\"user"_s},
                               {u"pop.old-profile.example"_s, u"old"_s}};
    QTest::newRow("thunderbird with IMAP only")
        << u"thunderbird"_s << u"imap-then-evolution"_s << QList<FoundAccount>{};
    // IMAP and disabled sources skipped; "\s" in a key file value is a blank.
    QTest::newRow("evolution") << u"evolution"_s << u"imap-then-evolution"_s
                               << QList<FoundAccount>{{u"pop.home.example"_s, u"anna home"_s}};
    // Resource 2 before resource 10; the IMAP resource is not read.
    QTest::newRow("kmail resource order") << u"kmail"_s << u"kmail"_s
                                          << QList<FoundAccount>{{u"pop2.example.com"_s, u"kmail-user"_s},
                                                                 {u"pop10.example.com"_s, u"user10"_s}};
    QTest::newRow("claws default POP account")
        << u"claws"_s << u"claws"_s << QList<FoundAccount>{{u"pop.home.example"_s, u"anna.home"_s}};
    QTest::newRow("claws under XDG config, APOP")
        << u"claws"_s << u"claws-xdg"_s << QList<FoundAccount>{{u"pop.apop.example"_s, u"apop-user"_s}};
    // IMAP entry skipped, the label's real host taken from "via", a password
    // that reads "user" not taken for the keyword, a skipped entry left out,
    // and the defaults' protocol applied to an entry without one.
    QTest::newRow("fetchmail") << u"fetchmail"_s << u"fetchmail"_s
                               << QList<FoundAccount>{{u"pop.isp.example"_s, u"joe.isp"_s},
                                                      {u"pop.nouser.example"_s, QString()}};
    QTest::newRow("no files at all") << u"all"_s << u"empty"_s << QList<FoundAccount>{};
}

void tst_AccountDetection::readers()
{
    QFETCH(QString, reader);
    QFETCH(QString, home);
    QFETCH(QList<FoundAccount>, expected);
    using namespace orvella::platform;
    const QString root = fixture(home);
    const QString config = root + u"/.config"_s;
    QList<FoundAccount> got;
    if (reader == u"thunderbird"_s)
        got = readThunderbirdAccounts(root);
    else if (reader == u"evolution"_s)
        got = readEvolutionAccounts(config);
    else if (reader == u"kmail"_s)
        got = readKMailAccounts(config);
    else if (reader == u"claws"_s)
        got = readClawsAccounts(root, config);
    else if (reader == u"fetchmail"_s)
        got = readFetchmailAccounts(root);
    else
        got = readThunderbirdAccounts(root) + readEvolutionAccounts(config) + readKMailAccounts(config) +
              readClawsAccounts(root, config) + readFetchmailAccounts(root);
    QCOMPARE(got, expected);
}

void tst_AccountDetection::fetchmailGrammar_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<FoundAccount>>("expected");
    QTest::newRow("one line") << u"poll pop.a.example proto pop3 user joe\n"_s
                              << QList<FoundAccount>{{u"pop.a.example"_s, u"joe"_s}};
    QTest::newRow("server keyword, quoted user with escape")
        << u"server pop.b.example protocol apop username \"j\\\"q\"\n"_s
        << QList<FoundAccount>{{u"pop.b.example"_s, u"j\"q"_s}};
    QTest::newRow("comment hides an entry")
        << u"# poll pop.c.example proto pop3 user c\n"_s << QList<FoundAccount>{};
    QTest::newRow("no protocol is not POP") << u"poll pop.d.example user d\n"_s << QList<FoundAccount>{};
    QTest::newRow("defaults user") << u"defaults proto pop3 user dflt\npoll pop.e.example\n"_s
                                   << QList<FoundAccount>{{u"pop.e.example"_s, u"dflt"_s}};
    QTest::newRow("first of several users")
        << u"poll pop.f.example proto pop3 user one is a here user two is b here\n"_s
        << QList<FoundAccount>{{u"pop.f.example"_s, u"one"_s}};
    QTest::newRow("unterminated quote") << u"poll pop.g.example proto pop3 user \"broken"_s
                                        << QList<FoundAccount>{{u"pop.g.example"_s, u"broken"_s}};
    QTest::newRow("keyword without argument at the end") << u"poll"_s << QList<FoundAccount>{};
}

void tst_AccountDetection::fetchmailGrammar()
{
    QFETCH(QString, text);
    QFETCH(QList<FoundAccount>, expected);
    QCOMPARE(orvella::platform::fetchmailAccountsFromText(text), expected);
}

void tst_AccountDetection::wineValues_data()
{
    QTest::addColumn<QString>("valueLine");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << uR"("V"="pop.example")"_s << true << u"pop.example"_s;
    QTest::newRow("escaped backslash and quote") << uR"("V"="a\\b\"c")"_s << true << u"a\\b\"c"_s;
    QTest::newRow("hex escape") << uR"("V"="caf\x00e9")"_s << true << u"caf\u00e9"_s;
    QTest::newRow("short hex escape") << uR"("V"="\x41!")"_s << true << u"A!"_s;
    QTest::newRow("expandable string") << uR"("V"=str(2):"%HOME%\\x")"_s << true << u"%HOME%\\x"_s;
    QTest::newRow("hex(1) UTF-16 text") << uR"("V"=hex(1):70,00,6f,00,70,00,00,00)"_s << true << u"pop"_s;
    QTest::newRow("number is not text") << uR"("V"=dword:0000006e)"_s << false << QString();
    QTest::newRow("text up to NUL") << uR"("V"="ab\0cd")"_s << true << u"ab"_s;
    QTest::newRow("254 characters fit")
        << u"\"V\"=\""_s + QString(254, u'x') + u'"' << true << QString(254, u'x');
    QTest::newRow("255 characters do not fit")
        << u"\"V\"=\""_s + QString(255, u'x') + u'"' << false << QString();
    QTest::newRow("value name in another case") << uR"("v"="lower")"_s << true << u"lower"_s;
    QTest::newRow("garbage line") << uR"(V=="=)"_s << false << QString();
}

void tst_AccountDetection::wineValues()
{
    QFETCH(QString, valueLine);
    QFETCH(bool, readable);
    QFETCH(QString, expected);
    orvella::platform::WineRegistry reg;
    reg.parse(u"WINE REGISTRY Version 2\n\n[Software\\\\Test\\\\Key] 1700000000\n#time=1\n"_s + valueLine +
              u"\n"_s);
    QVERIFY(reg.hasKey(u"software\\TEST\\key"_s));
    QVERIFY(reg.hasKey(u"Software\\Test"_s)); // a key above one that is written exists too
    QVERIFY(!reg.hasKey(u"Software\\Test\\Other"_s));
    const auto value = reg.readString(u"Software\\Test\\Key"_s, u"V"_s);
    QCOMPARE(value.has_value(), readable);
    if (readable) QCOMPARE(*value, expected);
}

void tst_AccountDetection::detection_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("found");

    QTest::newRow("thunderbird first") << u"thunderbird"_s << u"pop.example.org"_s << u"anna.k"_s << true;
    QTest::newRow("evolution after thunderbird found nothing")
        << u"imap-then-evolution"_s << u"pop.home.example"_s << u"anna home"_s << true;
    QTest::newRow("kmail") << u"kmail"_s << u"pop2.example.com"_s << u"kmail-user"_s << true;
    QTest::newRow("claws") << u"claws"_s << u"pop.home.example"_s << u"anna.home"_s << true;
    QTest::newRow("fetchmail") << u"fetchmail"_s << u"pop.isp.example"_s << u"joe.isp"_s << true;
    // Decimal numbers 0 to 20 (00000020 is IMAP) miss; 0000000a is found before 0000000b.
    QTest::newRow("outlook express 0000000a after the decimals")
        << u"wine-oe"_s << u"pop.oe.example"_s << u"oe\\user"_s << true;
    // Account 0 under no version lacks a user name; account 0 of Office 8.0
    // comes before account 1 of any version.
    QTest::newRow("outlook order: number, then version")
        << u"wine-outlook"_s << u"pop.office8.example"_s << u"office8"_s << true;
    // The server of a try without a user name stays; a number where text
    // belongs is a failed read, so the later try misses.
    QTest::newRow("server without user stays")
        << u"wine-partial"_s << u"pop.nouser.example"_s << u"unchanged"_s << false;
    QTest::newRow("netscape") << u"wine-netscape"_s << u"pop.netscape.example"_s << u"nsuser"_s << true;
}

void tst_AccountDetection::detection()
{
    QFETCH(QString, home);
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(bool, found);
    QString gotServer = u"unchanged"_s, gotUser = u"unchanged"_s;
    QCOMPARE(orvella::DetectAccountFrom(sourcesIn(home), gotServer, gotUser), found);
    QCOMPARE(gotServer, server);
    QCOMPARE(gotUser, user);
}

void tst_AccountDetection::detectionKeepsFieldsWhenNothingFound()
{
    QString server = u"mine.example"_s, user = u"me"_s;
    QVERIFY(!orvella::DetectAccountFrom(sourcesIn(u"empty"_s), server, user));
    QCOMPARE(server, u"mine.example"_s);
    QCOMPARE(user, u"me"_s);
}

QTEST_GUILESS_MAIN(tst_AccountDetection)
#include "tst_AccountDetection.moc"
