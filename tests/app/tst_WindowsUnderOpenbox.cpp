// The program's windows under a real window manager (Openbox on a private
// Xvfb), read back from the window manager's own stacking order
// (_NET_CLIENT_LIST_STACKING) and its active window: the character and its
// balloon never cover a dialog of the program (the character steps beside
// it, or the dialog stays above), a reminder alert stays usable beside the
// reminder editor and never sits over a modal dialog it cannot be used
// beside, and several alerts fan out with the newest on top and focused.
#include "app/DialogsAboveCharacter.h"
#include "reminders/CReminder.h"
#include "reminders/frmAddEditReminder.h"
#include "reminders/frmReminder.h"
#include "rules/CRule.h"
#include "rules/frmAddEditRule.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "speech/CharacterControl.h"
#include "speech/SpeechOutput.h"
#include "speech/agent/AgentEngine.h"
#include "speech/agent/BalloonWindow.h"
#include "speech/agent/CharacterWindow.h"
#include "ui/StayAboveCharacter.h"
#include "ui/frmMessage.h"
#include "ui/frmTip.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

QString xprop(const QStringList& args)
{
    QProcess p;
    p.start(u"xprop"_s, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The managed windows from bottom to top, as the window manager stacks them.
QList<WId> stacking()
{
    QList<WId> ids;
    static const QRegularExpression id(u"0x[0-9a-f]+"_s);
    const QString out = xprop({u"-root"_s, u"_NET_CLIENT_LIST_STACKING"_s});
    for (auto it = id.globalMatch(out.mid(out.indexOf(u'#'))); it.hasNext();)
        ids << WId(it.next().captured().toULongLong(nullptr, 16));
    return ids;
}

WId activeWindow()
{
    static const QRegularExpression id(u"0x[0-9a-f]+"_s);
    const QString out = xprop({u"-root"_s, u"_NET_ACTIVE_WINDOW"_s});
    return WId(id.match(out.mid(out.indexOf(u'#'))).captured().toULongLong(nullptr, 16));
}

// A window as it stands on the screen, its frame included.
QRect onScreen(const QWidget* w)
{
    return w->frameGeometry();
}

QString describe(const QWidget* w)
{
    return u"%1 \"%2\" at %3,%4 %5x%6"_s.arg(w->objectName(), w->windowTitle())
        .arg(onScreen(w).x())
        .arg(onScreen(w).y())
        .arg(onScreen(w).width())
        .arg(onScreen(w).height());
}

void clickAt(const QPoint& global)
{
    QProcess::execute(u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, QString::number(global.x()),
                                     QString::number(global.y()), u"click"_s, u"1"_s});
}

} // namespace

class tst_WindowsUnderOpenbox : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void tipWindowsNextTip();
    void helpMeMessage();
    void rulePreviewIsSeenBesideTheEditor();
    void alertUsableBesideTheReminderEditor();
    void alertNeverOverAModalDialogItCannotBeUsedBeside();
    void alertsFanOutNewestOnTop();

private:
    // Every pair of a visible dialog and the character or its balloon that
    // overlap on the screen, where the character's window is above the dialog.
    QStringList covered() const;
    // Watches covered() for a while; the first findings, if any.
    QStringList watchCovered(int ms, const std::function<bool()>& until = {}) const;

    QTemporaryDir m_dir;
    // The program's main window, which the dialogs belong to as they do in the program.
    std::unique_ptr<QWidget> m_main;
    std::unique_ptr<CSettings> m_settings;
    std::unique_ptr<AgentEngine> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
    std::unique_ptr<CharacterControl> m_character;
    std::unique_ptr<DialogsAboveCharacter> m_keeper; // as the program installs it
};

void tst_WindowsUnderOpenbox::initTestCase()
{
    QVERIFY2(xprop({u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}).contains(u"window id"_s),
             "no window manager runs (tests/scripts/openbox-session.sh)");
}

void tst_WindowsUnderOpenbox::init()
{
    Program().AppPath = m_dir.path();
    QFile tips(m_dir.filePath(u"TIPS.TXT"_s));
    QVERIFY(tips.open(QIODevice::WriteOnly));
    tips.write(
        "The character reads your new mail aloud.\r\nDouble-click the character to hear the clipboard.\r\n");
    tips.close();
    m_main = std::make_unique<QWidget>();
    m_main->setObjectName(u"frmMain"_s);
    m_main->setWindowTitle(u"Orvella"_s);
    m_main->resize(640, 480);
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    m_settings = std::make_unique<CSettings>(m_dir.path());
    m_settings->m_Position = 0; // the middle of the screen, where the dialogs open too
    m_settings->m_Hide = false;
    m_agent = std::make_unique<AgentEngine>();
    m_keeper = std::make_unique<DialogsAboveCharacter>();
    m_keeper->agent = [this] { return m_agent.get(); };
    QVERIFY(m_agent->Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
    m_agent->setWidth(160);
    m_agent->setHeight(160);
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    m_character = std::make_unique<CharacterControl>(*m_agent, *m_settings);
    m_character->screenGeometry = [] { return QGuiApplication::primaryScreen()->availableGeometry(); };
    m_speech->placeCharacter = [this] { m_character->SetAgentPos(); };
    m_character->SetAgentPos();
    m_agent->Show(true);
    QTRY_VERIFY(m_agent->characterWindow()->isVisible());
}

void tst_WindowsUnderOpenbox::cleanup()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(w) && w->isVisible()) w->close();
    m_agent->StopAll();
    m_speech.reset();
    m_character.reset();
    m_keeper.reset();
    m_agent.reset();
    m_main.reset();
    QTest::qWait(100);
}

QStringList tst_WindowsUnderOpenbox::covered() const
{
    QStringList found;
    const QList<WId> order = stacking();
    for (QWidget* top : {static_cast<QWidget*>(m_agent->characterWindow()),
                         static_cast<QWidget*>(m_agent->balloonWindow())}) {
        if (!top->isVisible()) continue;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!qobject_cast<QDialog*>(w) || !w->isVisible()) continue;
            if (!onScreen(w).intersects(top->geometry())) continue;
            if (order.indexOf(top->winId()) > order.indexOf(w->winId()))
                found << describe(top) + u" covers "_s + describe(w);
        }
    }
    return found;
}

QStringList tst_WindowsUnderOpenbox::watchCovered(int ms, const std::function<bool()>& until) const
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms && !(until && until())) {
        const QStringList found = covered();
        if (!found.isEmpty()) return found;
        QTest::qWait(50);
    }
    return {};
}

// "Next Tip" speaks the tip: the character shows itself and talks, in the
// middle of the screen where the tip window is.
void tst_WindowsUnderOpenbox::tipWindowsNextTip()
{
    frmTip tip(*m_settings, m_speech.get(), m_main.get());
    QStringList found;
    QString failure = u"the tip never opened"_s;
    QTimer::singleShot(300, this, [&] {
        const auto closeTip = qScopeGuard([&] { tip.reject(); });
        found = watchCovered(500);
        for (int i = 0; i < 2 && found.isEmpty(); ++i) {
            tip.cmdNextTip->click();
            if (!QTest::qWaitFor([&] { return m_agent->isBusy(); }, 5000)) return;
            found = watchCovered(8000, [&] { return !m_agent->isBusy(); });
        }
        failure.clear();
    });
    tip.exec();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(u"\n"_s)));
}

// "Help Me" opens the program's message window and has the character say it.
void tst_WindowsUnderOpenbox::helpMeMessage()
{
    QStringList found;
    bool checked = false;
    QTimer::singleShot(0, this, [&] {
        const auto closeMessage = qScopeGuard([] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == u"frmMessage"_s && w->isVisible()) w->close();
        });
        // It speaks once it has the keyboard.
        QTest::qWaitFor([&] { return m_agent->balloonWindow()->isVisible(); }, 10000);
        found = watchCovered(8000, [&] { return !m_agent->isBusy(); });
        checked = true;
    });
    ShowMessage(m_speech.get(),
                u"Your incoming mail server is the computer your mail waits on. Your provider's "
                u"set-up page names it (Example: pop.example.com)."_s,
                true, u"Suggest"_s, m_main.get());
    QVERIFY(checked);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(u"\n"_s)));
}

// Preview shows the gesture: the character steps beside the editor rather
// than behind or over it, so the gesture is seen and the editor stays usable.
void tst_WindowsUnderOpenbox::rulePreviewIsSeenBesideTheEditor()
{
    RuleList rules;
    CRule rule;
    frmAddEditRule editor(rules, m_speech.get(), m_main.get());
    editor.Init(rule, m_agent.get(), frmAddEditRule::AddMode);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QTest::qWait(300);
    editor.cmdPreviewGesture->click();
    QTRY_VERIFY(m_agent->characterWindow()->isVisible());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 4000 && m_agent->isBusy()) {
        const QRect character = m_agent->characterWindow()->geometry();
        QVERIFY2(!character.intersects(onScreen(&editor)),
                 qPrintable(describe(m_agent->characterWindow()) + u" over "_s + describe(&editor)));
        QVERIFY2(QGuiApplication::primaryScreen()->geometry().contains(character),
                 qPrintable(describe(m_agent->characterWindow()) + u" off the screen"_s));
        const QStringList found = covered();
        QVERIFY2(found.isEmpty(), qPrintable(found.join(u"\n"_s)));
        QTest::qWait(50);
    }
    // The editor closed, the character is back where it stands.
    editor.close();
    m_agent->StopAll();
    m_character->SetAgentPos();
    m_speech->SayAndPlay(u"Back."_s, u"None"_s, false, true);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QTRY_COMPARE(m_agent->characterWindow()->geometry().center(), screen.center());
}

// A due reminder's alert stays usable while the reminder editor is open:
// its Close, clicked on the screen, closes it.
void tst_WindowsUnderOpenbox::alertUsableBesideTheReminderEditor()
{
    QString failure = u"the alert never opened"_s;
    QTimer::singleShot(300, this, [&] {
        // The editor closes whatever happens here, or the test would wait in it.
        const auto closeEditor = qScopeGuard([] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->objectName() == u"frmAddEditReminder"_s && w->isVisible()) w->close();
        });
        QPointer<frmReminder> alert = frmReminder::Open(m_speech.get(), u"Water the plants"_s);
        if (!QTest::qWaitForWindowExposed(alert)) return;
        QTest::qWait(300);
        clickAt(alert->cmdDismiss->mapToGlobal(alert->cmdDismiss->rect().center()));
        failure = QTest::qWaitFor([&] { return !alert || !alert->isVisible(); }, 5000)
                      ? QString()
                      : u"the alert's Close did nothing while the editor was open"_s;
        if (alert) alert->close();
    });
    CReminder reminder;
    reminder.SetCurrentRoundedHour();
    frmAddEditReminder editor(*m_settings, m_speech.get(), m_main.get());
    editor.Init(&reminder, m_agent.get());
    editor.exec();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

// An alert open before a modal dialog (here a question of the program, on
// top of the alert's spot) either stays under the dialog or is usable beside
// it: it never sits over a dialog it cannot be used beside.
void tst_WindowsUnderOpenbox::alertNeverOverAModalDialogItCannotBeUsedBeside()
{
    QPointer<frmReminder> alert = frmReminder::Open(m_speech.get(), u"Call the garage"_s);
    QVERIFY(QTest::qWaitForWindowExposed(alert));
    QString failure = u"the question never opened"_s;
    QDialog question(m_main.get());
    StayAboveCharacter(&question);
    question.setObjectName(u"question"_s);
    question.setWindowTitle(u"Remove All"_s);
    question.resize(400, 200);
    question.move(alert->frameGeometry().center() - QPoint(200, 100));
    auto alertAboveQuestion = [&] {
        const QList<WId> order = stacking();
        return alert && onScreen(alert).intersects(onScreen(&question)) &&
               order.indexOf(alert->winId()) > order.indexOf(question.winId());
    };
    QTimer::singleShot(500, this, [&] {
        const auto closeQuestion = qScopeGuard([&] { question.reject(); });
        // A click on the alert, as a user reaching for it would.
        clickAt(alert->mapToGlobal(QPoint(alert->width() / 2, 10)));
        QTest::qWait(500);
        if (!alertAboveQuestion()) {
            failure.clear();
            return;
        }
        clickAt(alert->cmdDismiss->mapToGlobal(alert->cmdDismiss->rect().center()));
        failure = QTest::qWaitFor([&] { return !alert || !alert->isVisible(); }, 5000)
                      ? QString()
                      : u"the alert sits over the question and its Close does nothing"_s;
    });
    question.exec();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    if (alert) alert->close();
}

// Alerts that open one after another fan out: each is seen, the newest on
// top with the keyboard, so Enter closes the one the user sees.
void tst_WindowsUnderOpenbox::alertsFanOutNewestOnTop()
{
    QList<QPointer<frmReminder>> alerts;
    for (const QString& text : {u"Water the plants"_s, u"Call the garage"_s, u"Bring the tent back"_s}) {
        alerts << frmReminder::Open(m_speech.get(), text);
        QVERIFY(QTest::qWaitForWindowExposed(alerts.last()));
        QTRY_COMPARE(activeWindow(), alerts.last()->winId());
    }
    QTest::qWait(300);
    const QList<WId> order = stacking();
    for (int i = 0; i < alerts.size(); ++i) {
        for (int j = i + 1; j < alerts.size(); ++j) {
            QVERIFY2(onScreen(alerts[i]).topLeft() != onScreen(alerts[j]).topLeft(),
                     qPrintable(describe(alerts[i]) + u" and "_s + describe(alerts[j])));
            QVERIFY2(order.indexOf(alerts[j]->winId()) > order.indexOf(alerts[i]->winId()),
                     qPrintable(describe(alerts[j]) + u" under the older "_s + describe(alerts[i])));
        }
        // Each shows its title bar and its text, not hidden under the next.
        if (i + 1 < alerts.size()) {
            const QRect next = onScreen(alerts[i + 1]);
            QVERIFY(next.top() > onScreen(alerts[i]).top() || next.left() > onScreen(alerts[i]).left());
        }
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(onScreen(alerts[i])));
    }
    QCOMPARE(activeWindow(), alerts.last()->winId());
    QCOMPARE(QApplication::focusWidget(), alerts.last()->txtReminder);
    // Enter closes the newest, the one on top.
    QProcess::execute(u"xdotool"_s, {u"key"_s, u"Return"_s});
    QTRY_VERIFY(!alerts.last() || !alerts.last()->isVisible());
    QVERIFY(alerts[0]->isVisible() && alerts[1]->isVisible());
    for (auto& a : alerts)
        if (a) a->close();
}

QTEST_MAIN(tst_WindowsUnderOpenbox)
#include "tst_WindowsUnderOpenbox.moc"
