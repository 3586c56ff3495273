#include "core/mail/Account.h"
#include "core/mail/StoreIfNew.h"
#include "core/message/MessageStore.h"
#include "core/settings/Program.h"
#include "gui/widgets/Dialogs.h"
#include "platform/ProfileFile.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::MailMessage;
using orvella::MessageIDSet;
using orvella::MessageListModel;
using orvella::MessageStore;
using orvella::StoreIfNew;
constexpr auto Stored = orvella::StoreResult::Stored;
constexpr auto Known = orvella::StoreResult::Known;
constexpr auto Failed = orvella::StoreResult::Failed;

namespace {

MailMessage makeMessage(const QString& id, const QString& subject)
{
    MailMessage m;
    m.m_ID = id;
    m.m_FullFrom = u"\"Sender " + subject + u"\" <s@example.com>"_s;
    m.m_Subject = subject;
    m.m_Content = u"Body of "_s + subject + u"\r\nsecond line\r\n"_s;
    return m;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

// The store without any widget: files in "msg" and the list model over them.
class tst_MessageStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void missingFolderGivesEmptyList();
    void loadListsNewestFirstAndSkipsDamagedFiles();
    void storeIfNew();
    void sameMessageThroughTwoAccountsIsListedTwice();
    void unwritableMessageStaysUnknown_data();
    void unwritableMessageStaysUnknown();
    void rowOfAndLoad();
    void removeOne_data();
    void removeOne();
    void removeAll();
    void readableTimeStamp();
    void listGivesBackEveryEntry_data();
    void listGivesBackEveryEntry();

private:
    QString folder() const { return m_dir->path() + u"/msg"_s; }
    QStringList storedFiles() const { return QDir(folder()).entryList({u"*.tem"_s}, QDir::Files); }
    QStringList subjects() const
    {
        QStringList s;
        const MessageListModel* model = m_store->model();
        for (int i = 0; i < model->rowCount(); ++i)
            s << model->index(i, MessageListModel::SubjectColumn).data().toString();
        return s;
    }
    // Saves messages "m0".."m(n-1)" in that order and loads the list.
    QList<MailMessage> storeAndLoad(int n);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageStore> m_store;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    int m_changes = 0;
};

void tst_MessageStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    orvella::Program().AppPath = m_dir->path();
    orvella::platform::invalidateProfileCache();
    m_store = std::make_unique<MessageStore>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_store->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_changes = 0;
    connect(m_store.get(), &MessageStore::changed, this, [this] { ++m_changes; });
}

void tst_MessageStore::cleanup()
{
    m_tester.reset();
    m_store.reset();
    m_dir.reset();
    orvella::Program().AppPath.clear();
}

QList<MailMessage> tst_MessageStore::storeAndLoad(int n)
{
    QList<MailMessage> saved;
    for (int i = 0; i < n; ++i) {
        MailMessage m = makeMessage(u"<m%1@x>"_s.arg(i), u"m%1"_s.arg(i));
        if (!m.Save()) qFatal("cannot save");
        saved << m;
    }
    m_store->LoadStoredMessages();
    return saved;
}

void tst_MessageStore::missingFolderGivesEmptyList()
{
    QVERIFY(!QFileInfo::exists(folder()));
    m_store->LoadStoredMessages();
    QCOMPARE(m_store->model()->rowCount(), 0);
    QVERIFY(QFileInfo(folder()).isDir());
    const MessageListModel* model = m_store->model();
    QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), u"Subject"_s);
    QCOMPARE(model->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), u"From"_s);
    QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), u"Time Stamp"_s);
}

void tst_MessageStore::loadListsNewestFirstAndSkipsDamagedFiles()
{
    QDir().mkpath(folder());
    writeBytes(folder() + u"/00000000000000.tem"_s, "");
    writeBytes(folder() + u"/garbage.tem"_s, "\x7f"
                                             "ELF\x02\x01\x01");
    writeBytes(folder() + u"/99999999999999.tem"_s, "\"only\"\r\n\"two\"\r\n");
    writeBytes(folder() + u"/notes.txt"_s, "\"a\"\r\n\"b\"\r\n\"c\"\r\n\"d\"\r\n\"e\"\r\n");
    QDir().mkpath(folder() + u"/folder.tem"_s);
    const QList<MailMessage> saved = storeAndLoad(3);

    QCOMPARE(subjects(), (QStringList{u"m2"_s, u"m1"_s, u"m0"_s}));
    const MessageListModel* model = m_store->model();
    // The file holds the name's quotes as apostrophes; the list shows the name without them.
    QCOMPARE(model->index(0, 1).data().toString(), u"Sender m2"_s);
    QCOMPARE(model->index(0, 2).data(MessageListModel::StampRole).toString(), saved[2].m_TimeStamp);
    QCOMPARE(model->index(0, 0).data(MessageListModel::PathRole).toString(), saved[2].Path());
    QCOMPARE(model->index(0, 0).data(MessageListModel::KeyRole).toString(), u"<m2@x>"_s);
    QCOMPARE(model->rowOfKey(u"<m1@x>"_s), 1);
    QCOMPARE(m_changes, 1);
}

void tst_MessageStore::storeIfNew()
{
    Account account;
    account.LoadSettings(u"Account"_s);
    MessageIDSet seen;
    QList<MailMessage> newMessages;
    m_store->LoadStoredMessages();

    MailMessage first = makeMessage(u"<new@x>"_s, u"first"_s);
    QCOMPARE(StoreIfNew(*m_store, first, account, seen, newMessages), Stored);
    QCOMPARE(storedFiles().size(), 1);
    QCOMPARE(newMessages.size(), 1);
    QCOMPARE(newMessages.first().m_TimeStamp, first.m_TimeStamp);
    QCOMPARE(subjects(), QStringList{u"first"_s});
    QVERIFY(account.MessageIDs().contains(u"<new@x>"_s));

    // The same identifier again in this pass (a mailbox with a duplicate).
    MailMessage twin = makeMessage(u"<NEW@x>"_s, u"twin"_s);
    QCOMPARE(StoreIfNew(*m_store, twin, account, seen, newMessages), Known);
    // A later pass: the account knows it.
    MessageIDSet nextPass;
    MailMessage again = makeMessage(u"<new@x>"_s, u"again"_s);
    QCOMPARE(StoreIfNew(*m_store, again, account, nextPass, newMessages), Known);
    QVERIFY(nextPass.contains(u"<new@x>"_s)); // still counted as seen on the server

    MailMessage second = makeMessage(u"<second@x>"_s, u"second"_s);
    QCOMPARE(StoreIfNew(*m_store, second, account, nextPass, newMessages), Stored);
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(newMessages.size(), 2);
    QCOMPARE(subjects(), (QStringList{u"second"_s, u"first"_s}));
}

void tst_MessageStore::sameMessageThroughTwoAccountsIsListedTwice()
{
    Account one, two;
    one.LoadSettings(u"Account"_s);
    two.LoadSettings(u"Account 2"_s);
    MessageIDSet seenOne, seenTwo;
    QList<MailMessage> newMessages;
    MailMessage a = makeMessage(u"<cc@x>"_s, u"to both"_s), b = a;
    QCOMPARE(StoreIfNew(*m_store, a, one, seenOne, newMessages), Stored);
    // Its file is written, so it must be in the list too, or the user could
    // never see or remove it.
    QCOMPARE(StoreIfNew(*m_store, b, two, seenTwo, newMessages), Stored);
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(m_store->model()->rowCount(), 2);
}

// A message whose file (or the journal line before it) cannot be written
// must leave no trace: the account does not learn its identifier, so the next
// check fetches it again, and it is neither read aloud nor listed now.
void tst_MessageStore::unwritableMessageStaysUnknown_data()
{
    QTest::addColumn<QString>("blocked"); // made a folder or a file so that writing it fails
    QTest::addRow("message folder is a file") << u"msg"_s;
    QTest::addRow("journal is a folder") << u"Account.DAT.journal"_s;
}

void tst_MessageStore::unwritableMessageStaysUnknown()
{
    QFETCH(QString, blocked);
    Account account;
    account.LoadSettings(u"Account"_s);
    MessageIDSet seen;
    QList<MailMessage> newMessages;
    m_store->LoadStoredMessages();
    const QString path = orvella::AppPath() + u'/' + blocked;
    QVERIFY(QDir(path).removeRecursively());
    if (blocked == u"msg"_s)
        writeBytes(path, "not a folder");
    else
        QVERIFY(QDir().mkpath(path));

    MailMessage lost = makeMessage(u"<lost@x>"_s, u"lost"_s);
    QString why;
    QCOMPARE(StoreIfNew(*m_store, lost, account, seen, newMessages, &why), Failed);
    QVERIFY2(!why.isEmpty(), "the user is told why");
    QVERIFY(!account.MessageIDs().contains(u"<lost@x>"_s));
    QVERIFY(!seen.contains(u"<lost@x>"_s));
    QVERIFY(newMessages.isEmpty());
    QCOMPARE(m_store->model()->rowCount(), 0);

    // Once the folder can be written, the same message is stored, once.
    QVERIFY(QFile::remove(path) || QDir(path).removeRecursively());
    QVERIFY(QDir().mkpath(MailMessage::MessageFolder()));
    QCOMPARE(StoreIfNew(*m_store, lost, account, seen, newMessages), Stored);
    QCOMPARE(StoreIfNew(*m_store, lost, account, seen, newMessages), Known);
    QCOMPARE(storedFiles().size(), 1);
    QCOMPARE(newMessages.size(), 1);
}

void tst_MessageStore::rowOfAndLoad()
{
    const QList<MailMessage> saved = storeAndLoad(3);
    QCOMPARE(m_store->RowOf(saved[1]), 1);
    MailMessage loaded;
    QVERIFY(m_store->Load(1, loaded));
    QCOMPARE(loaded.m_Content, u"Body of m1\r\nsecond line\r\n"_s);
    MailMessage unknown = makeMessage(u"<u@x>"_s, u"u"_s);
    unknown.m_TimeStamp = u"1"_s;
    QCOMPARE(m_store->RowOf(unknown), -1);
    QVERIFY(!m_store->Load(3, loaded));
    QVERIFY(!m_store->Load(-1, loaded));
}

void tst_MessageStore::removeOne_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("first") << 0 << QStringList{u"m1"_s, u"m0"_s} << 0;
    QTest::newRow("middle") << 1 << QStringList{u"m2"_s, u"m0"_s} << 1;
    QTest::newRow("last") << 2 << QStringList{u"m2"_s, u"m1"_s} << 1;
}

void tst_MessageStore::removeOne()
{
    QFETCH(int, row);
    QFETCH(QStringList, left);
    QFETCH(int, selectedAfter);
    storeAndLoad(3);
    const QString path = m_store->model()->entry(row).path;
    QCOMPARE(m_store->Remove(row), selectedAfter);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(subjects(), left);
    QCOMPARE(m_changes, 2);
}

void tst_MessageStore::removeAll()
{
    storeAndLoad(3);
    writeBytes(folder() + u"/keep.txt"_s, "not a message");
    m_store->RemoveAll();
    QVERIFY(storedFiles().isEmpty());
    QVERIFY(QFile::exists(folder() + u"/keep.txt"_s));
    QCOMPARE(m_store->model()->rowCount(), 0);
    QCOMPARE(m_store->Remove(0), -1);
}

// A person reads a date and a time; the list sorts by the stamp itself.
void tst_MessageStore::readableTimeStamp()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(MessageListModel::readableStamp(u"2026121014053350733.5"_s), u"12/10/26 2:05 PM"_s);
    QCOMPARE(MessageListModel::readableStamp(u"20261310"_s), u"20261310"_s);
    QCOMPARE(MessageListModel::readableStamp(u"not a stamp at all"_s), u"not a stamp at all"_s);
    QLocale::setDefault(QLocale::c());
}

using Entry = MessageListModel::Entry;
Q_DECLARE_METATYPE(Entry)

// The list keeps its rows packed and leaves out a path it can rebuild from
// the stamp: each entry must come back exactly as given, before and after
// the folder is known, whether listed at once or put on top one by one.
void tst_MessageStore::listGivesBackEveryEntry_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    const QString f = u"/home/ann/Orvella/msg/"_s;
    const Entry usual{f + u"20261210140533507.5.tem"_s, u"<a@x>"_s, u"Hello"_s, u"Ann"_s,
                      u"20261210140533507.5"_s};
    const Entry usual2{f + u"2026121014053350734.tem"_s, u"<b@x>"_s, u"Bye"_s, u"Bob"_s,
                       u"2026121014053350734"_s};
    QTest::newRow("usual paths") << QList<Entry>{usual, usual2};
    QTest::newRow("another folder") << QList<Entry>{usual,
                                                    {u"/elsewhere/msg/2026121014053350734.tem"_s, u"<b@x>"_s,
                                                     u"Bye"_s, u"Bob"_s, u"2026121014053350734"_s}};
    QTest::newRow("name is not the stamp") << QList<Entry>{
        usual, {f + u"renamed.tem"_s, u"<b@x>"_s, u"Bye"_s, u"Bob"_s, u"2026121014053350734"_s}};
    QTest::newRow("stamp names a file of another folder first") << QList<Entry>{
        {u"2026121014053350734.tem"_s, u"<b@x>"_s, u"Bye"_s, u"Bob"_s, u"2026121014053350734"_s}, usual};
    QTest::newRow("unusual first, then usual")
        << QList<Entry>{{f + u"x.tem"_s, u"<c@x>"_s, u"C"_s, u"Cy"_s, u"1"_s}, usual, usual2};
    QTest::newRow("empty texts") << QList<Entry>{{f + u".tem"_s, {}, {}, {}, {}}, usual};
    QTest::newRow("letters beyond ASCII")
        << QList<Entry>{{f + u"2026121014053350734.tem"_s, u"<ü@x>"_s, u"Grüße aus Köln, 山田"_s,
                         u"Jürgen Müller"_s, u"2026121014053350734"_s},
                        usual};
}

void tst_MessageStore::listGivesBackEveryEntry()
{
    QFETCH(QList<Entry>, entries);
    auto same = [](const Entry& a, const Entry& b) {
        return a.path == b.path && a.key == b.key && a.subject == b.subject && a.from == b.from &&
               a.stamp == b.stamp;
    };
    MessageListModel listed, onTop;
    listed.setEntries(entries);
    for (auto it = entries.crbegin(); it != entries.crend(); ++it)
        onTop.prepend(*it);
    for (const MessageListModel* model : {&listed, &onTop}) {
        QCOMPARE(model->rowCount(), entries.size());
        for (int row = 0; row < entries.size(); ++row) {
            const Entry& e = entries[row];
            QVERIFY2(same(model->entry(row), e), qPrintable(model->entry(row).path + u" for "_s + e.path));
            const QModelIndex subject = model->index(row, MessageListModel::SubjectColumn);
            QCOMPARE(subject.data().toString(), e.subject);
            QCOMPARE(model->index(row, MessageListModel::FromColumn).data().toString(), e.from);
            QCOMPARE(subject.data(MessageListModel::PathRole).toString(), e.path);
            QCOMPARE(subject.data(MessageListModel::KeyRole).toString(), e.key);
            QCOMPARE(subject.data(MessageListModel::StampRole).toString(), e.stamp);
            QCOMPARE(model->rowOfKey(e.key),
                     int(std::find_if(entries.cbegin(), entries.cend(),
                                      [&](const Entry& x) { return x.key == e.key; }) -
                         entries.cbegin()));
            QCOMPARE(model->rowOfStamp(e.stamp),
                     int(std::find_if(entries.cbegin(), entries.cend(),
                                      [&](const Entry& x) { return x.stamp == e.stamp; }) -
                         entries.cbegin()));
        }
    }
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // no widgets: the store needs none
    // Loading an account without a server looks for other mail programs' settings.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qunsetenv("WINEPREFIX");
    tst_MessageStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MessageStore.moc"
