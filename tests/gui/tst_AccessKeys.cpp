// Every window's access keys, read from its real widgets offscreen: on each
// page a window can show, no two targets answer the same Alt+letter, every
// command button has a key, and no caption underlines a letter that does
// nothing. Shared letters made Alt+R land on the Reminders page or on Read by
// turns, so Read was never pressed by its key.
#include "OptionsFixture.h"
#include "WizardRig.h"
#include "support/AppRig.h"
#include "support/ProgramFolder.h"
#include "support/Widgets.h"

#include "agent/view/AgentCommands.h"
#include "app/CommandLine.h"
#include "core/OrvellaCore.h"
#include "core/message/MailMessage.h"
#include "core/reminders/Reminder.h"
#include "core/settings/Program.h"
#include "core/speech/CharacterControl.h"
#include "gui/MainWindow.h"
#include "gui/TrayIcon.h"
#include "gui/dialogs/AboutDialog.h"
#include "gui/dialogs/FilterDialog.h"
#include "gui/dialogs/NoticeWindow.h"
#include "gui/dialogs/PromptDialog.h"
#include "gui/dialogs/ReminderAlert.h"
#include "gui/dialogs/ReminderDialog.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/dialogs/TipWindow.h"
#include "gui/dialogs/ViewWindow.h"
#include "gui/options/OptionsDialog.h"
#include "gui/wizard/WebMailDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <functional>
#include <map>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

// The letters a caption marks with "&" ("&&" is a plain "&").
QList<QChar> markedLetters(const QString& caption)
{
    QList<QChar> letters;
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&') continue;
        if (caption[i + 1] == u'&') {
            ++i;
            continue;
        }
        letters << caption[i + 1].toUpper();
    }
    return letters;
}

QString describe(const QObject* o, const QString& caption)
{
    return u"%1 %2 \"%3\""_s.arg(QString::fromLatin1(o->metaObject()->className()), o->objectName(), caption);
}

QString tabName(const QString& caption)
{
    QString s = caption;
    s.remove(u'&');
    return s.trimmed();
}

bool isRichText(const QLabel* l)
{
    return l->textFormat() == Qt::RichText ||
           (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(l->text()));
}

// What one state of a window (one page of each of its page stacks) offers the keyboard.
struct KeyMap
{
    std::map<QChar, QStringList> targets; // letter: what it reaches
    QStringList problems;

    void add(const QObject* o, const QString& caption)
    {
        const QList<QChar> letters = markedLetters(caption);
        if (letters.size() > 1)
            problems << u"%1 underlines more than one letter; only the first does something"_s.arg(
                describe(o, caption));
        if (!letters.isEmpty()) targets[letters.first()] << describe(o, caption);
    }

    void read(QWidget* window)
    {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->window() != window) continue;
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                add(b, b->text());
                // A command says how to reach it; OK is the default button (Enter).
                // A web address is a link, reached with Tab as on a web page; a
                // button may name another way ("keyboardPath": F1 in its field).
                if (qobject_cast<QPushButton*>(b) && !b->text().isEmpty() &&
                    markedLetters(b->text()).isEmpty() && b->text() != u"OK"_s &&
                    !b->text().contains(u"://"_s) && !b->property("keyboardPath").isValid())
                    problems << u"%1 has no access key"_s.arg(describe(b, b->text()));
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                if (isRichText(l) || markedLetters(l->text()).isEmpty()) continue;
                if (!l->buddy())
                    problems << u"%1 underlines a letter but leads nowhere"_s.arg(describe(l, l->text()));
                else
                    add(l, l->text());
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                add(g, g->title());
            } else if (auto* t = qobject_cast<QTabBar*>(w)) {
                for (int i = 0; i < t->count(); ++i)
                    if (t->isTabVisible(i)) add(t, t->tabText(i));
            } else if (auto* m = qobject_cast<QMenuBar*>(w)) {
                for (QAction* a : m->actions())
                    if (a->isVisible() && !a->isSeparator()) add(m, a->text());
            }
        }
    }

    QStringList clashes() const
    {
        QStringList out;
        for (const auto& [letter, what] : targets)
            if (what.size() > 1) out << u"Alt+%1: %2"_s.arg(letter).arg(what.join(u", "_s));
        return out;
    }
};

// A menu is a key space of its own, open one at a time.
QStringList menuClashes(const QMenu* menu)
{
    std::map<QChar, QStringList> targets;
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;
        const QList<QChar> letters = markedLetters(a->text());
        if (letters.size() > 1) out << u"\"%1\" underlines more than one letter"_s.arg(a->text());
        if (!letters.isEmpty()) targets[letters.first()] << a->text();
    }
    for (const auto& [letter, what] : targets)
        if (what.size() > 1)
            out << u"menu %1, Alt+%2: %3"_s.arg(menu->title(), QString(letter), what.join(u", "_s));
    return out;
}

// The page stacks of window that show now and were not walked yet: a tab
// widget's, or a stack of its own.
QWidget* nextStack(QWidget* window, const QList<QWidget*>& walked)
{
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w->window() != window || walked.contains(w)) continue;
        if (qobject_cast<QTabWidget*>(w)) return w;
        if (qobject_cast<QStackedWidget*>(w) && !qobject_cast<QTabWidget*>(w->parentWidget())) return w;
    }
    return nullptr;
}

// Every combination of pages the window can show, each read as one key map.
void walkStates(QWidget* window, QList<QWidget*> walked, const QString& state, QStringList& failures)
{
    QWidget* stack = nextStack(window, walked);
    if (!stack) {
        KeyMap map;
        map.read(window);
        for (const QString& f : map.clashes() + map.problems)
            failures << u"%1%2: %3"_s.arg(window->objectName(), state, f);
        return;
    }
    walked << stack;
    auto* tabs = qobject_cast<QTabWidget*>(stack);
    auto* pages = qobject_cast<QStackedWidget*>(stack);
    const int count = tabs ? tabs->count() : pages->count();
    const int current = tabs ? tabs->currentIndex() : pages->currentIndex();
    for (int i = 0; i < count; ++i) {
        if (tabs && !tabs->isTabVisible(i)) continue;
        if (tabs)
            tabs->setCurrentIndex(i);
        else
            pages->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString name = tabs ? tabName(tabs->tabText(i)) : QString::number(i);
        walkStates(window, walked, state + u" / "_s + (name.isEmpty() ? QString::number(i) : name), failures);
    }
    if (tabs)
        tabs->setCurrentIndex(current);
    else
        pages->setCurrentIndex(current);
}

} // namespace

class tst_AccessKeys : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void eachWindowsKeysAreUnique_data();
    void eachWindowsKeysAreUnique();
    void menusKeysAreUnique();

private:
    TrayIcon* startMain();

    WizardFolders m_folders;
    std::unique_ptr<ProgramFolder> m_program;
    test::AppRig m_tray;
};

void tst_AccessKeys::initTestCase()
{
    m_folders.initTestCase();
}

void tst_AccessKeys::init()
{
    m_folders.init();
}

void tst_AccessKeys::cleanup()
{
    if (m_tray) m_tray->unload();
    m_tray.reset();
    m_program.reset();
    m_folders.cleanup();
}

TrayIcon* tst_AccessKeys::startMain()
{
    m_program = std::make_unique<ProgramFolder>();
    ProgramFolder::resetProgram();
    m_program->writeCharacter();
    m_program->writeIni("[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\nShowTips=No\r\n"
                        "ShowPreviewPanel=Yes\r\nShowNewMessagePanel=Yes\r\n");
    if (QTest::currentTestFailed()) return nullptr;
    m_tray = test::AppRig();
    if (!m_tray.load(CommandLine::parse({u"-D"_s, m_program->path()}))) return nullptr;
    return m_tray.get();
}

void tst_AccessKeys::eachWindowsKeysAreUnique_data()
{
    QTest::addColumn<QString>("window");
    for (const char* name : {"main window", "options", "wizard", "rule editor", "filter editor",
                             "reminder editor", "reminder alert", "tip", "view", "about", "message",
                             "prompt once", "prompt every message", "web mail question"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void tst_AccessKeys::eachWindowsKeysAreUnique()
{
    QFETCH(QString, window);
    QStringList failures;
    auto check = [&](QWidget* w) {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        walkStates(w, {}, QString(), failures);
    };

    if (window == u"main window"_s) {
        QVERIFY(startMain());
        MainWindow* main = m_tray->mainWindow();
        main->show();
        // What shows only at times: the Error page, Stop Talking while the character shows.
        main->ShowErrorTab(true);
        child<QPushButton>(main, u"cmdStopReading"_s)->setVisible(true);
        check(main);
    } else if (window == u"wizard"_s) {
        Rig rig;
        auto wizard = rig.open(SetupWizard::PageWelcome);
        check(wizard.get());
    } else {
        OptionsFixture f;
        MailMessage message;
        message.m_FullFrom = u"\"Garden Shop\" <shop@example.org>"_s;
        message.m_Subject = u"Seeds"_s;
        message.m_Content = u"Body\r\n"_s;
        std::unique_ptr<QWidget> w;
        Rule rule;
        Filter filter;
        Reminder reminder;
        if (window == u"options"_s) {
            auto* dlg = new OptionsDialog(*f.services);
            dlg->Init();
            w.reset(dlg);
        } else if (window == u"rule editor"_s) {
            auto* dlg = new RuleDialog(f.rules, f.speech.get());
            dlg->Init(rule, &f.agent, RuleDialog::AddMode);
            w.reset(dlg);
        } else if (window == u"filter editor"_s) {
            auto* dlg = new FilterDialog;
            dlg->Init(filter);
            w.reset(dlg);
        } else if (window == u"reminder editor"_s) {
            auto* dlg = new ReminderDialog(*f.settings, f.speech.get());
            reminder.SetCurrentRoundedHour();
            dlg->Init(&reminder, &f.agent);
            w.reset(dlg);
        } else if (window == u"reminder alert"_s) {
            w.reset(new ReminderAlert(f.speech.get()));
        } else if (window == u"tip"_s) {
            w.reset(new TipWindow(*f.settings, f.speech.get()));
        } else if (window == u"view"_s) {
            w.reset(new ViewWindow(message));
        } else if (window == u"about"_s) {
            w.reset(new AboutDialog);
        } else if (window == u"message"_s) {
            w.reset(new NoticeWindow(f.speech.get()));
        } else if (window == u"prompt once"_s) {
            w.reset(new PromptDialog(PromptDialog::Mode::Once, f.speech.get(), {message}));
        } else if (window == u"prompt every message"_s) {
            w.reset(new PromptDialog(PromptDialog::Mode::EveryMessage, f.speech.get(), {message}));
        } else if (window == u"web mail question"_s) {
            w.reset(new WebMailDialog);
        }
        QVERIFY(w);
        check(w.get());
        // What shows only at times: a server certificate to trust or forget,
        // the rule editor's text field for each kind of rule, the reminder
        // editor's controls for each kind of recurrence.
        if (window == u"options"_s) {
            auto* certificate = w->findChild<QWidget*>(u"FrameCertificate"_s);
            auto* trust = w->findChild<QWidget*>(u"cmdTrustCertificate"_s);
            auto* forget = w->findChild<QWidget*>(u"cmdForgetCertificate"_s);
            QVERIFY(certificate && trust && forget);
            certificate->setVisible(true);
            for (bool trusted : {false, true}) {
                trust->setVisible(!trusted);
                forget->setVisible(trusted);
                walkStates(w.get(), {}, u" / certificate"_s, failures);
            }
        }
        if (window == u"rule editor"_s) {
            auto* dlg = static_cast<RuleDialog*>(w.get());
            for (int type = 1; type < child<QComboBox>(dlg, u"cboRuleType"_s)->count(); ++type) {
                child<QComboBox>(dlg, u"cboRuleType"_s)->setCurrentIndex(type);
                walkStates(dlg, {}, u" / "_s + child<QComboBox>(dlg, u"cboRuleType"_s)->currentText(),
                           failures);
            }
        }
        if (window == u"reminder editor"_s) {
            auto* dlg = static_cast<ReminderDialog*>(w.get());
            for (QAbstractButton* option : dlg->findChildren<QAbstractButton*>()) {
                if (!option->isCheckable() || !option->isVisible() || !option->isEnabled()) continue;
                option->click();
                walkStates(dlg, {}, u" / "_s + option->text(), failures);
            }
        }
    }
    failures.removeDuplicates();
    for (const QString& f : failures)
        qInfo().noquote() << f;
    QVERIFY2(failures.isEmpty(), "keys clash or are missing (listed above)");
}

void tst_AccessKeys::menusKeysAreUnique()
{
    QVERIFY(startMain());
    QStringList failures;
    for (const QMenu* menu : m_tray->mainWindow()->menuBar()->findChildren<QMenu*>())
        failures << menuClashes(menu);
    failures << menuClashes(m_tray->trayMenu());
    AgentCommands commands;
    for (const auto& [name, caption] : CharacterControl::MenuCommands())
        commands.add(name, caption);
    std::unique_ptr<QMenu> character(commands.createMenu(
        nullptr, [](const QString&) {}, [] {}));
    character->setTitle(u"character"_s);
    failures << menuClashes(character.get());
    QVERIFY2(failures.isEmpty(), qPrintable(u"\n"_s + failures.join(u"\n"_s)));
}

QTEST_MAIN(tst_AccessKeys)
#include "tst_AccessKeys.moc"
