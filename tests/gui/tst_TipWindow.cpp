// The tip of the day: which tip shows and in what order, what the character
// says, the missing file, the "Show tips at startup" box and the opener's guard.
#include "WindowShots.h"
#include "support/Widgets.h"

#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "gui/dialogs/TipWindow.h"
#include "support/FakeAgent.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;
using orvella::test::FakeAgent;

Q_DECLARE_METATYPE(TipWindow::FirstTip)

namespace {

const QByteArray threeTips = "Press Stop Talking to silence the character\r\n"
                             "Rules can silence a sender\r\n"
                             "Filters drop quoted lines\r\n";

// A program folder with the given tip file (none for nullopt), the settings
// and a recording character.
struct TipRig
{
    QTemporaryDir folder;
    Settings settings{folder.path()};
    FakeAgent agent;
    SpeechOutput speech{agent, settings};

    explicit TipRig(const std::optional<QByteArray>& tipFile)
    {
        Program().AppPath = folder.path();
        settings.m_Hide = false;
        if (tipFile) {
            QFile f(folder.filePath(u"TIPS.TXT"_s));
            if (f.open(QIODevice::WriteOnly)) f.write(*tipFile);
        }
    }

    // A tip window whose random choice is fixed, shown and activated.
    std::unique_ptr<TipWindow> open(double random = 0.0,
                                    TipWindow::FirstTip first = TipWindow::FirstTip::CutsSpeech)
    {
        auto dlg = std::make_unique<TipWindow>(settings, &speech, nullptr, [random] { return random; });
        dlg->m_FirstTip = first;
        dlg->show();
        dlg->activateWindow();
        if (!QTest::qWaitFor([&] { return dlg->Activated; })) return nullptr;
        return dlg;
    }

    QString spoken(const QString& text) const
    {
        return u"Speak("_s + SpeechTagPrefix(settings) + text + u')';
    }
};

} // namespace

class tst_TipWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readTips_data();
    void readTips();
    void firstTipThenNextWraps_data();
    void firstTipThenNextWraps();
    void tipComesWithoutActivation();
    void tipEndingInFullStopGetsAnother();
    void whatIsSpoken_data();
    void whatIsSpoken();
    void speechTagsInTipAreSpokenAsText();
    void missingOrEmptyFileIsSilent_data();
    void missingOrEmptyFileIsSilent();
    void checkBoxReachesSetting_data();
    void checkBoxReachesSetting();
    void showTipGuardsSecondWindow();
    void controlsAreNamedAndReachable();
    void fitsInEveryTheme();
};

void tst_TipWindow::readTips_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("tips");
    QTest::newRow("CR LF") << QByteArray("one\r\ntwo\r\n") << QStringList{u"one"_s, u"two"_s};
    QTest::newRow("LF") << QByteArray("one\ntwo\n") << QStringList{u"one"_s, u"two"_s};
    QTest::newRow("lone CR") << QByteArray("one\rtwo") << QStringList{u"one"_s, u"two"_s};
    QTest::newRow("last line without end") << QByteArray("one\r\ntwo") << QStringList{u"one"_s, u"two"_s};
    QTest::newRow("empty lines are tips")
        << QByteArray("one\r\n\r\nthree\r\n") << QStringList{u"one"_s, QString(), u"three"_s};
    QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{QString()};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("UTF-8") << QByteArray("Caf\xc3\xa9 tip\r\n") << QStringList{u"Café tip"_s};
    QTest::newRow("Windows-1252") << QByteArray("Caf\xe9 \x93tip\x94\r\n") << QStringList{u"Café “tip”"_s};
    QTest::newRow("blanks kept") << QByteArray("  indented \r\n") << QStringList{u"  indented "_s};
}

void tst_TipWindow::readTips()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, tips);
    TipRig rig(bytes);
    QStringList read{u"left over"_s};
    QCOMPARE(TipWindow::ReadTips(rig.folder.filePath(u"TIPS.TXT"_s), read), TipWindow::FileState::Read);
    QCOMPARE(read, tips);
    QCOMPARE(TipWindow::ReadTips(rig.folder.filePath(u"NONE.TXT"_s), read), TipWindow::FileState::Missing);
    QVERIFY(read.isEmpty());
}

void tst_TipWindow::firstTipThenNextWraps_data()
{
    QTest::addColumn<double>("random");
    QTest::addColumn<int>("first");
    QTest::newRow("low end picks the first") << 0.0 << 1;
    QTest::newRow("middle picks the second") << 0.5 << 2;
    QTest::newRow("high end picks the third") << 0.9999 << 3;
    QTest::newRow("a source returning 1 stays on the last") << 1.0 << 3;
}

void tst_TipWindow::firstTipThenNextWraps()
{
    QFETCH(double, random);
    QFETCH(int, first);
    const QStringList tips{u"Press Stop Talking to silence the character."_s,
                           u"Rules can silence a sender."_s, u"Filters drop quoted lines."_s};
    TipRig rig(threeTips);
    auto dlg = rig.open(random);
    QVERIFY(dlg);
    QCOMPARE(dlg->CurrentTip, first);
    QCOMPARE(child<QLabel>(dlg, u"lblTipText"_s)->text(), tips[first - 1]);
    // Activated again (the user came back to the window): no new tip.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(dlg.get(), &activate);
    QCOMPARE(dlg->CurrentTip, first);

    int expected = first;
    for (int step = 0; step < 4; ++step) {
        child<QPushButton>(dlg, u"cmdNextTip"_s)->click();
        expected = expected == 3 ? 1 : expected + 1;
        QCOMPARE(dlg->CurrentTip, expected);
        QCOMPARE(child<QLabel>(dlg, u"lblTipText"_s)->text(), tips[expected - 1]);
    }
}

namespace {
// Keeps activation events from a window, as a window manager that keeps new
// windows from taking the focus does.
struct NoActivation : QObject
{
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::WindowActivate; }
};
} // namespace

void tst_TipWindow::tipComesWithoutActivation()
{
    TipRig rig(threeTips);
    TipWindow dlg(rig.settings, &rig.speech, nullptr, [] { return 0.0; });
    NoActivation filter;
    dlg.installEventFilter(&filter);
    dlg.show();
    QTRY_COMPARE(child<QLabel>(&dlg, u"lblTipText"_s)->text(),
                 u"Press Stop Talking to silence the character."_s);
    QVERIFY(rig.agent.calls.contains(rig.spoken(u"Here is a tip..."_s)));
    // Activated later, it stays on that tip.
    dlg.removeEventFilter(&filter);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&dlg, &activate);
    QCOMPARE(dlg.CurrentTip, 1);
    QCOMPARE(rig.agent.calls.count(rig.spoken(u"Here is a tip..."_s)), 1);
}

void tst_TipWindow::tipEndingInFullStopGetsAnother()
{
    TipRig rig(QByteArray("Orvella never deletes mail.\r\n"));
    auto dlg = rig.open();
    QVERIFY(dlg);
    QCOMPARE(child<QLabel>(dlg, u"lblTipText"_s)->text(), u"Orvella never deletes mail.."_s);
    QVERIFY(rig.agent.calls.contains(rig.spoken(u"Orvella never deletes mail.."_s)));
}

void tst_TipWindow::whatIsSpoken_data()
{
    QTest::addColumn<TipWindow::FirstTip>("first");
    QTest::newRow("first tip cuts speech") << TipWindow::FirstTip::CutsSpeech;
    QTest::newRow("first tip waits for the greeting") << TipWindow::FirstTip::WaitsForSpeech;
}

void tst_TipWindow::whatIsSpoken()
{
    QFETCH(TipWindow::FirstTip, first);
    TipRig rig(threeTips);
    // Tips are spoken whatever the behaviour setting, and the character hides
    // after the tip (not after the introduction) when it hides when idle.
    rig.settings.m_Behavior = 3;
    rig.settings.m_Hide = true;
    auto dlg = rig.open(0.5, first);
    QVERIFY(dlg);
    QStringList firstCalls{u"Show(fast)"_s, u"Play(Suggest)"_s, rig.spoken(u"Here is a tip..."_s),
                           u"Show(fast)"_s, u"Play(Read)"_s,    rig.spoken(u"Rules can silence a sender."_s),
                           u"Hide(fast)"_s};
    if (first == TipWindow::FirstTip::CutsSpeech)
        firstCalls = QStringList{u"StopAll"_s, u"Hide(fast)"_s} + firstCalls;
    QCOMPARE(rig.agent.takeCalls(), firstCalls);
    // "Next Tip" always cuts the tip being read.
    child<QPushButton>(dlg, u"cmdNextTip"_s)->click();
    QCOMPARE(rig.agent.takeCalls(),
             (QStringList{u"StopAll"_s, u"Hide(fast)"_s, u"Show(fast)"_s, u"Play(Read)"_s,
                          rig.spoken(u"Filters drop quoted lines."_s), u"Hide(fast)"_s}));
}

void tst_TipWindow::speechTagsInTipAreSpokenAsText()
{
    TipRig rig(QByteArray("Type \\Mrk=100001\\ to test\r\n"));
    auto dlg = rig.open();
    QVERIFY(dlg);
    QCOMPARE(child<QLabel>(dlg, u"lblTipText"_s)->text(), u"Type \\Mrk=100001\\ to test."_s);
    QVERIFY(rig.agent.calls.contains(rig.spoken(NeutralizeSpeechTags(u"Type \\Mrk=100001\\ to test."_s))));
    QVERIFY(!rig.agent.calls.contains(rig.spoken(u"Type \\Mrk=100001\\ to test."_s)));
}

void tst_TipWindow::missingOrEmptyFileIsSilent_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing") << false << QString();
    QTest::newRow("empty") << true << u"TIPS.TXT file holds no tips."_s;
}

void tst_TipWindow::missingOrEmptyFileIsSilent()
{
    QFETCH(bool, exists);
    QFETCH(QString, text);
    TipRig rig(exists ? std::optional<QByteArray>(QByteArray()) : std::nullopt);
    if (text.isEmpty())
        text = u"TIPS.TXT file was not found.\n\nTips are not available. Make sure that the "_s +
               rig.folder.path() + u" folder contains the TIPS.TXT file."_s;
    auto dlg = rig.open();
    QVERIFY(dlg);
    QCOMPARE(child<QLabel>(dlg, u"lblTipText"_s)->text(), text);
    QVERIFY(!child<QPushButton>(dlg, u"cmdNextTip"_s)->isEnabled());
    dlg->nextTip();
    QCOMPARE(child<QLabel>(dlg, u"lblTipText"_s)->text(), text);
    QCOMPARE(dlg->CurrentTip, 0);
    QVERIFY2(rig.agent.calls.isEmpty(), qPrintable(rig.agent.calls.join(u", "_s)));
}

void tst_TipWindow::checkBoxReachesSetting_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("click");
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("unticked, closed with OK") << true << true << false;
    QTest::newRow("ticked again, closed with Escape") << false << true << true;
    QTest::newRow("left ticked") << true << false << false;
    QTest::newRow("left unticked") << false << false << true;
}

void tst_TipWindow::checkBoxReachesSetting()
{
    QFETCH(bool, before);
    QFETCH(bool, click);
    QFETCH(bool, byEscape);
    TipRig rig(threeTips);
    rig.settings.m_ShowTips = before;
    auto dlg = rig.open();
    QVERIFY(dlg);
    QCOMPARE(child<QCheckBox>(dlg, u"chkLoadTipsAtStartup"_s)->isChecked(), before);
    if (click) {
        // A mnemonic presses its button after a short animation.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(child<QCheckBox>(dlg, u"chkLoadTipsAtStartup"_s)->isChecked(), !before);
    }
    // The setting changes only when the window closes.
    QCOMPARE(rig.settings.m_ShowTips, before);
    if (byEscape)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else
        child<QPushButton>(dlg, u"cmdOK"_s)->click();
    QVERIFY(!dlg->isVisible());
    QCOMPARE(rig.settings.m_ShowTips, click ? !before : before);
}

void tst_TipWindow::showTipGuardsSecondWindow()
{
    TipRig rig(threeTips);
    rig.agent.AddCommand(u"Orvella Tip"_s, u"Orvella &Tip"_s);
    rig.agent.setCommandEnabled(u"Orvella Tip"_s, true);

    bool secondShown = true, flagWhileOpen = false, commandWhileOpen = true, showingWhileOpen = false;
    int tipWindows = 0;
    QTimer::singleShot(100, this, [&] {
        auto* dlg = qobject_cast<TipWindow*>(QApplication::activeModalWidget());
        QVERIFY(dlg);
        flagWhileOpen = QApplication::activeModalWidget() != nullptr;
        commandWhileOpen = rig.agent.commandEnabled(u"Orvella Tip"_s);
        showingWhileOpen = TipWindow::TipShowing();
        secondShown = TipWindow::ShowTip(rig.settings, &rig.speech, nullptr);
        for (QWidget* w : QApplication::topLevelWidgets())
            tipWindows += qobject_cast<TipWindow*>(w) && w->isVisible();
        child<QPushButton>(dlg, u"cmdOK"_s)->click();
    });
    QVERIFY(TipWindow::ShowTip(rig.settings, &rig.speech, nullptr, TipWindow::FirstTip::CutsSpeech,
                               [] { return 0.0; }));
    QVERIFY(flagWhileOpen);
    QVERIFY(!commandWhileOpen);
    QVERIFY(showingWhileOpen);
    QVERIFY(!secondShown);
    QCOMPARE(tipWindows, 1);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(rig.agent.commandEnabled(u"Orvella Tip"_s));
    QVERIFY(!TipWindow::TipShowing());
    // The guard is released: the next request opens a window again.
    QTimer::singleShot(100, this, [] {
        if (auto* dlg = qobject_cast<TipWindow*>(QApplication::activeModalWidget()))
            child<QPushButton>(dlg, u"cmdOK"_s)->click();
    });
    QVERIFY(TipWindow::ShowTip(rig.settings, &rig.speech, nullptr));
}

void tst_TipWindow::controlsAreNamedAndReachable()
{
    TipRig rig(threeTips);
    auto dlg = rig.open();
    QVERIFY(dlg);
    QCOMPARE(dlg->windowTitle(), u"Orvella Tip"_s);
    QCOMPARE(child<QLabel>(dlg, u"lblHeading"_s)->text(), u"Here is a tip..."_s);
    const QList<std::pair<QWidget*, QString>> named{
        {(QWidget*)child<QCheckBox>(dlg, u"chkLoadTipsAtStartup"_s), u"Show tips at startup"_s},
        {(QWidget*)child<QPushButton>(dlg, u"cmdNextTip"_s), u"Next Tip"_s},
        {(QWidget*)child<QPushButton>(dlg, u"cmdOK"_s), u"OK"_s}};
    for (const auto& [w, name] : named)
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name), name);
    QCOMPARE(
        QAccessible::queryAccessibleInterface(child<QLabel>(dlg, u"lblTipText"_s))->text(QAccessible::Name),
        child<QLabel>(dlg, u"lblTipText"_s)->text());

    // Tab walks tip, check box, Next Tip, OK; Alt+N is Next Tip.
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(dlg, u"cmdOK"_s));
    QList<QWidget*> order;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << QApplication::focusWidget();
    }
    QCOMPARE(order, (QList<QWidget*>{child<QWidget>(dlg, u"lblTipText"_s),
                                     child<QWidget>(dlg, u"chkLoadTipsAtStartup"_s),
                                     child<QWidget>(dlg, u"cmdNextTip"_s), child<QWidget>(dlg, u"cmdOK"_s)}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
    QTRY_COMPARE(dlg->CurrentTip, 2);
}

void tst_TipWindow::fitsInEveryTheme()
{
    // A long tip and the long not-found text must wrap inside the window.
    const std::optional<QByteArray> files[] = {
        QByteArray("Closing the main window does not end Orvella: it keeps checking mail from the "
                   "notification area. Use Exit to end it\r\n"),
        std::nullopt};
    const QString names[] = {u"tip"_s, u"tip-missing"_s};
    for (int i = 0; i < 2; ++i) {
        TipRig rig(files[i]);
        test::forEachTheme([&](const QString& suffix) {
            auto dlg = rig.open();
            QVERIFY(dlg);
            test::verifyInside(dlg.get());
            test::saveScreenshot(dlg.get(), names[i] + suffix);
        });
    }
}

QTEST_MAIN(tst_TipWindow)
#include "tst_TipWindow.moc"
