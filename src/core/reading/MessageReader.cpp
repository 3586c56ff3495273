#include "core/reading/MessageReader.h"

#include "core/reading/ReadingQuestions.h"

#include "core/settings/Settings.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

MessageReader::MessageReader(SpeechOutput& speech, Settings& settings, const RuleList& rules, QObject* parent)
    : QObject(parent), m_speech(speech), m_settings(settings), m_rules(rules)
{
}

void MessageReader::AnnounceNewMail(bool checkAll, bool checkError)
{
    UpdateNewMessageLabel();
    if (!NewMessages.isEmpty()) {
        if (m_settings.m_PopupOnReceive) Q_EMIT launchRequested();
        if (m_ui && !m_ui->mainWindowVisible()) Q_EMIT newMailIconRequested();
        if (m_settings.m_Behavior == 3 || (quiet && quiet())) {
            // Silent: the messages stay listed and unread.
            Q_EMIT checkControlsChanged(true);
            return;
        }
        SetReadingMode(true);
        m_speech.PlayWAVFile(m_settings.m_WAVNewMessages, u"None"_s, false);
        if (m_settings.m_ReadNoOfNewMessages) {
            const QString count = NewMessages.size() == 1
                                      ? u"One New Message."_s
                                      : QString::number(NewMessages.size()) + u" New Messages."_s;
            m_speech.SayAndPlay(count, u"None"_s, false, false);
        }
        if (!m_settings.m_FirstMessagePrefix.isEmpty())
            m_speech.SayAndPlay(m_settings.m_FirstMessagePrefix, u"None"_s, false, false);
        if (PromptOnce())
            ReadMessage(1);
        else
            SetReadingMode(false);
        return;
    }
    if (checkAll) {
        if (checkError)
            m_speech.SayAndPlay(u"Error retrieving E-mail. Check the 'Error' Tab for details."_s, u"Sad"_s,
                                true, true);
        else if (m_settings.m_SayNoNewMessages)
            m_speech.SayAndPlay(m_settings.m_NoNewMessages, u"Sad"_s, true, true);
    }
    Q_EMIT checkControlsChanged(true);
}

bool MessageReader::PromptOnce()
{
    if (m_settings.m_PromptUser != 1) return true;
    return m_ui ? m_ui->promptOnce(NewMessages) : true;
}

bool MessageReader::PromptForMessage(const MailMessage& message)
{
    if (m_settings.m_PromptUser != 2) return true;
    return m_ui ? m_ui->promptForMessage(message) : true;
}

void MessageReader::ReadMessage(int n)
{
    if (n < 1 || n > NewMessages.size()) return;
    MailMessage& message = NewMessages[n - 1];
    message.m_MesssageIdx = n;
    Q_EMIT messageShown(message);
    // A prompt runs an event loop: work on a copy, the list may be replaced meanwhile.
    const MailMessage copy = message;
    if (ApplyRules(m_rules, copy, m_speech, [this](const MailMessage& m) { return PromptForMessage(m); }))
        return;
    if (m_settings.m_SpecifySenders)
        m_speech.SendBookmarkPair(n);
    else if (PromptForMessage(copy))
        SpeakMessage(copy, false);
    else
        m_speech.SendBookmarkPair(n);
}

QString MessageReader::ComposeMessageText(const MailMessage& message) const
{
    QString text;
    if (m_settings.m_ReadMessageNo && message.m_MesssageIdx != 0)
        text += QString::number(message.m_MesssageIdx) + u". "_s;
    text += ComposeSpokenParts(m_settings, message, m_settings.m_SayFrom, m_settings.m_SaySubject,
                               m_settings.m_SayFirstLine);
    return RemoveSymbols(m_speech.CheckFilters(text), m_settings.m_FilteredSymbols);
}

void MessageReader::SpeakMessage(const MailMessage& message, bool Hide)
{
    const QString text = ComposeMessageText(message);
    const int n = message.m_MesssageIdx;
    if (n != 0) {
        m_speech.SendBookmark(n);
        const QString gesture = n == 1 ? m_settings.m_ReadingGesture : u"None"_s;
        if (m_settings.m_RepeatTwice) m_speech.SayAndPlay(text, u"None"_s, false, false);
        m_speech.SayAndPlay(text, gesture, Hide, false);
        m_speech.SendBookmark(n + EndMark);
    } else {
        m_speech.SayAndPlay(text, m_settings.m_ReadingGesture, Hide, false);
    }
}

void MessageReader::onBookmark(int BookmarkID)
{
    if (BookmarkID > EndMark && CurrentMessageNo == 0) return; // the reading was stopped meanwhile
    CurrentMessageNo = BookmarkID;
    if (BookmarkID < EndMark) {
        const int n = BookmarkID;
        setImageButton(panel.prevEnabled, n > 1);
        setImageButton(panel.nextEnabled, n <= NewMessages.size());
        setImageButton(panel.replayEnabled, n > 0);
        SyncCharacterMenu();
        ShowReadingStatus(n);
        panelUpdated();
        return;
    }
    const int n = BookmarkID - EndMark;
    CurrentMessageNo = n;
    if (n < NewMessages.size())
        ReadMessage(n + 1);
    else
        FinishReading();
}

void MessageReader::ShowReadingStatus(int n)
{
    if (n != 0) {
        if (n > NewMessages.size()) return;
        const MailMessage& m = NewMessages[n - 1];
        Q_EMIT statusText(u"Reading message number "_s + QString::number(n));
        panel.messageNo = QString::number(n);
        panel.from = m.Sender();
        panel.subject = m.m_Subject;
        panel.detailsShown = true;
        panelUpdated();
        return;
    }
    Q_EMIT statusText(u"Idle."_s);
    panel.messageNo.clear();
    panel.from.clear();
    panel.subject.clear();
    panel.detailsShown = false;
    panelUpdated();
}

void MessageReader::panelUpdated()
{
    Q_EMIT panelChanged(panel);
}

void MessageReader::FinishReading()
{
    m_speech.StopAgent();
    Q_EMIT statusText(u"Finished reading message(s)."_s);
    SetReadingMode(false);
}

void MessageReader::SetReadingMode(bool on)
{
    setImageButton(panel.nextEnabled, false);
    setImageButton(panel.replayEnabled, false);
    setImageButton(panel.prevEnabled, false);
    SyncCharacterMenu();
    panelUpdated();
    ReadingActive = on;
    if (!on) {
        CurrentMessageNo = 0;
        NewMessages.clear();
        UpdateNewMessageLabel();
        ShowReadingStatus(0);
        Q_EMIT checkControlsChanged(true);
    }
}

void MessageReader::SyncCharacterMenu()
{
    Q_EMIT characterMenuChanged(panel.nextEnabled, panel.prevEnabled);
}

void MessageReader::UpdateNewMessageLabel()
{
    panel.haveNewMessages = !NewMessages.isEmpty();
    if (NewMessages.isEmpty())
        panel.newMessages = u"Waiting For New Messages"_s;
    else
        panel.newMessages = NewMessages.size() == 1
                                ? u"1 New Message"_s
                                : QString::number(NewMessages.size()) + u" New Messages"_s;
    panelUpdated();
}

void MessageReader::next()
{
    m_speech.agent().StopAll();
    if (CurrentMessageNo >= NewMessages.size())
        FinishReading();
    else
        ReadMessage(CurrentMessageNo + 1);
}

void MessageReader::previous()
{
    m_speech.agent().StopAll();
    ReadMessage(CurrentMessageNo < 2 ? 1 : CurrentMessageNo - 1);
}

void MessageReader::replay()
{
    m_speech.agent().StopAll();
    if (CurrentMessageNo > 0) ReadMessage(CurrentMessageNo);
}

void MessageReader::tellMe(const QString& storedPath)
{
    MailMessage message;
    if (storedPath.isEmpty() || !message.Load(storedPath)) return;
    SpeakMessage(message, true);
}

void MessageReader::stopReading()
{
    m_speech.StopAgent();
    if (ReadingActive) SetReadingMode(false);
}

void MessageReader::onCharacterHidden(int cause)
{
    if (ReadingActive && (cause == IAgent::CauseUserHid || cause == IAgent::CauseUserHidViaMenu))
        SetReadingMode(false);
}

} // namespace orvella
