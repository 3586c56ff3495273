#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace orvella {

class SpeechOutput;

// The program's own notice window; the character can speak the notice.
class NoticeWindow : public QDialog
{
    Q_OBJECT
public:
    explicit NoticeWindow(SpeechOutput* speech, QWidget* parent = nullptr);

    bool m_ToSay = false;
    QString m_Animation;

    QLabel* lblMessage = nullptr;
    QPushButton* cmdSayIt = nullptr;
    QPushButton* cmdOK = nullptr;

    void sayIt();

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    SpeechOutput* m_speech;
};

// Shows text in the message window, modally; with sayIt the character speaks
// it with gesture. speech may be null (no character yet): nothing is spoken.
void ShowMessage(SpeechOutput* speech, const QString& text, bool sayIt, const QString& gesture,
                 QWidget* parent = nullptr);

// Test hook: while set, ShowMessage records here instead of opening the window.
struct ShownMessage
{
    QString text;
    bool sayIt = false;
    QString gesture;
};
void setShowMessageRecorder(QList<ShownMessage>* recorder);

} // namespace orvella
