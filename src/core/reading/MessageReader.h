#pragma once

#include "core/message/MailMessage.h"
#include "core/rules/Rule.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

namespace orvella {

class Settings;
class CharacterControl;
class SpeechOutput;
class ReadingQuestions;

// Announces the messages a check stored and reads them aloud one after another.
// Each message's speech is bracketed by a start bookmark (n) and an end
// bookmark (n + 100000); the character's bookmark events move the reading on,
// so the user can stop, skip, go back or replay at any moment.
class MessageReader : public QObject
{
    Q_OBJECT
public:
    static constexpr int EndMark = 100000;

    MessageReader(SpeechOutput& speech, Settings& settings, const RuleList& rules, QObject* parent = nullptr);

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

    // Who answers the prompts and says whether the main window is seen;
    // without one every prompt reads and the window counts as seen.
    void setUserInterface(ReadingQuestions* ui) { m_ui = ui; }

    // The messages stored in this check, item n being message number n.
    QList<MailMessage> NewMessages;
    int CurrentMessageNo = 0;
    bool ReadingActive = false;

    // After the last account of a check; checkAll: the user asked for the
    // check; checkError: a server failed during it.
    void AnnounceNewMail(bool checkAll, bool checkError);
    // True while new mail must not be announced aloud (the desktop is in Do
    // Not Disturb): the messages are kept and listed, unread, as with the
    // silent behaviour, and "Read" reads them later.
    std::function<bool()> quiet;
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

Q_SIGNALS:
    void statusText(const QString& text);
    // The message being read: the list selects it.
    void messageShown(const orvella::MailMessage& message);
    // Every way to start a check; on again when the reading ends.
    void checkControlsChanged(bool enabled);
    void launchRequested();      // open the main window
    void newMailIconRequested(); // the tray's new-mail picture
    void characterMenuChanged(bool nextEnabled, bool previousEnabled);
    void panelChanged(const orvella::MessageReader::Panel& panel);

private:
    ReadingQuestions* m_ui = nullptr;
    void setImageButton(bool& button, bool enabled) { button = enabled; }
    void panelUpdated();

    SpeechOutput& m_speech;
    Settings& m_settings;
    const RuleList& m_rules;
};

} // namespace orvella
