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
    // The text, whether it is spoken when the window shows, and with which gesture.
    void setNotice(const QString& text, bool sayIt, const QString& gesture);
    explicit NoticeWindow(SpeechOutput* speech, QWidget* parent = nullptr);

    bool m_ToSay = false;
    QString m_Animation;

    void sayIt();

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    SpeechOutput* m_speech;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblMessage = nullptr;
    QPushButton* cmdSayIt = nullptr;
    QPushButton* cmdOK = nullptr;
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
