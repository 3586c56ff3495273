#include "core/mail/Account.h"
#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::MailMessage;
using orvella::test::DovecotFixture;
using orvella::test::E2eProgram;

namespace {

bool run(const QString& program, const QStringList& args, QString* output = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(30000)) return false;
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A mount made for one test and undone however the test ends.
struct Mount
{
    QString point;
    ~Mount()
    {
        if (!point.isEmpty()) run(u"umount"_s, {u"-l"_s, point});
    }
};

QByteArray message(const QByteArray& tag, int n)
{
    // Short, so that reading them aloud is quick: on a small file system
    // every file takes a whole page however short it is.
    const QByteArray num = QByteArray::number(n);
    const QByteArray body = "Number " + num + ".\r\n";
    return "Message-ID: <" + num + "." + tag +
           "@e2e.test>\r\nFrom: Store Test <store@example.test>\r\n"
           "To: someone@example.test\r\nSubject: " +
           tag + " " + num + " end\r\n\r\n" + body;
}

} // namespace

// The program folder on surroundings that refuse to store: a file system
// that fills up during a check, and a folder that turns read-only. Nothing
// may be lost (a message not stored stays unknown and is fetched again),
// nothing stored twice, nothing read aloud that was not stored, and the
// user is told once, with the folder and the reason.
class tst_E2eStorageFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void fullDiskLosesNothing();
    void readOnlyFolderLosesNothing();

private:
    // Checks the files of a program that has fetched delivered messages tagged tag.
    void verifyStoredOnce(const E2eProgram& program, const QByteArray& tag, int delivered);
    std::optional<DovecotFixture> m_dovecot;
};

void tst_E2eStorageFaults::initTestCase()
{
    if (::geteuid() != 0) QSKIP("mounting a file system for the program folder needs root");
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
}

static QByteArray settingsFor(const DovecotFixture& d, const QString& user)
{
    return "[Account]\r\nConnectionType=2\r\nPOPServer=" + d.host.toLatin1() +
           "\r\nAccountName=" + user.toLatin1() +
           "\r\nPassword=" + Account::Scramble(d.password(user)).toLatin1() +
           "\r\nPort=" + QByteArray::number(d.pop3Port) +
           "\r\nSecurity=None\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\nShowTips=No\r\n";
}

void tst_E2eStorageFaults::verifyStoredOnce(const E2eProgram& program, const QByteArray& tag, int delivered)
{
    QSet<QString> expected;
    for (int n = 1; n <= delivered; ++n)
        expected << u"<%1.%2@e2e.test>"_s.arg(n).arg(QString::fromLatin1(tag));
    orvella::Program().AppPath = program.runner().appPath();
    QStringList stored;
    for (const QString& name : program.storedMessages()) {
        MailMessage m;
        QVERIFY2(m.Load(program.file(u"msg/"_s + name)), qPrintable(name));
        stored << m.m_ID;
    }
    QCOMPARE(stored.size(), delivered);
    QCOMPARE(QSet<QString>(stored.begin(), stored.end()), expected);
    const QStringList ids = program.identifiers();
    QCOMPARE(ids.size(), delivered);
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()), expected);
}

// Subjects the character began to read, each with how often.
static QHash<QString, int> spokenSubjects(const E2eProgram& program, const QByteArray& tag)
{
    QHash<QString, int> spoken;
    const QString prefix = QString::fromLatin1(tag) + u' ';
    for (const QString& text : program.traced(u"speak"_s)) {
        const qsizetype at = text.indexOf(prefix);
        if (at >= 0) ++spoken[text.mid(at, text.indexOf(u" end"_s, at) - at)];
    }
    return spoken;
}

void tst_E2eStorageFaults::fullDiskLosesNothing()
{
    const DovecotFixture& d = *m_dovecot;
    const QString user = u"storage1"_s;
    QVERIFY(d.clear(user));
    E2eProgram program;
    Mount mount;
    const QString folder = program.runner().appPath();
    QString out;
    QVERIFY2(run(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=2m"_s, u"tmpfs"_s, folder}, &out),
             qPrintable(out));
    mount.point = folder;
    QVERIFY(program.writeSettings(settingsFor(d, user)));
    QVERIFY2(program.start(), qPrintable(program.output()));

    // All but a few pages of the file system taken: a handful of messages fit.
    {
        QFile filler(folder + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
        filler.close();
        QVERIFY(filler.resize(filler.size() - 6 * 4096));
    }
    constexpr int delivered = 37;
    QList<QByteArray> messages;
    for (int n = 1; n <= delivered; ++n)
        messages << message("Full", n);
    QVERIFY(d.deliver(user, messages));

    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    const int storedFirst = int(program.storedMessages().size());
    QVERIFY2(storedFirst < delivered, "the file system was meant to fill up");
    // One error, naming the folder and the reason.
    const QStringList errors = program.checkErrors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QDir::toNativeSeparators(folder + u"/msg"_s)),
             qPrintable(errors.first()));
    QVERIFY2(errors.first().contains(u"No space left on device"_s), qPrintable(errors.first()));
    // What was not stored was not read aloud either.
    QTest::qWait(2000);
    QVERIFY2(spokenSubjects(program, "Full").size() <= storedFirst,
             qPrintable(QStringList(spokenSubjects(program, "Full").keys()).join(u", "_s)));

    // Room again: the next check fetches the rest, and only the rest.
    QVERIFY(QFile::remove(folder + u"/filler"_s));
    QVERIFY2(program.checkNow(1, 180000), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    QCOMPARE(program.checkErrors().size(), 1);
    QVERIFY2(program.exit(), qPrintable(program.output()));
    verifyStoredOnce(program, "Full", delivered);
    QVERIFY(!QFile::exists(program.file(u"Account.DAT.journal"_s)));
    QCOMPARE(program.setting(u"Account"_s, u"NoOfMessages"_s), QString::number(delivered));
    const QHash<QString, int> spoken = spokenSubjects(program, "Full");
    for (auto it = spoken.cbegin(); it != spoken.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key() + u" spoken %1 times"_s.arg(it.value())));
}

void tst_E2eStorageFaults::readOnlyFolderLosesNothing()
{
    const DovecotFixture& d = *m_dovecot;
    const QString user = u"storage2"_s;
    QVERIFY(d.clear(user));
    E2eProgram program;
    const QString folder = program.runner().appPath();
    QVERIFY(program.writeSettings(settingsFor(d, user)));
    QVERIFY2(program.start(), qPrintable(program.output()));

    constexpr int delivered = 12;
    QList<QByteArray> messages;
    for (int n = 1; n <= delivered; ++n)
        messages << message("Locked", n);
    QVERIFY(d.deliver(user, messages));

    // The folder turns read-only under the running program.
    Mount mount;
    QString out;
    QVERIFY2(run(u"mount"_s, {u"--bind"_s, folder, folder}, &out), qPrintable(out));
    mount.point = folder;
    QVERIFY2(run(u"mount"_s, {u"-o"_s, u"remount,bind,ro"_s, folder}, &out), qPrintable(out));

    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    QCOMPARE(program.storedMessages(), QStringList());
    const QStringList errors = program.checkErrors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(u"Read-only file system"_s), qPrintable(errors.first()));
    QTest::qWait(2000);
    QVERIFY2(spokenSubjects(program, "Locked").isEmpty(),
             qPrintable(QStringList(spokenSubjects(program, "Locked").keys()).join(u", "_s)));

    // Writable again: everything comes, each message once, and is read once.
    QVERIFY2(run(u"umount"_s, {folder}, &out), qPrintable(out));
    mount.point.clear();
    QVERIFY2(program.checkNow(1, 180000), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    QVERIFY2(program.exit(), qPrintable(program.output()));
    verifyStoredOnce(program, "Locked", delivered);
    QCOMPARE(program.setting(u"Account"_s, u"NoOfMessages"_s), QString::number(delivered));
    const QHash<QString, int> spoken = spokenSubjects(program, "Locked");
    for (auto it = spoken.cbegin(); it != spoken.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key() + u" spoken %1 times"_s.arg(it.value())));
}

QTEST_GUILESS_MAIN(tst_E2eStorageFaults)
#include "tst_E2eStorageFaults.moc"
