#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "gui/dialogs/PromptDialog.h"
#include "support/FakeAgent.h"

#include <QApplication>
#include <QPushButton>
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
    void answer_data();
    void answer();
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
    auto dlg = std::make_unique<PromptDialog>(everyMessage ? PromptDialog::Mode::EveryMessage
                                                           : PromptDialog::Mode::Once,
                                              &speech, QList<MailMessage>{message});
    const QString spoken = u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s + question + u")"_s;
    for (int activation = 1; activation <= 2; ++activation) {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(dlg.get(), &activate);
        QCOMPARE(agent.calls.count(spoken), activation);
    }
}

// Yes reads; No declines, and declining all the new messages at once also
// silences the character, while declining one message leaves it be (the
// next message may still be read).
void tst_Prompts::answer_data()
{
    QTest::addColumn<bool>("everyMessage");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("stopsSpeech");
    QTest::newRow("once, yes") << false << u"cmdYes"_s << true << false;
    QTest::newRow("once, no") << false << u"cmdNo"_s << false << true;
    QTest::newRow("every message, yes") << true << u"cmdYes"_s << true << false;
    QTest::newRow("every message, no") << true << u"cmdNo"_s << false << false;
}

void tst_Prompts::answer()
{
    QFETCH(bool, everyMessage);
    QFETCH(QString, button);
    QFETCH(bool, yes);
    QFETCH(bool, stopsSpeech);
    Settings settings(u"/nowhere"_s);
    FakeAgent agent;
    SpeechOutput speech(agent, settings);
    MailMessage message;
    message.m_FullFrom = u"Eve <eve@example.org>"_s;
    PromptDialog dlg(everyMessage ? PromptDialog::Mode::EveryMessage : PromptDialog::Mode::Once, &speech,
                     {message});
    QCOMPARE(dlg.objectName(), everyMessage ? u"frmPromptEveryMessage"_s : u"frmPromptOnce"_s);
    QVERIFY(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
    auto* b = dlg.findChild<QPushButton*>(button);
    QVERIFY(b);
    b->click();
    QCOMPARE(dlg.m_Yes, yes);
    QCOMPARE(dlg.result(), yes ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(agent.calls.contains(u"StopAll"_s), stopsSpeech);
}

QTEST_MAIN(tst_Prompts)
#include "tst_Prompts.moc"
