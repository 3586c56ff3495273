#include "core/mail/Accounts.h"
#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "platform/ProfileFile.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::AccountList;
using orvella::test::ProgramFolder;
using orvella::test::readText;
using orvella::test::writeFile;
using orvella::test::writeProfile;

class tst_Account : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scramble_data();
    void scramble();
    void scrambleRoundTripsEveryCharacter();
    void unscrambleGarbage_data();
    void unscrambleGarbage();

    void addMessageID();
    void identifierFileRoundTrip();
    void identifierFileReading_data();
    void identifierFileReading();
    void emptySetDeletesFile();
    void rebuildDropsDuplicates();

    void loadDefaults();
    void loadAccounts_data();
    void loadAccounts();
    void saveWritesKeysInOrder();
    void choiceValues_data();
    void choiceValues();
    void releaseWritesCountersAndIdentifiers();
    void unloadedAccountWritesNothing();
    void renumberingAfterRemoval();
    void journalAfterCrash();
    void emptyServerRunsDetection_data();
    void emptyServerRunsDetection();

private:
    QString iniPath() const { return m_folder->iniPath(); }
    QString ini(const QString& section, const QString& key) const
    {
        return orvella::platform::ProfileFile(iniPath()).read(section, key, u"<absent>"_s);
    }

    std::unique_ptr<ProgramFolder> m_folder;
    QTemporaryDir m_emptyHome;
};

void tst_Account::initTestCase()
{
    // Loading an account without server runs detection; it must look at an
    // empty home, not at the machine's real mail programs.
    qputenv("HOME", m_emptyHome.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_emptyHome.path() + u"/.config"_s).toUtf8());
    qunsetenv("WINEPREFIX");
}

void tst_Account::init()
{
    m_folder = std::make_unique<ProgramFolder>();
    m_folder->adopt();
}

void tst_Account::cleanup()
{
    m_folder.reset();
    orvella::Program().AppPath.clear();
}

void tst_Account::scramble_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("stored");
    QTest::newRow("abc") << u"abc"_s << u"679*1372*2079*"_s;
    QTest::newRow("empty") << QString() << QString();
    // Characters of the Windows code page use their byte, as files in that page hold them.
    QTest::newRow("latin e acute") << u"\u00e9"_s << u"1631*"_s;
    QTest::newRow("euro sign is byte 128") << u"x\u20ac"_s << u"840*1792*"_s;
    // Others use their code point, always above 255.
    QTest::newRow("cyrillic") << u"\u0416"_s << u"7322*"_s;
    QTest::newRow("outside the BMP") << QString::fromUcs4(U"\U0001F600") << u"899584*"_s;
    QTest::newRow("C1 control past Unicode") << u"\u0085"_s << QString::number((0x110000 + 0x85) * 7) + u'*';
}

void tst_Account::scramble()
{
    QFETCH(QString, password);
    QFETCH(QString, stored);
    QCOMPARE(Account::Scramble(password), stored);
    QCOMPARE(Account::Unscramble(stored), password);
}

void tst_Account::scrambleRoundTripsEveryCharacter()
{
    QString all;
    for (char32_t c = 1; c < 0x3000; ++c)
        if (c < 0xD800 || c > 0xDFFF) all += QString::fromUcs4(&c, 1);
    all += QString::fromUcs4(U"\U0001F600\U00010348");
    QCOMPARE(Account::Unscramble(Account::Scramble(all)), all);
}

void tst_Account::unscrambleGarbage_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no star") << u"679"_s << QString();
    QTest::newRow("star first") << u"*679*"_s << QString();
    QTest::newRow("stops at an empty field") << u"679**1372*"_s << u"a"_s;
    QTest::newRow("text after the last star") << u"679*1372"_s << u"a"_s;
    QTest::newRow("letters read as zero") << u"abc*def*"_s << QString(2, QChar(0));
    QTest::newRow("negative") << u"-679*1372*"_s << u"b"_s;
    QTest::newRow("huge") << u"99999999999999999999999999999*"_s << QString();
    QTest::newRow("rounding") << u"680*1371*"_s << u"ab"_s;
    QTest::newRow("leading blank") << u" 679*"_s << u"a"_s;
    QTest::newRow("surrogate code") << QString::number(0xD800 * 7) + u'*' << QString();
}

void tst_Account::unscrambleGarbage()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QCOMPARE(Account::Unscramble(stored), expected);
}

void tst_Account::addMessageID()
{
    Account account;
    QVERIFY(account.AddMessageID(u"<a1@example.com>"_s));
    QVERIFY(!account.AddMessageID(u"<a1@example.com>"_s));
    QVERIFY(!account.AddMessageID(u"<A1@EXAMPLE.COM>"_s));
    QVERIFY(account.AddMessageID(u"<a2@example.com>"_s));
    // The first spelling and the insertion order are kept.
    QCOMPARE(account.MessageIDs().values(), (QStringList{u"<a1@example.com>"_s, u"<a2@example.com>"_s}));
}

void tst_Account::identifierFileRoundTrip()
{
    Account account;
    account.LoadSettings(u"Account"_s);
    const QStringList ids = {u"<plain@example.com>"_s, u"<with,comma@example.com>"_s,
                             u"\"quoted\"@example.com"_s, u"<\"inner\"@x>"_s, u" padded "_s};
    for (const QString& id : ids)
        QVERIFY(account.AddMessageID(id));
    account.SaveMessageIDs();

    const QString text = readText(m_folder->path() + u"/Account.DAT"_s);
    QVERIFY(text.startsWith(u"<plain@example.com>\r\n"_s));
    QVERIFY(text.endsWith(u"\r\n"_s));
    QCOMPARE(text.count(u"\r\n"_s), ids.size());

    account.LoadMessageIDs();
    QCOMPARE(account.MessageIDs().values(), ids);
}

void tst_Account::identifierFileReading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("CR LF lines") << QByteArray("<a@x>\r\n<b@x>\r\n") << QStringList{u"<a@x>"_s, u"<b@x>"_s};
    QTest::newRow("LF lines, no final line end")
        << QByteArray("<a@x>\n<b@x>") << QStringList{u"<a@x>"_s, u"<b@x>"_s};
    QTest::newRow("comma fields and blanks")
        << QByteArray("<a@x>, <b@x> ,<c@x>\r\n") << QStringList{u"<a@x>"_s, u"<b@x>"_s, u"<c@x>"_s};
    QTest::newRow("quoted fields") << QByteArray("\"<a@x>\",\"<b@x>\"\r\n")
                                   << QStringList{u"<a@x>"_s, u"<b@x>"_s};
    QTest::newRow("duplicates in any case")
        << QByteArray("<a@x>\r\n<A@X>\r\n<a@x>\r\n") << QStringList{u"<a@x>"_s};
    QTest::newRow("blank lines") << QByteArray("\r\n<a@x>\r\n\r\n") << QStringList{u"<a@x>"_s};
    QTest::newRow("Windows-1252 bytes") << QByteArray("<caf\xe9@x>\r\n") << QStringList{u"<caf\u00e9@x>"_s};
    QTest::newRow("unterminated quote") << QByteArray("\"<a@x>\r\n") << QStringList{u"<a@x>\r\n"_s};
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe,\"\"\"", 7)
                                    << QStringList{QString(QChar(0)) + u"\u00ff\u00fe"_s, u"\""_s};
}

void tst_Account::identifierFileReading()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    writeFile(m_folder->path() + u"/Account.DAT"_s, file);
    Account account;
    account.LoadSettings(u"Account"_s);
    QCOMPARE(account.MessageIDs().values(), expected);
}

void tst_Account::emptySetDeletesFile()
{
    const QString dat = m_folder->path() + u"/Account 2.DAT"_s;
    writeFile(dat, "<a@x>\r\n");
    Account account;
    account.LoadSettings(u"Account 2"_s);
    QCOMPARE(account.MessageIDs().size(), 1);
    account.RebuildMessageIDs(QStringList());
    QVERIFY(!QFile::exists(dat));
    account.LoadMessageIDs();
    QVERIFY(account.MessageIDs().isEmpty());
}

void tst_Account::rebuildDropsDuplicates()
{
    Account account;
    account.LoadSettings(u"Account"_s);
    account.AddMessageID(u"<old@x>"_s);
    account.RebuildMessageIDs(QStringList{u"<n1@x>"_s, u"<N1@X>"_s, u"<n2@x>"_s});
    QCOMPARE(readText(m_folder->path() + u"/Account.DAT"_s), u"<n1@x>\r\n<n2@x>\r\n"_s);
    QVERIFY(!account.MessageIDs().contains(u"<old@x>"_s));
}

void tst_Account::loadDefaults()
{
    Account account;
    account.LoadSettings(u"Account"_s);
    QCOMPARE(account.m_AccountID, u"Account"_s);
    QCOMPARE(account.m_PopServer, QString());
    QCOMPARE(account.m_CheckInterval, 3);
    QCOMPARE(account.m_Port, 110);
    QCOMPARE(account.m_NoOfMessages, 0);
    QCOMPARE(account.m_PrevMessageSize, 0);
    QCOMPARE(account.m_Security, u"Auto"_s);
    QCOMPARE(account.m_TrustedCertificate, QString());
    // Due at the first minute tick.
    QCOMPARE(account.m_MinuteCounter, 3);
}

void tst_Account::loadAccounts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("servers");
    const QByteArray sections = "[Account]\r\nPOPServer=one.example\r\nAccountName=u1\r\nCheckInterval=1\r\n"
                                "[Account 2]\r\nPOPServer=two.example\r\nAccountName=u2\r\n"
                                "[Account 3]\r\nPOPServer=three.example\r\nAccountName=u3\r\n";
    QTest::newRow("no NoOfAccounts key") << sections << QStringList{u"one.example"_s};
    QTest::newRow("NoOfAccounts 3") << QByteArray("[General]\r\nNoOfAccounts=3\r\n") + sections
                                    << QStringList{u"one.example"_s, u"two.example"_s, u"three.example"_s};
    QTest::newRow("NoOfAccounts 2 leaves the third unread")
        << QByteArray("[General]\r\nNoOfAccounts=2\r\n") + sections
        << QStringList{u"one.example"_s, u"two.example"_s};
    // Without this bound the start-up would make two billion empty accounts.
    QTest::newRow("huge count reads the sections there are")
        << QByteArray("[General]\r\nNoOfAccounts=2147483647\r\n") + sections
        << QStringList{u"one.example"_s, u"two.example"_s, u"three.example"_s};
    QTest::newRow("garbage count reads one")
        << QByteArray("[General]\r\nNoOfAccounts=many\r\n") + sections << QStringList{u"one.example"_s};
}

void tst_Account::loadAccounts()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, servers);
    writeProfile(iniPath(), file);
    const AccountList accounts = orvella::LoadAccounts();
    QStringList got;
    for (const auto& a : accounts)
        got << a->m_PopServer;
    QCOMPARE(got, servers);
    QCOMPARE(accounts.first()->m_AccountID, u"Account"_s);
    QCOMPARE(accounts.first()->m_CheckInterval, 1);
    if (accounts.size() > 1) {
        QCOMPARE(accounts[1]->m_AccountID, u"Account 2"_s);
        QCOMPARE(accounts[1]->identifierFilePath(), m_folder->path() + u"/Account 2.DAT"_s);
    }
}

void tst_Account::saveWritesKeysInOrder()
{
    writeProfile(iniPath(), "; kept comment\r\n[General]\r\nSayTime=Yes\r\n");
    Account account;
    account.LoadSettings(u"Account"_s);
    account.m_PopServer = u"pop.example"_s;
    account.m_AccountName = u"user"_s;
    account.m_Password = u"abc"_s;
    account.m_CheckInterval = 7;
    account.m_Port = 995;
    account.m_Security = u"TLS"_s;
    account.m_TrustedCertificate = u"AB:CD"_s;
    account.m_NoOfMessages = 42;
    account.Save();
    const QString text = readText(iniPath());
    QVERIFY(text.contains(u"; kept comment\r\n[General]\r\nSayTime=Yes\r\n"_s));
    QVERIFY2(text.contains(
                 u"[Account]\r\nPOPServer=pop.example\r\nAccountName=user\r\nPassword=679*1372*2079*\r\n"
                 "CheckInterval=7\r\nPort=995\r\nSecurity=TLS\r\nTrustedCertificate=AB:CD\r\nUniqueID="_s +
                 account.m_UniqueID + u"\r\n"_s),
             qPrintable(text));
    // Save leaves the counters to WriteCounters.
    QCOMPARE(ini(u"Account"_s, u"NoOfMessages"_s), u"<absent>"_s);
    account.WriteCounters();
    QCOMPARE(ini(u"Account"_s, u"NoOfMessages"_s), u"42"_s);

    Account again;
    again.LoadSettings(u"Account"_s);
    QCOMPARE(again.m_Password, u"abc"_s);
    QCOMPARE(again.m_Port, 995);
    QCOMPARE(again.m_TrustedCertificate, u"AB:CD"_s);
}

// Keys of a few known values, in any letter case; anything else is the default.
void tst_Account::choiceValues_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("signIn");
    QTest::newRow("absent") << QByteArray() << u"Auto"_s << u"Password"_s;
    QTest::newRow("TLS") << QByteArray("Security=TLS\r\n") << u"TLS"_s << u"Password"_s;
    QTest::newRow("lower case") << QByteArray("Security=starttls\r\nSignIn=microsoft\r\n") << u"STARTTLS"_s
                                << u"Microsoft"_s;
    QTest::newRow("None") << QByteArray("Security=None\r\nSignIn= Google \r\n") << u"None"_s << u"Google"_s;
    QTest::newRow("unknown") << QByteArray("Security=sometimes\r\nSignIn=Yahoo\r\n") << u"Auto"_s
                             << u"Password"_s;
}

void tst_Account::choiceValues()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, security);
    QFETCH(QString, signIn);
    writeProfile(iniPath(), "[Account]\r\nPOPServer=p\r\nAccountName=u\r\nPassword=" +
                                Account::Scramble(u"pw"_s).toLatin1() + "\r\n" + value);
    Account account;
    account.LoadSettings(u"Account"_s);
    QCOMPARE(account.m_Security, security);
    QCOMPARE(Account::signInText(account.m_SignIn), signIn);
    // A password in the file is no sign-in: those accounts have only the keyring's tokens.
    QCOMPARE(account.m_Password, account.UsesOAuth() ? QString() : u"pw"_s);
    account.Save();
    QCOMPARE(ini(u"Account"_s, u"SignIn"_s), signIn);
    QCOMPARE(ini(u"Account"_s, u"Password"_s).isEmpty(), account.UsesOAuth());
}

void tst_Account::releaseWritesCountersAndIdentifiers()
{
    writeProfile(iniPath(), "[Account]\r\nPOPServer=p\r\nAccountName=u\r\nNoOfMessages=3\r\n");
    {
        AccountList accounts = orvella::LoadAccounts();
        auto first = accounts.first(); // the main window holds the first account too
        QCOMPARE(first->m_NoOfMessages, 3);
        first->m_NoOfMessages = 12;
        first->m_PrevMessageSize = 3456;
        first->AddMessageID(u"<kept@x>"_s);
        accounts.clear();
        QCOMPARE(ini(u"Account"_s, u"NoOfMessages"_s), u"3"_s); // still referenced
    }
    QCOMPARE(ini(u"Account"_s, u"NoOfMessages"_s), u"12"_s);
    QCOMPARE(ini(u"Account"_s, u"PrevMessageSize"_s), u"3456"_s);
    QCOMPARE(readText(m_folder->path() + u"/Account.DAT"_s), u"<kept@x>\r\n"_s);
}

void tst_Account::unloadedAccountWritesNothing()
{
    writeProfile(iniPath(), "[Account]\r\nPOPServer=p\r\nAccountName=u\r\nNoOfMessages=3\r\n");
    {
        // For instance an account made only to run detection.
        Account probe;
        probe.DetectAccount();
    }
    QCOMPARE(ini(u"Account"_s, u"NoOfMessages"_s), u"3"_s);
    QCOMPARE(ini(u"Account"_s, u"PrevMessageSize"_s), u"<absent>"_s);
}

void tst_Account::renumberingAfterRemoval()
{
    writeProfile(iniPath(), "[General]\r\nNoOfAccounts=3\r\n"
                            "[Account]\r\nPOPServer=one\r\nAccountName=u1\r\n"
                            "[Account 2]\r\nPOPServer=two\r\nAccountName=u2\r\nNoOfMessages=2\r\n"
                            "[Account 3]\r\nPOPServer=three\r\nAccountName=u3\r\nNoOfMessages=3\r\n");
    writeFile(m_folder->path() + u"/Account 2.DAT"_s, "<two@x>\r\n");
    writeFile(m_folder->path() + u"/Account 3.DAT"_s, "<three@x>\r\n");
    {
        AccountList accounts = orvella::LoadAccounts();
        QCOMPARE(accounts.size(), 3);
        std::shared_ptr<Account> removed = accounts.takeAt(1); // still held, as a dialog might
        orvella::SaveAccounts(accounts);

        QCOMPARE(ini(u"General"_s, u"NoOfAccounts"_s), u"2"_s);
        QCOMPARE(ini(u"Account 2"_s, u"POPServer"_s), u"three"_s);
        QCOMPARE(ini(u"Account 2"_s, u"NoOfMessages"_s), u"3"_s);
        // The old last section stays, unread.
        QCOMPARE(ini(u"Account 3"_s, u"POPServer"_s), u"three"_s);
        QCOMPARE(accounts[1]->m_AccountID, u"Account 2"_s);
        QCOMPARE(readText(m_folder->path() + u"/Account 2.DAT"_s), u"<three@x>\r\n"_s);
        QVERIFY(!QFile::exists(m_folder->path() + u"/Account 3.DAT"_s));

        // The removed account goes last: it must not write over what now belongs to the moved one.
        accounts[1]->m_NoOfMessages = 4;
        accounts.clear();
        removed.reset();
    }
    QCOMPARE(ini(u"Account 2"_s, u"NoOfMessages"_s), u"4"_s);
    QCOMPARE(readText(m_folder->path() + u"/Account 2.DAT"_s), u"<three@x>\r\n"_s);

    const AccountList again = orvella::LoadAccounts();
    QCOMPARE(again.size(), 2);
    QCOMPARE(again[1]->m_PopServer, u"three"_s);
    QVERIFY(again[1]->MessageIDs().contains(u"<three@x>"_s));
}

// What a crash in the middle of storing leaves: the journal names four
// messages; only the two whose files were written completely count as stored.
void tst_Account::journalAfterCrash()
{
    const QString msg = m_folder->path() + u"/msg/"_s;
    QDir().mkpath(msg);
    writeFile(m_folder->path() + u"/Account.DAT"_s, "<old@x>\r\n");
    orvella::MailMessage whole;
    whole.m_ID = u"<whole@x>"_s;
    whole.m_Content = u"Body\r\n"_s;
    whole.m_TimeStamp = u"20261210101010100"_s;
    writeFile(msg + u"20261210101010100.tem"_s, whole.fileContents());
    orvella::MailMessage quoted = whole;
    quoted.m_ID = u"<\"q\"@x>"_s; // stored with apostrophes in its file
    quoted.m_TimeStamp = u"20261210101010100.01"_s;
    writeFile(msg + u"20261210101010100.01.tem"_s, quoted.fileContents());
    orvella::MailMessage cut = whole;
    cut.m_ID = u"<cut@x>"_s;
    cut.m_TimeStamp = u"20261210101010100.02"_s;
    writeFile(msg + u"20261210101010100.02.tem"_s, cut.fileContents().chopped(5));
    writeFile(m_folder->path() + u"/Account.DAT.journal"_s,
              "20261210101010100,<whole@x>\r\n"
              "20261210101010100.01,\"<\"\"q\"\"@x>\"\r\n"
              "20261210101010100.02,<cut@x>\r\n"
              "20261210101010100.03,<never-written@x>\r\n"
              "20261210101010100.04,<line-cut"); // the crash came while this was written

    orvella::Account account;
    account.LoadSettings(u"Account"_s);
    QCOMPARE(account.MessageIDs().values(), (QStringList{u"<old@x>"_s, u"<whole@x>"_s, u"<\"q\"@x>"_s}));
    QCOMPARE(readText(m_folder->path() + u"/Account.DAT"_s), u"<old@x>\r\n<whole@x>\r\n<\"q\"@x>\r\n"_s);
    QVERIFY(!QFile::exists(m_folder->path() + u"/Account.DAT.journal"_s));
    // The file cut short is gone; its message is fetched again.
    QVERIFY(!QFile::exists(msg + u"20261210101010100.02.tem"_s));
    QVERIFY(QFile::exists(msg + u"20261210101010100.tem"_s));

    // Storing journals first; saving the identifiers clears the journal.
    orvella::MailMessage next;
    next.m_ID = u"<next@x>"_s;
    QVERIFY(account.AddMessageID(next.m_ID));
    QVERIFY(next.Save([&](const QString& stamp) { return account.JournalStoredMessage(next.m_ID, stamp); }));
    QCOMPARE(readText(m_folder->path() + u"/Account.DAT.journal"_s), next.m_TimeStamp + u",<next@x>\r\n"_s);
    account.SaveMessageIDs();
    QVERIFY(!QFile::exists(m_folder->path() + u"/Account.DAT.journal"_s));
}

void tst_Account::emptyServerRunsDetection_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::newRow("both empty: detected")
        << QByteArray("POPServer=\r\nAccountName=\r\n") << u"pop.oe.example"_s << u"oe\\user"_s;
    QTest::newRow("no keys: detected") << QByteArray() << u"pop.oe.example"_s << u"oe\\user"_s;
    // A value the user gave is never replaced: the check would otherwise send
    // the user's password to another program's server.
    QTest::newRow("name given") << QByteArray("POPServer=\r\nAccountName=kept\r\n") << QString() << u"kept"_s;
    QTest::newRow("server given") << QByteArray("POPServer=mine.example\r\nAccountName=\r\n")
                                  << u"mine.example"_s << QString();
}

void tst_Account::emptyServerRunsDetection()
{
    QFETCH(QByteArray, section);
    QFETCH(QString, server);
    QFETCH(QString, user);
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", (QStringLiteral(ORVELLA_TEST_DATA_DIR) + u"/accounts/wine-oe"_s).toUtf8());
    writeProfile(iniPath(), "[Account]\r\n" + section);
    Account account;
    account.LoadSettings(u"Account"_s);
    qputenv("HOME", home);
    QCOMPARE(account.m_PopServer, server);
    QCOMPARE(account.m_AccountName, user);
}

QTEST_GUILESS_MAIN(tst_Account)
#include "tst_Account.moc"
