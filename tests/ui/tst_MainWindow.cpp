#include "app/CommandLine.h"
#include "app/OrvellaCore.h"
#include "app/frmTray.h"
#include "message/CMessage.h"
#include "platform/ProfileFile.h"
#include "reminders/CRemindersSet.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "speech/MessageReader.h"
#include "support/FakeAgent.h"
#include "ui/ElidedLabel.h"
#include "ui/MessagesPage.h"
#include "ui/frmMain.h"
#include "ui/frmMessage.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cmath>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

// The main window in-process on the offscreen platform, with a recording
// character: which commands are open when, the panels, the split between
// list and preview, the geometry kept in the settings file, and text dropped
// on it.
class tst_MainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void commandStates();
    void panelsGiveTheirRoomToTheList();
    void geometryRoundTrip_data();
    void geometryRoundTrip();
    void splitKeepsItsPlaceAcrossRestarts();
    void splitStaysWithinItsLimits();
    void splitLimitsHoldWhenThePreviewComesOn_data();
    void splitLimitsHoldWhenThePreviewComesOn();
    void longTextsLeaveTheWindowItsSize();
    void storedGeometryComesBackOnScreen_data();
    void storedGeometryComesBackOnScreen();
    void removeSelectsTheNextMessageOnScreen();
    void columnsShareTheListWidth();
    void droppedTextIsSpoken();
    void accessKeysReachTheirTargetAtOnce();
    void unreadableReminderFileIsNamedWhole();

private:
    frmTray* start(const QByteArray& general = {}, bool writeFile = true);
    void storeMessages(int n);
    void storeMessages(const QStringList& subjects);
    void writeSettings(const QByteArray& general);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_xdg;
    std::unique_ptr<frmTray> m_tray;
    QList<ShownMessage> m_messages;
};

void tst_MainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_xdg = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_xdg->filePath(u"config"_s).toUtf8());
    qputenv("XDG_DATA_HOME", m_xdg->filePath(u"data"_s).toUtf8());
    Program() = ProgramValues{};
    platform::invalidateProfileCache();
    QFile character(m_dir->filePath(u"vela.acs"_s));
    QVERIFY(character.open(QIODevice::WriteOnly));
    OrvellaCore::agentFactory() = [] { return std::make_unique<FakeAgent>(); };
    m_messages.clear();
    setShowMessageRecorder(&m_messages);
}

void tst_MainWindow::cleanup()
{
    if (m_tray)
        m_tray->Form_Unload();
    m_tray.reset();
    setShowMessageRecorder(nullptr);
}

void tst_MainWindow::writeSettings(const QByteArray& general)
{
    QFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\nShowTips=No\r\n" + general);
    ini.close();
    platform::invalidateProfileCache();
}

frmTray* tst_MainWindow::start(const QByteArray& general, bool writeFile)
{
    if (writeFile)
        writeSettings(general);
    m_tray = std::make_unique<frmTray>();
    m_tray->quitOnUnload = false;
    if (!m_tray->Form_Load(CommandLine::parse({u"-D"_s, m_dir->path()})))
        return nullptr;
    return m_tray.get();
}

void tst_MainWindow::storeMessages(int n)
{
    QStringList subjects;
    for (int i = 0; i < n; ++i)
        subjects << u"Subject %1"_s.arg(i);
    storeMessages(subjects);
}

void tst_MainWindow::storeMessages(const QStringList& subjects)
{
    Program().AppPath = m_dir->path();
    QDir().mkpath(CMessage::MessageFolder());
    for (int i = 0; i < subjects.size(); ++i) {
        CMessage m;
        m.m_ID = u"<%1@x>"_s.arg(i);
        m.m_Subject = subjects[i];
        m.m_FullFrom = u"\"Garden Shop\" <shop@example.org>"_s;
        m.m_Content = u"Body %1\r\n"_s.arg(i);
        QVERIFY(m.Save());
    }
}

void tst_MainWindow::commandStates()
{
    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    MessagesPage* page = main->pageMessages;
    const QList<QPushButton*> needEntry{page->cmdTellMe, page->cmdViewIt, page->cmdAddRule, page->cmdRemove};
    const QList<QAction*> menus{main->mnuRead, main->mnuView, main->mnuAddRule, main->mnuRemove};
    auto states = [&] {
        QList<bool> s;
        for (QPushButton* b : needEntry)
            s << b->isEnabled();
        for (QAction* a : menus)
            s << a->isEnabled();
        return s;
    };
    const QList<bool> allOff(8, false), allOn(8, true);

    // An empty list: nothing to read, nothing to remove.
    QCOMPARE(states(), allOff);
    QVERIFY(!page->cmdClear->isEnabled() && !main->mnuClear->isEnabled());
    QVERIFY(!main->mnuMyMailProgram->isEnabled());
    m_tray->Form_Unload();
    m_tray.reset();

    storeMessages(2);
    QVERIFY(start("EMailProgram=/bin/true\r\n"));
    main = m_tray->mainWindow();
    page = main->pageMessages;
    QCOMPARE(main->tabMain->currentIndex(), 0);
    QVERIFY(page->cmdClear->isEnabled() && main->mnuClear->isEnabled());
    QVERIFY(main->mnuMyMailProgram->isEnabled());
    QList<bool> s;
    for (QPushButton* b : {page->cmdTellMe, page->cmdViewIt, page->cmdAddRule, page->cmdRemove})
        s << b->isEnabled();
    QCOMPARE(s, QList<bool>(4, false)); // nothing selected yet

    page->selectRow(1);
    QCOMPARE(page->selectedRow(), 1);
    for (QPushButton* b : {page->cmdTellMe, page->cmdViewIt, page->cmdAddRule, page->cmdRemove})
        QVERIFY(b->isEnabled());
    for (QAction* a : {main->mnuRead, main->mnuView, main->mnuAddRule, main->mnuRemove, main->mnuClear})
        QVERIFY(a->isEnabled());
    // The preview shows the selected message.
    QCOMPARE(page->txtMessage->toPlainText(), u"Body 0\n"_s);

    // Another page: the message commands close.
    main->tabMain->setCurrentIndex(2);
    for (QPushButton* b : {page->cmdTellMe, page->cmdRemove, page->cmdClear})
        QVERIFY(!b->isEnabled());
    main->tabMain->setCurrentIndex(0);

    // Remove takes the entry away and selects its neighbour.
    page->cmdRemove->click();
    QCOMPARE(page->rowCount(), 1);
    QCOMPARE(page->selectedRow(), 0);
    QCOMPARE(QDir(m_dir->filePath(u"msg"_s)).entryList({u"*.tem"_s}).size(), 1);
}

void tst_MainWindow::panelsGiveTheirRoomToTheList()
{
    QVERIFY(start("ShowPreviewPanel=Yes\r\nShowNewMessagePanel=Yes\r\n"));
    frmMain* main = m_tray->mainWindow();
    main->resize(800, 600);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    MessagesPage* page = main->pageMessages;
    QVERIFY(main->mnuShowPreviewPanel->isChecked() && main->mnuShowNewMessagePanel->isChecked());
    QVERIFY(page->txtMessage->isVisible() && page->picNewMessages->isVisible());
    const int withBoth = page->lstMessages->height();

    main->mnuShowPreviewPanel->trigger();
    QVERIFY(!main->settings().m_ShowPreviewPanel);
    QVERIFY(!main->mnuShowPreviewPanel->isChecked());
    QTRY_VERIFY(!page->txtMessage->isVisible());
    QTRY_VERIFY(page->lstMessages->height() > withBoth);
    const int withoutPreview = page->lstMessages->height();

    main->mnuShowNewMessagePanel->trigger();
    QVERIFY(!main->settings().m_ShowNewMessagePanel);
    QTRY_VERIFY(!page->picNewMessages->isVisible());
    QTRY_VERIFY(page->lstMessages->height() > withoutPreview);
    // The toggles are saved with the other settings at exit.
    m_tray->Form_Unload();
    platform::invalidateProfileCache();
    const platform::ProfileFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QCOMPARE(ini.read(u"General"_s, u"ShowPreviewPanel"_s, {}), u"No"_s);
    QCOMPARE(ini.read(u"General"_s, u"ShowNewMessagePanel"_s, {}), u"No"_s);
}

void tst_MainWindow::geometryRoundTrip_data()
{
    QTest::addColumn<int>("state"); // Qt::WindowState at exit
    QTest::addColumn<bool>("kept");
    QTest::newRow("normal") << int(Qt::WindowNoState) << false;
    QTest::newRow("minimised") << int(Qt::WindowMinimized) << true;
    QTest::newRow("maximised") << int(Qt::WindowMaximized) << true;
}

// The offscreen screen has 96 dots per inch: 15 twips a pixel.
void tst_MainWindow::geometryRoundTrip()
{
    QFETCH(int, state);
    QFETCH(bool, kept);
    QVERIFY(start("Top=1500\r\nLeft=1500\r\nWidth=9000\r\nHeight=7500\r\n"));
    frmMain* main = m_tray->mainWindow();
    QCOMPARE(main->pos(), QPoint(100, 100));
    QCOMPARE(main->size(), QSize(600, 500));
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    main->move(120, 90);
    main->resize(640, 480);
    if (state != Qt::WindowNoState) {
        main->setWindowState(Qt::WindowState(state));
        QTRY_VERIFY(main->windowState() & Qt::WindowState(state));
    }
    m_tray->Form_Unload();
    platform::invalidateProfileCache();
    const platform::ProfileFile ini(m_dir->filePath(u"Zentra.INI"_s));
    const QStringList got{ini.read(u"General"_s, u"Top"_s, {}), ini.read(u"General"_s, u"Left"_s, {}),
                          ini.read(u"General"_s, u"Width"_s, {}), ini.read(u"General"_s, u"Height"_s, {})};
    const QStringList stored{u"1500"_s, u"1500"_s, u"9000"_s, u"7500"_s};
    const QStringList moved{u"1350"_s, u"1800"_s, u"9600"_s, u"7200"_s};
    QCOMPARE(got, kept ? stored : moved);
}

// The list once shrank a little at every restart; the split must come back
// exactly where it was left.
void tst_MainWindow::splitKeepsItsPlaceAcrossRestarts()
{
    writeSettings("ShowPreviewPanel=Yes\r\nTop=1500\r\nLeft=1500\r\nWidth=9600\r\nHeight=9000\r\nSplitTop=4500\r\n");
    for (int run = 0; run < 3; ++run) {
        QVERIFY(start({}, false)); // the file as the last run left it
        frmMain* main = m_tray->mainWindow();
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QTRY_COMPARE(main->pageMessages->splitTop(), 300); // 4500 twips
        m_tray->Form_Unload();
        m_tray.reset();
        platform::invalidateProfileCache();
        const platform::ProfileFile ini(m_dir->filePath(u"Zentra.INI"_s));
        QCOMPARE(ini.read(u"General"_s, u"SplitTop"_s, {}), u"4500"_s);
    }
}

// Dragged up, the split stops 50 twips below the last button of the column;
// dragged down, 400 twips above the page's bottom.
void tst_MainWindow::splitStaysWithinItsLimits()
{
    QVERIFY(start("ShowPreviewPanel=Yes\r\n"));
    frmMain* main = m_tray->mainWindow();
    main->resize(800, 700);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    MessagesPage* page = main->pageMessages;
    const int low = page->cmdClear->geometry().bottom() + 1 + 3;  // 50 twips: 3 pixels
    const int high = page->height() - 27;                         // 400 twips: 27 pixels
    QCOMPARE(page->minimumSplitTop(), low);
    QCOMPARE(page->maximumSplitTop(), high);
    page->setSplitTop(0);
    QTRY_VERIFY(std::abs(page->splitTop() - low) <= 1);
    page->setSplitTop(100000);
    QTRY_VERIFY(std::abs(page->splitTop() - high) <= page->splitMessages->handleWidth() + 1);
}

void tst_MainWindow::splitLimitsHoldWhenThePreviewComesOn_data()
{
    QTest::addColumn<bool>("shownAtStart");
    QTest::newRow("shown at start") << true;
    QTest::newRow("switched on from the View menu") << false;
}

// However the preview came on, dragging the split's handle stops at the
// same limits as setSplitTop does.
void tst_MainWindow::splitLimitsHoldWhenThePreviewComesOn()
{
    QFETCH(bool, shownAtStart);
    QVERIFY(start(shownAtStart ? "ShowPreviewPanel=Yes\r\n" : "ShowPreviewPanel=No\r\n"));
    frmMain* main = m_tray->mainWindow();
    main->resize(800, 700);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    MessagesPage* page = main->pageMessages;
    if (!shownAtStart) {
        QVERIFY(!page->txtMessage->isVisible());
        main->mnuShowPreviewPanel->trigger();
        QTRY_VERIFY(page->txtMessage->isVisible());
    }
    QSplitterHandle* handle = page->splitMessages->handle(1);
    QTRY_VERIFY(handle->isVisible() && handle->height() > 0);
    auto drag = [&](int toPageY) {
        const QPoint grip = handle->rect().center();
        QTest::mousePress(handle, Qt::LeftButton, {}, grip);
        const QPoint target = handle->mapFrom(page, QPoint(page->width() / 2, toPageY));
        QTest::mouseMove(handle, QPoint(grip.x(), target.y()));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(grip.x(), target.y()));
        QCoreApplication::processEvents();
    };
    drag(0);
    QTRY_VERIFY2(page->splitTop() >= page->minimumSplitTop() - 1,
                 qPrintable(u"split at %1, limit %2"_s.arg(page->splitTop()).arg(page->minimumSplitTop())));
    drag(page->height());
    QTRY_VERIFY2(page->splitTop() <= page->maximumSplitTop() + page->splitMessages->handleWidth() + 1,
                 qPrintable(u"split at %1, limit %2"_s.arg(page->splitTop()).arg(page->maximumSplitTop())));
}

// A subject of 360 characters (and a status text as long) once made the
// window three times as wide as the screen, and that width was saved. The
// texts are cut to the room there is; the whole text is in the tooltip and
// the accessible name.
void tst_MainWindow::longTextsLeaveTheWindowItsSize()
{
    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    main->resize(640, 480);
    main->move(40, 30);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    const QSize before = main->size();
    MessagesPage* page = main->pageMessages;

    QString subject;
    while (subject.size() < 360)
        subject += u"Quarterly garden-shop newsletter with every offer of the season, "_s;
    subject.truncate(360);
    const QString from =
        u"\"The Very Long Name Of A Sender Who Writes From A Mailing List\" <list@example.org>"_s;
    MessageReader::Panel panel;
    panel.newMessages = u"1 New Message"_s;
    panel.haveNewMessages = true;
    panel.messageNo = u"1 of 1"_s;
    panel.from = from;
    panel.subject = subject;
    panel.detailsShown = true;
    page->showPanel(panel);
    main->SetStatusText(u"Error: "_s + subject);
    QCoreApplication::processEvents();
    QTest::qWait(50);
    QCOMPARE(main->size(), before);
    const QRect screen = main->screen()->availableGeometry();
    QVERIFY(main->width() <= screen.width());

    QCOMPARE(page->lblSubject->text(), subject);
    QCOMPARE(page->lblSubject->toolTip(), subject);
    QCOMPARE(page->lblSubject->accessibleName(), u"Subject: "_s + subject);
    QVERIFY(page->lblSubject->width() < page->lblSubject->fontMetrics().horizontalAdvance(subject));
    QCOMPARE(page->lblFrom->toolTip(), from);
    QCOMPARE(main->statusText->toolTip(), u"Error: "_s + subject);
    QCOMPARE(main->statusText->accessibleName(), u"Status: Error: "_s + subject);

    m_tray->Form_Unload();
    platform::invalidateProfileCache();
    const platform::ProfileFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QCOMPARE(ini.read(u"General"_s, u"Width"_s, {}).toInt(), before.width() * 15);
}

void tst_MainWindow::storedGeometryComesBackOnScreen_data()
{
    QTest::addColumn<QByteArray>("stored"); // twips; 15 a pixel on the offscreen screen
    QTest::newRow("wider than the screen")
        << QByteArray("Top=1500\r\nLeft=1500\r\nWidth=36390\r\nHeight=7500\r\n");
    QTest::newRow("taller than the screen")
        << QByteArray("Top=0\r\nLeft=0\r\nWidth=9000\r\nHeight=99990\r\n");
    QTest::newRow("right of the screen")
        << QByteArray("Top=1500\r\nLeft=90000\r\nWidth=9000\r\nHeight=7500\r\n");
    QTest::newRow("above and left of it")
        << QByteArray("Top=-30000\r\nLeft=-30000\r\nWidth=9000\r\nHeight=7500\r\n");
    QTest::newRow("hanging over the edge")
        << QByteArray("Top=6000\r\nLeft=9000\r\nWidth=9000\r\nHeight=7500\r\n");
}

void tst_MainWindow::storedGeometryComesBackOnScreen()
{
    QFETCH(QByteArray, stored);
    QVERIFY(start(stored));
    frmMain* main = m_tray->mainWindow();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(QRect(main->pos(), main->size())),
             qPrintable(u"%1,%2 %3x%4 on %5x%6"_s.arg(main->x())
                            .arg(main->y())
                            .arg(main->width())
                            .arg(main->height())
                            .arg(screen.width())
                            .arg(screen.height())));
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QVERIFY(main->width() <= screen.width() && main->height() <= screen.height());
    m_tray->Form_Unload();
    platform::invalidateProfileCache();
    const platform::ProfileFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QVERIFY(ini.read(u"General"_s, u"Width"_s, {}).toInt() <= screen.width() * 15);
    QVERIFY(ini.read(u"General"_s, u"Height"_s, {}).toInt() <= screen.height() * 15);
}

// Sorted by a column, Remove selects the message that moves up into the
// removed one's place on screen, so a second Remove takes the one the user
// sees selected, not one elsewhere in the list.
void tst_MainWindow::removeSelectsTheNextMessageOnScreen()
{
    storeMessages({u"Cherry"_s, u"Apple"_s, u"Elder"_s, u"Banana"_s, u"Date"_s});
    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    MessagesPage* page = main->pageMessages;
    QTreeView* list = page->lstMessages;
    list->sortByColumn(0, Qt::AscendingOrder);
    auto onScreen = [&] {
        QStringList subjects;
        for (int row = 0; row < list->model()->rowCount(); ++row)
            subjects << list->model()->index(row, 0).data().toString();
        return subjects;
    };
    auto selected = [&] {
        const QModelIndexList rows = list->selectionModel()->selectedRows();
        return rows.isEmpty() ? QString() : rows.first().data().toString();
    };
    auto select = [&](int row) {
        list->selectionModel()->setCurrentIndex(
            list->model()->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    QCOMPARE(onScreen(), (QStringList{u"Apple"_s, u"Banana"_s, u"Cherry"_s, u"Date"_s, u"Elder"_s}));

    select(1);
    QCOMPARE(selected(), u"Banana"_s);
    page->cmdRemove->click();
    QCOMPARE(onScreen(), (QStringList{u"Apple"_s, u"Cherry"_s, u"Date"_s, u"Elder"_s}));
    QCOMPARE(selected(), u"Cherry"_s);
    page->cmdRemove->click();
    QCOMPARE(selected(), u"Date"_s);
    // Descending now; the last entry on screen removed, the new last is selected.
    list->sortByColumn(0, Qt::DescendingOrder);
    select(2);
    QCOMPARE(selected(), u"Apple"_s);
    page->cmdRemove->click();
    QCOMPARE(onScreen(), (QStringList{u"Elder"_s, u"Date"_s}));
    QCOMPARE(selected(), u"Date"_s);
    QCOMPARE(QDir(m_dir->filePath(u"msg"_s)).entryList({u"*.tem"_s}).size(), 2);
}

// Subject takes 65 % of the list's width, From the rest; the time stamp is
// to the right and shows a date and a time.
void tst_MainWindow::columnsShareTheListWidth()
{
    storeMessages(1);
    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    main->resize(900, 600);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QTreeView* list = main->pageMessages->lstMessages;
    const int w = list->viewport()->width();
    QTRY_COMPARE(list->columnWidth(0), int(std::nearbyint(w * 0.65)));
    QCOMPARE(list->columnWidth(1), w - list->columnWidth(0) - 4);
    const QModelIndex stamp = list->model()->index(0, 2);
    QVERIFY(!stamp.data().toString().startsWith(u"20"_s)); // not the raw digits
    QCOMPARE(list->model()->index(0, 1).data().toString(), u"Garden Shop"_s);
}

void tst_MainWindow::droppedTextIsSpoken()
{
    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    auto* agent = static_cast<FakeAgent*>(main->agent());
    agent->calls.clear();
    main->SpeakDroppedText(u"Dropped \\Mrk=100001\\ words"_s);
    QVERIFY(agent->calls.contains(u"Play(Read)"_s));
    const QString spoken = agent->calls.filter(u"Speak("_s).value(0);
    QVERIFY2(spoken.contains(u"Dropped"_s) && !spoken.contains(u"\\Mrk="_s), qPrintable(spoken));
    agent->calls.clear();
    main->SpeakDroppedText(QString());
    QVERIFY(agent->calls.isEmpty());
}

// Each access key reaches its one target at the first press. Captions once
// shared letters ("&Read" and " &Reminders", "&Edit" and " &Error"): Alt+R
// then moved between Read and the Reminders page by turns and never pressed Read.
void tst_MainWindow::accessKeysReachTheirTargetAtOnce()
{
    storeMessages(1);
    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    main->show();
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    main->ShowErrorTab(true);
    main->tabMain->setCurrentIndex(0);
    main->pageMessages->selectRow(0);
    main->pageMessages->lstMessages->setFocus();
    auto* agent = static_cast<FakeAgent*>(main->agent());
    agent->calls.clear();

    QTest::keyClick(main, Qt::Key_R, Qt::AltModifier);
    QTRY_VERIFY2(!agent->calls.filter(u"Speak("_s).isEmpty(), "Alt+R did not read the message");
    QCOMPARE(main->tabMain->currentIndex(), 0);
    main->cmdStopReading_Click();

    QTest::keyClick(main, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(main->tabMain->currentIndex(), 1);
    QTest::keyClick(main, Qt::Key_O, Qt::AltModifier);
    QCOMPARE(main->tabMain->currentIndex(), 3);
    QTest::keyClick(main, Qt::Key_G, Qt::AltModifier);
    QCOMPARE(main->tabMain->currentIndex(), 0);
    QTest::keyClick(main, Qt::Key_E, Qt::AltModifier);
    QTRY_VERIFY(main->mnuEdit->isVisible());
    main->mnuEdit->close();
    QCOMPARE(main->tabMain->currentIndex(), 0);
}

// The status text for a reminder file that could not be read names the file
// by its full path and says it was skipped. Longer than the window is wide,
// it is shown cut with "…", whole in its tooltip and accessible name, and the
// window keeps its width; the good reminder is loaded.
void tst_MainWindow::unreadableReminderFileIsNamedWhole()
{
    const QString folder = m_dir->filePath(u"reminders"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString bad = folder + u"/4711"_s + QString(120, u'x') + u".rmn"_s;
    QFile damaged(bad);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("[General]\r\nWhen=tomorrow-ish\r\n");
    damaged.close();
    QFile good(folder + u"/815.rmn"_s);
    QVERIFY(good.open(QIODevice::WriteOnly));
    good.write("[General]\r\nWhen=2030-01-31 15:05:00\r\n");
    good.close();

    QVERIFY(start());
    frmMain* main = m_tray->mainWindow();
    main->resize(640, 480);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QCOMPARE(main->core()->reminders()->Count(), 1);
    auto* status = main->findChild<ElidedLabel*>(u"statusText"_s);
    QVERIFY(status);
    const QString expected = u"The reminder file "_s + bad +
                             u" could not be read and was skipped. The other reminders were loaded."_s;
    QTRY_COMPARE(status->toolTip(), expected);
    QCOMPARE(status->text(), expected);
    QCOMPARE(status->accessibleName(), u"Status: "_s + expected);
    QVERIFY2(status->shownText().endsWith(u"…"_s), qPrintable(status->shownText()));
    QVERIFY(status->shownText().startsWith(u"The reminder file "_s));
    QVERIFY(status->fontMetrics().horizontalAdvance(status->shownText()) <= status->contentsRect().width());
    QCOMPARE(main->width(), 640);

    // Wide enough, it shows whole.
    main->resize(4000, 480);
    QTRY_COMPARE(status->shownText(), expected);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
