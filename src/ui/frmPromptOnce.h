#pragma once

#include "message/CMessage.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace orvella {

class MessageStore;
class SpeechOutput;

// Asks once, before the new messages are read, whether to read them now.
class frmPromptOnce : public QDialog
{
    Q_OBJECT
public:
    frmPromptOnce(SpeechOutput* speech, MessageStore* store, const QList<CMessage>& messages,
                  QWidget* parent = nullptr);

    bool m_Yes = false;
    QLabel* lblNewMessages = nullptr;
    QLabel* lblQuestion = nullptr;
    QTreeWidget* lstNewMessages = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;

protected:
    bool event(QEvent* e) override;

private:
    SpeechOutput* m_speech;
};

} // namespace orvella
