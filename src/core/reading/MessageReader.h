#pragma once

#include "core/message/MailMessage.h"
#include "core/rules/Rule.h"

#include <QList>
#include <QString>
#include <functional>

namespace orvella {

class Settings;
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

    MessageReader(SpeechOutput& speech, Settings& settings, const RuleList& rules);

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
        std::function<void(const MailMessage&)> selectMessageInList;
        std::function<void(bool)> setCheckControls;
        std::function<void()> launch;         // open the main window
        std::function<void()> setNewMailIcon; // the tray's new-mail picture
        std::function<bool()> mainWindowVisible;
        std::function<void(bool next, bool previous)> syncCharacterMenu;
        // The panel changed.
        std::function<void(const Panel&)> panelChanged;
        // The two prompt windows: shown modally, they answer whether to read.
        std::function<bool(const QList<MailMessage>&)> promptOnceWindow;
        std::function<bool(const MailMessage&)> promptForMessageWindow;
    } hooks;

    // The messages stored in this check, item n being message number n.
    QList<MailMessage> NewMessages;
    int CurrentMessageNo = 0;
    bool ReadingActive = false;

    // After the last account of a check; checkAll: the user asked for the
    // check; checkError: a server failed during it.
    void AnnounceNewMail(bool checkAll, bool checkError);
    bool PromptOnce();
    bool PromptForMessage(const MailMessage& message);
    void ReadMessage(int n);
    void SpeakMessage(const MailMessage& message, bool Hide);
    void onBookmark(int BookmarkID);
    void ShowReadingStatus(int n);
    void FinishReading();
    void SetReadingMode(bool on);
    void SyncCharacterMenu();
    void UpdateNewMessageLabel();
    void next();
    void previous();
    void replay();
    // Reads a stored message on request: no number, no bookmarks.
    void tellMe(const QString& storedPath);
    // The stop button: the character stops and a reading in progress ends.
    void stopReading();
    // The character was hidden; by the user's hand (cause 1 or 7) it ends the reading.
    void onCharacterHidden(int cause);

    // The whole text of one message as it will be spoken (without bookmarks).
    QString ComposeMessageText(const MailMessage& message) const;

private:
    void setImageButton(bool& button, bool enabled) { button = enabled; }
    void panelUpdated();

    SpeechOutput& m_speech;
    Settings& m_settings;
    const RuleList& m_rules;
};

} // namespace orvella
