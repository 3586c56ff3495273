#pragma once

// What the wizard's tests share: the objects the main window holds while the
// wizard runs at start-up, a fresh program folder and configuration folder
// per test, and keyboard helpers.

#include "core/mail/Account.h"
#include "core/mail/Accounts.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "gui/widgets/Dialogs.h"
#include "gui/wizard/SetupWizard.h"
#include "platform/ProfileFile.h"
#include "platform/Shell.h"
#include "support/FakeAgent.h"
#include "support/Files.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace orvella::test {

using namespace Qt::Literals::StringLiterals;

constexpr int Yes = 1, No = 0, NotAsked = -1;

// Everything the wizard works with, as the main window holds it during start-up.
struct Rig
{
    Rig()
    {
        settings.LoadInitial();
        accounts = LoadAccounts();
        character.screenGeometry = [] { return QRect(0, 0, 1024, 768); };
        speech.placeCharacter = [this] { character.SetAgentPos(); };
    }

    std::unique_ptr<SetupWizard> open(int startPage)
    {
        auto wizard = std::make_unique<SetupWizard>(settings, accounts, &speech, &character);
        wizard->askAboutWebMail = [this](const QString& question) {
            questions.append(question);
            return answers.isEmpty() ? 1 : answers.takeFirst();
        };
        wizard->Init(startPage);
        wizard->show();
        wizard->activateWindow();
        return wizard;
    }

    // The texts spoken since the last call, and "Hide" where the character hid.
    QStringList spoken()
    {
        QStringList out;
        const QString prefix = SpeechTagPrefix(settings);
        for (const QString& call : agent.takeCalls()) {
            if (call.startsWith(u"Speak("_s))
                out.append(call.mid(6 + prefix.size()).chopped(1));
            else if (call.startsWith(u"Hide("_s) && !out.isEmpty())
                out.append(u"Hide"_s);
        }
        return out;
    }

    Settings settings{AppPath()};
    AccountList accounts;
    FakeAgent agent;
    SpeechOutput speech{agent, settings};
    CharacterControl character{agent, settings};
    QStringList questions; // asked by the web mail check
    QList<int> answers;    // its answers, in order (option 1 when none is left)
};

inline QWidget* focused()
{
    return QApplication::focusWidget();
}

// Types into whatever has the keyboard focus, then presses Enter.
inline void typeAndEnter(const QString& text)
{
    QVERIFY(focused());
    if (!text.isEmpty()) QTest::keyClicks(focused(), text);
    QTest::keyClick(focused(), Qt::Key_Return);
}

inline QString ini(const QString& section, const QString& key)
{
    platform::invalidateProfileCache();
    return ReadIni(section, key, u"<absent>"_s, Account::settingsFile());
}

// A program folder, a configuration folder (for the log-in start) and a home
// folder without mail programs, fresh for each test; web addresses recorded.
struct WizardFolders
{
    void initTestCase()
    {
        qunsetenv("WINEPREFIX");
        qputenv("HOME", home.path().toUtf8());
    }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        Program().AppPath = dir->path() + u"/program"_s;
        QDir().mkpath(AppPath());
        Program().SupportURL = QString::fromUtf16(DefaultSupportURL);
        qputenv("XDG_CONFIG_HOME", (dir->path() + u"/config"_s).toUtf8());
        qputenv("HOME", home.path().toUtf8());
        platform::invalidateProfileCache();
        Dialogs::reset();
        opened.clear();
        platform::setShellRecorder(&opened);
    }

    void cleanup()
    {
        platform::setShellRecorder(nullptr);
        QVERIFY2(Dialogs::takeAsked().isEmpty(), "a message box nobody expected");
        dir.reset();
    }

    std::unique_ptr<QTemporaryDir> dir;
    QTemporaryDir home;
    QStringList opened; // web addresses the wizard opened
};

} // namespace orvella::test
