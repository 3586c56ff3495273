#pragma once

#include "core/message/MailMessage.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeView;

namespace orvella {

class SpeechOutput;

// Asks whether to read new mail now: once for all the new messages before
// they are read (Once), or for one message at a time (EveryMessage). The
// question is spoken at every activation, so a user who went elsewhere hears
// it again on coming back.
class PromptDialog : public QDialog
{
    Q_OBJECT
public:
    enum class Mode { Once, EveryMessage };

    // Once lists messages; EveryMessage asks about the first (the only) one.
    PromptDialog(Mode mode, SpeechOutput* speech, const QList<MailMessage>& messages,
                 QWidget* parent = nullptr);

    bool m_Yes = false;

protected:
    bool event(QEvent* e) override;

private:
    QLayout* buildMessageList(const QList<MailMessage>& messages);
    QLayout* buildMessageSummary(const MailMessage& message);

    SpeechOutput* m_speech;
    Mode m_mode;
    QString m_spokenQuestion;

private:
    // Its controls, found by tests and screen readers through their object
    // names. Once: lblNewMessages and lstNewMessages; EveryMessage:
    // lblMessageNo, lblFrom and lblSubject; both: the question and the buttons.
    QLabel* lblNewMessages = nullptr;
    QTreeView* lstNewMessages = nullptr;
    QLabel* lblMessageNo = nullptr;
    QLabel* lblFrom = nullptr;
    QLabel* lblSubject = nullptr;
    QLabel* lblQuestion = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;
};

} // namespace orvella
