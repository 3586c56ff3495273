#pragma once

#include "core/message/MailMessage.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace orvella {

class SpeechOutput;

// Asks, for one new message, whether to read it now.
class PromptEveryMessageDialog : public QDialog
{
    Q_OBJECT
public:
    PromptEveryMessageDialog(SpeechOutput* speech, const MailMessage& message, QWidget* parent = nullptr);

    bool m_Yes = false;

protected:
    bool event(QEvent* e) override;

private:
    SpeechOutput* m_speech;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblMessageNo = nullptr;
    QLabel* lblFrom = nullptr;
    QLabel* lblSubject = nullptr;
    QLabel* lblQuestion = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;
};

} // namespace orvella
