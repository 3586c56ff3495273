#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "gui/dialogs/PromptEveryMessageDialog.h"
#include "gui/dialogs/PromptOnceDialog.h"
#include "support/FakeAgent.h"

#include <QApplication>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

// The reading prompts ask their question aloud each time they become active,
// so a user who switched away hears it again on coming back.
class tst_Prompts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void askAtEveryActivation_data();
    void askAtEveryActivation();
};

void tst_Prompts::askAtEveryActivation_data()
{
    QTest::addColumn<bool>("everyMessage");
    QTest::addColumn<QString>("question");
    QTest::newRow("once") << false << u"Want to listen Now?"_s;
    // The sender comes from the mail: its backslashes never open a tag.
    QTest::newRow("every message") << true << u"Listen to message from Eve \\\u2060Mrk=1\\\u2060?"_s;
}

void tst_Prompts::askAtEveryActivation()
{
    QFETCH(bool, everyMessage);
    QFETCH(QString, question);
    Settings settings(u"/nowhere"_s);
    FakeAgent agent;
    SpeechOutput speech(agent, settings);
    MailMessage message;
    message.m_FullFrom = u"Eve \\Mrk=1\\ <eve@example.org>"_s;
    std::unique_ptr<QDialog> dlg;
    if (everyMessage)
        dlg = std::make_unique<PromptEveryMessageDialog>(&speech, message);
    else
        dlg = std::make_unique<PromptOnceDialog>(&speech, QList<MailMessage>{message});
    const QString spoken = u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s + question + u")"_s;
    for (int activation = 1; activation <= 2; ++activation) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(dlg.get(), &activate);
        QCOMPARE(agent.calls.count(spoken), activation);
    }
}

QTEST_MAIN(tst_Prompts)
#include "tst_Prompts.moc"
