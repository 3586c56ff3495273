#pragma once

#include <QDialog>

class QLabel;
class QListView;
class QPlainTextEdit;
class QPushButton;

namespace orvella {

class SpeechOutput;

// The window an alerting reminder opens: its text, when it opened, and three
// buttons. It stays above other windows and does not keep the program waiting.
class ReminderAlert : public QDialog
{
    Q_OBJECT
public:
    explicit ReminderAlert(SpeechOutput* speech, QWidget* parent = nullptr);

    void setReminderText(const QString& text);
    // Shows the heading and the list of a gathered alert instead of one text.
    void setReminderList(const QString& heading, const QStringList& lines);
    void dismiss();
    void stopTalking();
    void dismissAndStop();

    // A new window showing text, shown at once and deleted when closed. It
    // opens below and to the right of the last alert still open, so each
    // alert is seen, and comes on top with the keyboard.
    static ReminderAlert* Open(SpeechOutput* speech, const QString& text);
    // The same for many reminders due at once.
    static ReminderAlert* OpenList(SpeechOutput* speech, const QString& heading, const QStringList& lines);
    // Shows w where PlaceAmongAlerts says, on top, with focus holding the keyboard.
    static void ShowAmongAlerts(ReminderAlert* w, QWidget* focus);
    // Where an alert of size opens with the alerts open now, on area.
    static QPoint PlaceAmongAlerts(const QList<QRect>& open, const QSize& size, const QRect& area, int step);

protected:
    void showEvent(QShowEvent* e) override;

private:
    SpeechOutput* m_speech;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblReminder = nullptr;
    QLabel* lblWhen = nullptr;
    QPlainTextEdit* txtReminder = nullptr;
    // The reminders of a gathered alert, one a line (in place of txtReminder).
    QListView* lstReminders = nullptr;
    QPushButton* cmdDismiss = nullptr;
    QPushButton* cmdStopTalking = nullptr;
    QPushButton* cmdDismissAndStop = nullptr;
};

} // namespace orvella
