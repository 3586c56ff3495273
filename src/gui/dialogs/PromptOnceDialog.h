#pragma once

#include "core/message/MailMessage.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeView;

namespace orvella {

class SpeechOutput;

// Asks once, before the new messages are read, whether to read them now.
class PromptOnceDialog : public QDialog
{
    Q_OBJECT
public:
    PromptOnceDialog(SpeechOutput* speech, const QList<MailMessage>& messages, QWidget* parent = nullptr);

    bool m_Yes = false;

protected:
    bool event(QEvent* e) override;

private:
    SpeechOutput* m_speech;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblNewMessages = nullptr;
    QLabel* lblQuestion = nullptr;
    QTreeView* lstNewMessages = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;
};

} // namespace orvella
