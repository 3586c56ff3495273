#include "platform/FolderLock.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::platform::FolderLock;

// One program per folder. flock locks belong to an open file, so a second
// lock in this same process stands for a second program.
class tst_FolderLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void secondHolderIsRefusedUntilTheFirstGoes();
    void killedHolderLeavesNoLock();
};

void tst_FolderLock::secondHolderIsRefusedUntilTheFirstGoes()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(FolderLock::lockFileName());
    auto first = std::make_unique<FolderLock>();
    QCOMPARE(first->lock(dir.path()), FolderLock::Result::Locked);
    QVERIFY(QFile::exists(file));

    FolderLock second;
    QCOMPARE(second.lock(dir.path()), FolderLock::Result::Held);
    QCOMPARE(second.holder(), QCoreApplication::applicationPid());

    // The holder leaves the folder as it found it.
    first.reset();
    QVERIFY(!QFile::exists(file));
    QCOMPARE(second.lock(dir.path()), FolderLock::Result::Locked);

    QTemporaryDir gone;
    FolderLock nowhere;
    QCOMPARE(nowhere.lock(gone.filePath(u"missing/deeper"_s)), FolderLock::Result::Unavailable);
    QVERIFY(!nowhere.error().isEmpty());
}

// A process killed outright never removes its lock file; the lock itself
// goes with the process, so the file left behind refuses nobody.
void tst_FolderLock::killedHolderLeavesNoLock()
{
    QTemporaryDir dir;
    QProcess holder;
    // -o: the lock stays with flock itself, not with the command it runs,
    // which says when the lock is taken.
    holder.start(u"flock"_s, {u"-o"_s, dir.filePath(FolderLock::lockFileName()), u"sh"_s, u"-c"_s,
                              u"echo held; exec sleep 30"_s});
    QVERIFY(holder.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return holder.readAllStandardOutput().contains("held"); }, 10000));
    FolderLock lock;
    QCOMPARE(lock.lock(dir.path()), FolderLock::Result::Held);
    holder.kill();
    holder.waitForFinished();
    QVERIFY(QFile::exists(dir.filePath(FolderLock::lockFileName())));
    QCOMPARE(lock.lock(dir.path()), FolderLock::Result::Locked);
}

QTEST_GUILESS_MAIN(tst_FolderLock)
#include "tst_FolderLock.moc"
