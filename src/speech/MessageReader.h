#pragma once

#include "message/CMessage.h"
#include "rules/CRule.h"

#include <QList>
#include <QString>
#include <functional>

namespace orvella {

class CSettings;
class CharacterControl;
class SpeechOutput;

// Announces the messages a check stored and reads them aloud one after another.
// Each message's speech is bracketed by a start bookmark (n) and an end
// bookmark (n + 100000); the character's bookmark events move the reading on,
// so the user can stop, skip, go back or replay at any moment.
class MessageReader
{
public:
    static constexpr int EndMark = 100000;

    MessageReader(SpeechOutput& speech, CSettings& settings, const RuleList& rules);

    // What the New Message panel shows; the main window draws it.
    struct Panel
    {
        QString newMessages = QStringLiteral("Waiting For New Messages");
        bool haveNewMessages = false; // bold and in the text colour; else greyed
        QString messageNo;
        QString from;
        QString subject;
        bool detailsShown = false; // the sender and subject of the message being read
        bool prevEnabled = false;
        bool replayEnabled = false;
        bool nextEnabled = false;
        bool operator==(const Panel&) const = default;
    } panel;

    // What the reader asks of the rest of the program.
    struct Hooks
    {
        std::function<void(const QString&)> setStatusText;
        std::function<void(const CMessage&)> selectMessageInList;
        std::function<void(bool)> setCheckControls;
        std::function<void()> launch;         // open the main window
        std::function<void()> setNewMailIcon; // the tray's new-mail picture
        std::function<bool()> mainWindowVisible;
        std::function<void(bool next, bool previous)> syncCharacterMenu;
        // The panel changed.
        std::function<void(const Panel&)> panelChanged;
        // The two prompt windows: shown modally, they answer whether to read.
        std::function<bool(const QList<CMessage>&)> promptOnceWindow;
        std::function<bool(const CMessage&)> promptForMessageWindow;
    } hooks;

    // The messages stored in this check, item n being message number n.
    QList<CMessage> NewMessages;
    int CurrentMessageNo = 0;
    bool ReadingActive = false;

    // After the last account of a check; checkAll: the user asked for the
    // check; checkError: a server failed during it.
    void AnnounceNewMail(bool checkAll, bool checkError);
    bool PromptOnce();
    bool PromptForMessage(const CMessage& message);
    void ReadMessage(int n);
    void SpeakMessage(const CMessage& message, bool Hide);
    void Agent1_Bookmark(int BookmarkID);
    void ShowReadingStatus(int n);
    void FinishReading();
    void SetReadingMode(bool on);
    void SyncCharacterMenu();
    void UpdateNewMessageLabel();
    void cmdNext_Click();
    void cmdPrev_Click();
    void cmdReplay_Click();
    // Reads a stored message on request: no number, no bookmarks.
    void cmdTellMe_Click(const QString& storedPath);
    // The stop button: the character stops and a reading in progress ends.
    void cmdStopReading_Click();
    // The character was hidden; by the user's hand (cause 1 or 7) it ends the reading.
    void Agent1_Hide(int cause);

    // The whole text of one message as it will be spoken (without bookmarks).
    QString ComposeMessageText(const CMessage& message) const;

private:
    void setImageButton(bool& button, bool enabled) { button = enabled; }
    void panelUpdated();

    SpeechOutput& m_speech;
    CSettings& m_settings;
    const RuleList& m_rules;
};

} // namespace orvella
