#include "core/mail/Account.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <signal.h>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::test::DovecotFixture;
using orvella::test::E2eProgram;

namespace {

QByteArray message(const QByteArray& tag, int n)
{
    const QByteArray num = QByteArray::number(n);
    return "Message-ID: <" + num + "." + tag +
           "@e2e.test>\r\nFrom: Twice <twice@example.test>\r\nSubject: " + tag + " " + num +
           "\r\n\r\nOne copy of this, please.\r\n";
}

// Another start of the program on the folder of program, as a user would
// make it: -AUTOSTART and --check-now, with environment changes.
struct SecondStart
{
    int exitCode = -1;
    QByteArray output;
};

SecondStart startAgain(E2eProgram& program, const QStringList& extraEnv, int timeoutMs)
{
    QProcessEnvironment env = program.runner().environment();
    for (const QString& pair : extraEnv)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ORVELLA_BINARY),
            {u"-AUTOSTART"_s, u"--check-now"_s, u"-D"_s, program.runner().appPath()});
    SecondStart result;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        result.output = p.readAll();
        return result;
    }
    result.output = p.readAll();
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return result;
}

} // namespace

// One program per mail folder: a second start must never become a second
// program on the same folder, or every new message is stored twice.
class tst_E2eOneProgram : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void stoppedInstanceKeepsItsPlace();
    void otherSessionIsRefused();

private:
    bool startWithMail(E2eProgram& program, const QString& user, const QByteArray& tag, int count);
    void verifyOnce(E2eProgram& program, const QByteArray& tag, int count);
    std::optional<DovecotFixture> m_dovecot;
};

void tst_E2eOneProgram::initTestCase()
{
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
}

bool tst_E2eOneProgram::startWithMail(E2eProgram& program, const QString& user, const QByteArray& tag,
                                      int count)
{
    const DovecotFixture& d = *m_dovecot;
    if (!d.clear(user)) return false;
    QList<QByteArray> messages;
    for (int n = 1; n <= count; ++n)
        messages << message(tag, n);
    if (!d.deliver(user, messages)) return false;
    if (!program.writeSettings(
            "[Account]\r\nConnectionType=2\r\nPOPServer=" + d.host.toLatin1() + "\r\nAccountName=" +
            user.toLatin1() + "\r\nPassword=" + Account::Scramble(d.password(user)).toLatin1() +
            "\r\nPort=" + QByteArray::number(d.pop3Port) +
            "\r\nSecurity=None\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\nShowTips=No\r\n"))
        return false;
    return program.start();
}

void tst_E2eOneProgram::verifyOnce(E2eProgram& program, const QByteArray& tag, int count)
{
    QSet<QString> expected;
    for (int n = 1; n <= count; ++n)
        expected << u"<%1.%2@e2e.test>"_s.arg(n).arg(QString::fromLatin1(tag));
    QCOMPARE(program.storedMessages().size(), count);
    const QStringList ids = program.identifiers();
    QCOMPARE(ids.size(), count);
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()), expected);
}

// A running program that cannot answer for a while (stopped here; busy or
// still starting in life) keeps its place: the second start waits, then
// says so and ends, and the first one still takes commands afterwards.
void tst_E2eOneProgram::stoppedInstanceKeepsItsPlace()
{
    E2eProgram program;
    QVERIFY2(startWithMail(program, u"instance1"_s, "Stopped", 17), qPrintable(program.output()));
    const qint64 pid = program.runner().process().processId();
    QVERIFY(::kill(pid_t(pid), SIGSTOP) == 0);
    const SecondStart second = startAgain(program, {}, 90000);
    QVERIFY(::kill(pid_t(pid), SIGCONT) == 0);
    QVERIFY2(second.exitCode != 0 && second.exitCode != -1, second.output.constData());
    QVERIFY2(second.output.contains("does not answer"), second.output.constData());

    // The first program kept its channel: commands reach it, and only it stores.
    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    QVERIFY2(program.exit(), qPrintable(program.output()));
    verifyOnce(program, "Stopped", 17);
}

// The same folder from another session (another runtime folder, so the
// channel is not found): refused with a clear word; a start after the first
// program ended, even by kill -9, goes ahead.
void tst_E2eOneProgram::otherSessionIsRefused()
{
    E2eProgram program;
    QVERIFY2(startWithMail(program, u"instance2"_s, "Session", 37), qPrintable(program.output()));
    QTemporaryDir otherRuntime;
    QFile::setPermissions(otherRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList otherSession{u"XDG_RUNTIME_DIR="_s + otherRuntime.path()};
    const SecondStart second = startAgain(program, otherSession, 60000);
    QCOMPARE(second.exitCode, 4);
    QVERIFY2(second.output.contains("already running with the folder"), second.output.constData());
    QVERIFY2(second.output.contains(QDir::toNativeSeparators(program.runner().appPath()).toLocal8Bit()),
             second.output.constData());

    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    verifyOnce(program, "Session", 37);

    // A program killed outright leaves no lock that refuses the next start.
    program.runner().process().kill();
    program.runner().process().waitForFinished(10000);
    QProcessEnvironment env = program.runner().environment();
    env.insert(u"XDG_RUNTIME_DIR"_s, otherRuntime.path());
    QProcess next;
    next.setProcessEnvironment(env);
    next.setProcessChannelMode(QProcess::MergedChannels);
    next.start(QStringLiteral(ORVELLA_BINARY), {u"-AUTOSTART"_s, u"-D"_s, program.runner().appPath()});
    QVERIFY(next.waitForStarted(10000));
    const QString socket = otherRuntime.path() + u"/Orvella Tray-"_s + QString::number(::getuid());
    QVERIFY2(
        QTest::qWaitFor([&] { return QFile::exists(socket) || next.state() != QProcess::Running; }, 30000),
        next.readAll().constData());
    QCOMPARE(next.state(), QProcess::Running);
    next.terminate();
    QVERIFY(next.waitForFinished(30000));
    verifyOnce(program, "Session", 37);
}

QTEST_GUILESS_MAIN(tst_E2eOneProgram)
#include "tst_E2eOneProgram.moc"
