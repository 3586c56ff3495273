#include "mail/CAccount.h"
#include "message/MessageStore.h"
#include "platform/Dialogs.h"
#include "platform/ProfileFile.h"
#include "settings/Program.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using orvella::CAccount;
using orvella::CMessage;
using orvella::MessageIDSet;
using orvella::MessageStore;

namespace {

CMessage makeMessage(const QString& id, const QString& subject)
{
    CMessage m;
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

class TestMessageStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void missingFolderGivesEmptyList();
    void loadListsNewestFirstAndSkipsDamagedFiles();
    void storeIfNew();
    void sameMessageThroughTwoAccountsIsListedTwice();
    void selectMessageInList();
    void removeOne_data();
    void removeOne();
    void removeAllAnsweredNoKeepsEverything();
    void removeAllAnsweredYes();
    void entriesRemovedBehindTheStoresBack();
    void addToAnotherList();

private:
    QString folder() const { return m_dir->path() + u"/msg"_s; }
    QStringList storedFiles() const { return QDir(folder()).entryList({u"*.tem"_s}, QDir::Files); }
    QStringList subjects() const
    {
        QStringList s;
        for (int i = 0; i < m_list->topLevelItemCount(); ++i)
            s << m_list->topLevelItem(i)->text(0);
        return s;
    }
    // Saves messages "m0".."m(n-1)" in that order and loads the list.
    QList<CMessage> storeAndLoad(int n);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTreeWidget> m_list;
    std::unique_ptr<QPlainTextEdit> m_preview;
    std::unique_ptr<MessageStore> m_store;
    int m_updates = 0;
};

void TestMessageStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    orvella::Program().AppPath = m_dir->path();
    orvella::platform::invalidateProfileCache();
    orvella::platform::Dialogs::reset();
    m_list = std::make_unique<QTreeWidget>();
    m_preview = std::make_unique<QPlainTextEdit>();
    m_store = std::make_unique<MessageStore>(m_list.get(), m_preview.get());
    m_updates = 0;
    m_store->UpdateMessageCommands = [this] { ++m_updates; };
}

void TestMessageStore::cleanup()
{
    m_store.reset();
    m_list.reset();
    m_preview.reset();
    m_dir.reset();
    orvella::Program().AppPath.clear();
}

QList<CMessage> TestMessageStore::storeAndLoad(int n)
{
    QList<CMessage> saved;
    for (int i = 0; i < n; ++i) {
        CMessage m = makeMessage(u"<m%1@x>"_s.arg(i), u"m%1"_s.arg(i));
        if (!m.Save()) qFatal("cannot save");
        saved << m;
    }
    m_store->LoadStoredMessages();
    return saved;
}

void TestMessageStore::missingFolderGivesEmptyList()
{
    QVERIFY(!QFileInfo::exists(folder()));
    m_store->LoadStoredMessages();
    QCOMPARE(m_list->topLevelItemCount(), 0);
    QVERIFY(QFileInfo(folder()).isDir());
    QCOMPARE(m_list->headerItem()->text(0), u"Subject"_s);
    QCOMPARE(m_list->headerItem()->text(1), u"From"_s);
    QCOMPARE(m_list->headerItem()->text(2), u"Time Stamp"_s);
}

void TestMessageStore::loadListsNewestFirstAndSkipsDamagedFiles()
{
    QDir().mkpath(folder());
    writeBytes(folder() + u"/00000000000000.tem"_s, "");
    writeBytes(folder() + u"/garbage.tem"_s, "\x7f"
                                             "ELF\x02\x01\x01");
    writeBytes(folder() + u"/99999999999999.tem"_s, "\"only\"\r\n\"two\"\r\n");
    writeBytes(folder() + u"/notes.txt"_s, "\"a\"\r\n\"b\"\r\n\"c\"\r\n\"d\"\r\n\"e\"\r\n");
    QDir().mkpath(folder() + u"/folder.tem"_s);
    const QList<CMessage> saved = storeAndLoad(3);

    QCOMPARE(subjects(), (QStringList{u"m2"_s, u"m1"_s, u"m0"_s}));
    const QTreeWidgetItem* top = m_list->topLevelItem(0);
    // The file holds no double quotes; the name's quotes come back as apostrophes.
    QCOMPARE(top->text(1), u"'Sender m2'"_s);
    QCOMPARE(top->text(2), saved[2].m_TimeStamp);
    QCOMPARE(top->data(0, MessageStore::PathRole).toString(), saved[2].Path());
    QCOMPARE(top->data(0, MessageStore::KeyRole).toString(), u"<m2@x>"_s);
    QCOMPARE(m_store->itemForKey(u"<m1@x>"_s), m_list->topLevelItem(1));
}

void TestMessageStore::storeIfNew()
{
    CAccount account;
    account.LoadSettings(u"Account"_s);
    MessageIDSet seen;
    QList<CMessage> newMessages;
    m_store->LoadStoredMessages();

    CMessage first = makeMessage(u"<new@x>"_s, u"first"_s);
    QVERIFY(m_store->StoreIfNew(first, account, seen, newMessages));
    QCOMPARE(storedFiles().size(), 1);
    QCOMPARE(newMessages.size(), 1);
    QCOMPARE(newMessages.first().m_TimeStamp, first.m_TimeStamp);
    QCOMPARE(subjects(), QStringList{u"first"_s});
    QVERIFY(account.MessageIDs().contains(u"<new@x>"_s));

    // The same identifier again in this pass (a mailbox with a duplicate).
    CMessage twin = makeMessage(u"<NEW@x>"_s, u"twin"_s);
    QVERIFY(!m_store->StoreIfNew(twin, account, seen, newMessages));
    // A later pass: the account knows it.
    MessageIDSet nextPass;
    CMessage again = makeMessage(u"<new@x>"_s, u"again"_s);
    QVERIFY(!m_store->StoreIfNew(again, account, nextPass, newMessages));
    QVERIFY(nextPass.contains(u"<new@x>"_s)); // still counted as seen on the server

    CMessage second = makeMessage(u"<second@x>"_s, u"second"_s);
    QVERIFY(m_store->StoreIfNew(second, account, nextPass, newMessages));
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(newMessages.size(), 2);
    QCOMPARE(subjects(), (QStringList{u"second"_s, u"first"_s}));
    QCOMPARE(m_updates, 0); // the check cycle updates the commands once per account
}

void TestMessageStore::sameMessageThroughTwoAccountsIsListedTwice()
{
    CAccount one, two;
    one.LoadSettings(u"Account"_s);
    two.LoadSettings(u"Account 2"_s);
    MessageIDSet seenOne, seenTwo;
    QList<CMessage> newMessages;
    CMessage a = makeMessage(u"<cc@x>"_s, u"to both"_s), b = a;
    QVERIFY(m_store->StoreIfNew(a, one, seenOne, newMessages));
    // Its file is written, so it must be in the list too, or the user could
    // never see or remove it.
    QVERIFY(m_store->StoreIfNew(b, two, seenTwo, newMessages));
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(m_list->topLevelItemCount(), 2);
}

void TestMessageStore::selectMessageInList()
{
    const QList<CMessage> saved = storeAndLoad(3);
    m_store->SelectMessageInList(saved[1]);
    QCOMPARE(m_list->currentItem(), m_list->topLevelItem(1));
    QCOMPARE(m_list->selectedItems(), QList<QTreeWidgetItem*>{m_list->topLevelItem(1)});
    QCOMPARE(m_preview->toPlainText(), u"Body of m1\nsecond line\n"_s);
    QCOMPARE(m_updates, 1);

    CMessage unknown = makeMessage(u"<u@x>"_s, u"u"_s);
    unknown.m_TimeStamp = u"1"_s;
    m_store->SelectMessageInList(unknown);
    QCOMPARE(m_list->currentItem(), m_list->topLevelItem(1));
    QCOMPARE(m_updates, 1);
}

void TestMessageStore::removeOne_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<QString>("selectedAfter");
    QTest::newRow("first") << 0 << QStringList{u"m1"_s, u"m0"_s} << u"m1"_s;
    QTest::newRow("middle") << 1 << QStringList{u"m2"_s, u"m0"_s} << u"m0"_s;
    QTest::newRow("last") << 2 << QStringList{u"m2"_s, u"m1"_s} << u"m1"_s;
}

void TestMessageStore::removeOne()
{
    QFETCH(int, row);
    QFETCH(QStringList, left);
    QFETCH(QString, selectedAfter);
    storeAndLoad(3);
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    const QString path = item->data(0, MessageStore::PathRole).toString();
    m_list->setCurrentItem(item);
    m_store->cmdRemove_Click();
    QVERIFY(!QFile::exists(path));
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(subjects(), left);
    QCOMPARE(m_list->selectedItems().size(), 1);
    QCOMPARE(m_list->selectedItems().first()->text(0), selectedAfter);
    QCOMPARE(m_preview->toPlainText(), u"Body of "_s + selectedAfter + u"\nsecond line\n"_s);
    QCOMPARE(m_updates, 1);
    QVERIFY(orvella::platform::Dialogs::takeAsked().isEmpty()); // no confirmation
}

void TestMessageStore::removeAllAnsweredNoKeepsEverything()
{
    storeAndLoad(3);
    m_list->setCurrentItem(m_list->topLevelItem(0));
    m_store->ShowPreview();
    orvella::platform::Dialogs::queueAnswer(false);
    m_store->cmdClear_Click();
    const auto asked = orvella::platform::Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().title, u"Remove All"_s);
    QCOMPARE(asked.first().text, u"Are you sure you want to remove all of the messages?"_s);
    QCOMPARE(storedFiles().size(), 3);
    QCOMPARE(m_list->topLevelItemCount(), 3);
    QVERIFY(!m_preview->toPlainText().isEmpty());
    QCOMPARE(m_updates, 0);
}

void TestMessageStore::removeAllAnsweredYes()
{
    storeAndLoad(3);
    writeBytes(folder() + u"/keep.txt"_s, "not a message");
    m_list->setCurrentItem(m_list->topLevelItem(0));
    m_store->ShowPreview();
    orvella::platform::Dialogs::queueAnswer(true);
    m_store->cmdClear_Click();
    QVERIFY(storedFiles().isEmpty());
    QVERIFY(QFile::exists(folder() + u"/keep.txt"_s));
    QCOMPARE(m_list->topLevelItemCount(), 0);
    QVERIFY(m_preview->toPlainText().isEmpty());
    QCOMPARE(m_updates, 1);
}

void TestMessageStore::entriesRemovedBehindTheStoresBack()
{
    const QList<CMessage> saved = storeAndLoad(3);
    delete m_list->topLevelItem(1);
    QCOMPARE(m_store->itemForKey(u"<m1@x>"_s), nullptr);
    m_store->SelectMessageInList(saved[1]); // must not touch the deleted entry
    QCOMPARE(m_updates, 0);
    m_list->clear();
    m_store->SelectMessageInList(saved[2]);
    QCOMPARE(m_store->itemForKey(u"<m2@x>"_s), nullptr);
    QCOMPARE(m_updates, 0);
}

void TestMessageStore::addToAnotherList()
{
    storeAndLoad(1);
    QTreeWidget prompt;
    MessageStore::PrepareList(&prompt);
    const CMessage m = makeMessage(u"<p@x>"_s, u"prompted"_s);
    m_store->AddMessageToList(&prompt, m);
    QCOMPARE(prompt.topLevelItemCount(), 1);
    QCOMPARE(prompt.topLevelItem(0)->text(0), u"prompted"_s);
    QCOMPARE(m_list->topLevelItemCount(), 1);
    QCOMPARE(m_store->itemForKey(u"<p@x>"_s), nullptr);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Loading an account without a server looks for other mail programs' settings.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qunsetenv("WINEPREFIX");
    TestMessageStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestMessageStore.moc"
