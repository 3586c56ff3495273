#pragma once

#include "message/CMessage.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace orvella {

class SpeechOutput;

// Asks, for one new message, whether to read it now.
class frmPromptEveryMessage : public QDialog
{
    Q_OBJECT
public:
    frmPromptEveryMessage(SpeechOutput* speech, const CMessage& message, QWidget* parent = nullptr);

    bool m_Yes = false;
    QLabel* lblMessageNo = nullptr;
    QLabel* lblFrom = nullptr;
    QLabel* lblSubject = nullptr;
    QLabel* lblQuestion = nullptr;
    QPushButton* cmdYes = nullptr;
    QPushButton* cmdNo = nullptr;

protected:
    bool event(QEvent* e) override;

private:
    SpeechOutput* m_speech;
};

} // namespace orvella
