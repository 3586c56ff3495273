// Start-up cost of the message store: loading 10,000 stored messages into the
// message list, next to the time it takes merely to read those files. Also the
// cost of storing new messages once the list and the identifier set are large.
// Prints figures; there is no pass or fail.

#include "BenchSupport.h"
#include "core/mail/Account.h"
#include "core/mail/StoreIfNew.h"
#include "core/message/MessageStore.h"
#include "core/settings/Program.h"
#include "gui/MessagesPage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

constexpr int messageCount = 10000;

double readAllFiles(const QString& folder)
{
    QElapsedTimer t;
    t.start();
    qint64 bytes = 0;
    const QStringList names = QDir(folder).entryList({u"*.tem"_s}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile f(folder + u'/' + name);
        if (f.open(QIODevice::ReadOnly)) bytes += f.readAll().size();
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (bytes == 0) std::printf("no files read\n");
    return ms;
}

double loadRecordsOnly(const QString& folder)
{
    QElapsedTimer t;
    t.start();
    int loaded = 0;
    const QStringList names = QDir(folder).entryList({u"*.tem"_s}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        MailMessage m;
        loaded += m.Load(folder + u'/' + name) ? 1 : 0;
    }
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (loaded != messageCount) std::printf("loaded %d of %d records\n", loaded, messageCount);
    return ms;
}

double loadIntoList()
{
    MessagesPage page;
    page.resize(800, 600);
    page.show();
    MessageStore store;
    QElapsedTimer t;
    t.start();
    store.LoadStoredMessages();
    page.setModel(store.model());
    QCoreApplication::processEvents(); // the list's first layout and paint
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (page.rowCount() != messageCount)
        std::printf("listed %d of %d messages\n", page.rowCount(), messageCount);
    return ms;
}

// Each file written and synced on its own, as a careful program without
// batches would: the reference for storing a check's messages.
double storeEachSynced(int first, int count)
{
    QElapsedTimer t;
    t.start();
    for (int i = first; i < first + count; ++i) {
        MailMessage m = bench::sampleMessage(i);
        m.MakeTimeStamp();
        QSaveFile f(MailMessage::MessageFolder() + u"/synced-"_s + m.m_TimeStamp + u".tem"_s);
        if (!f.open(QIODevice::WriteOnly)) return -1;
        f.write(m.fileContents());
        f.commit();
    }
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    Program().AppPath = dir.path();
    const QString folder = MailMessage::MessageFolder();

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < messageCount; ++i) {
        MailMessage m = bench::sampleMessage(i);
        m.Save();
    }
    std::printf("writing %d message files: %.0f ms\n", messageCount, double(t.elapsed()));

    // Alternate the two so both see the same (warm) file cache; keep the best of each.
    double bestRead = 1e18, bestRecords = 1e18, bestLoad = 1e18;
    for (int round = 0; round < 3; ++round) {
        bestRead = std::min(bestRead, readAllFiles(folder));
        bestRecords = std::min(bestRecords, loadRecordsOnly(folder));
        bestLoad = std::min(bestLoad, loadIntoList());
    }
    std::printf("read %d files:                %8.1f ms\n", messageCount, bestRead);
    std::printf("load %d records (no list):    %8.1f ms\n", messageCount, bestRecords);
    std::printf("load %d messages into list:   %8.1f ms  (%.2fx reading; goal within 2x)\n", messageCount,
                bestLoad, bestLoad / bestRead);

    // Storing new mail with 10,000 entries listed and 10,000 identifiers known.
    {
        MessagesPage page;
        MessageStore store;
        store.LoadStoredMessages();
        page.setModel(store.model());
        Account account;
        account.LoadSettings(u"Account"_s);
        for (int i = 0; i < messageCount; ++i)
            account.AddMessageID(bench::sampleMessage(i).m_ID);
        MessageIDSet seen;
        QList<MailMessage> newMessages;
        const int extra = 1000;
        t.restart();
        for (int i = messageCount; i < messageCount + extra; ++i) {
            MailMessage m = bench::sampleMessage(i);
            StoreIfNew(store, m, account, seen, newMessages);
        }
        // The batch becomes durable at once, then the identifiers record it.
        account.SaveMessageIDs();
        const double storeMs = double(t.nsecsElapsed()) / 1e6;
        const double syncedMs = storeEachSynced(2 * messageCount, extra);
        t.restart();
        for (const MailMessage& m : std::as_const(newMessages))
            page.selectRow(store.RowOf(m));
        const double selectMs = double(t.nsecsElapsed()) / 1e6;
        std::printf("store %d new messages (list of %d), one sync: %.1f ms, %.3f ms each\n", extra,
                    messageCount, storeMs, storeMs / extra);
        std::printf("write %d files with a sync each (reference):   %.1f ms, %.3f ms each (%.2fx of ours)\n",
                    extra, syncedMs, syncedMs / extra, syncedMs / storeMs);
        std::printf("select each of them in the list:      %.1f ms, %.3f ms each\n", selectMs,
                    selectMs / extra);
        QStringList ids;
        for (int i = 0; i < messageCount; ++i)
            ids << bench::sampleMessage(i).m_ID.toUpper();
        t.restart();
        int known = 0;
        for (const QString& id : std::as_const(ids))
            known += account.AddMessageID(id) ? 0 : 1;
        std::printf("look up %d known identifiers:     %.1f ms (%d known)\n", messageCount,
                    double(t.nsecsElapsed()) / 1e6, known);
    }
    return 0;
}
