#pragma once

#include <QDialog>
#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimeEdit;

namespace orvella {

class Reminder;
class Settings;
class IAgent;
class SpeechOutput;
class UpDownEdit;

// The modal dialog in which the user writes a reminder's text and sets when
// and how often it comes, what happens when it is late, and how it is
// delivered. OK writes straight into the reminder it was given; the caller
// saves it.
class ReminderDialog : public QDialog
{
    Q_OBJECT
public:
    ReminderDialog(Settings& settings, SpeechOutput* speech, QWidget* parent = nullptr);

    // Fills the dialog from reminder; character (may be null) gives the gestures.
    void Init(Reminder* reminder, const IAgent* character);
    // True only when OK completed.
    bool m_OK = false;

    void onRecurrenceChosen(int Index);
    void onEveryDailyChosen(int Index);
    void setNow();
    void browseSound();
    void confirm();
    void cancel();

    // "Repeat Reminder": index is the recurrence kind
    std::array<QRadioButton*, 5> optRecur{};
    std::array<QRadioButton*, 2> optEveryDaily{};
    std::array<QCheckBox*, 7> chkWeekly{}; // Sunday .. Saturday

    int chosenKind() const { return m_kind; }
    bool everyWeekDayChosen() const { return m_everyWeekDay; }

    // The editor's "Invalid Data" message for an interval text, or empty when
    // the text is a number from 1 to 99.
    static QString IntervalProblem(const QString& text);

private:
    QWidget* buildWhenGroup();
    QWidget* buildRepeatGroup();
    QWidget* buildWhatGroup();
    QWidget* buildHowGroup();
    QWidget* buildDailyPage();
    QWidget* buildWeeklyPage();
    QWidget* buildMonthlyPage();
    QWidget* buildYearlyPage();
    void updateOkState();
    bool validInterval(UpDownEdit* box);

    Settings& m_settings;
    SpeechOutput* m_speech;
    Reminder* m_reminder = nullptr;
    QButtonGroup* m_recurGroup = nullptr;
    QButtonGroup* m_dailyGroup = nullptr;
    int m_kind = 0;
    bool m_everyWeekDay = false;

private:
    // Its controls, found by tests and screen readers through their object names.
    // "When to Remind"
    QDateEdit* dtDate = nullptr;
    QTimeEdit* dtTime = nullptr;
    QPushButton* cmdNow = nullptr;
    QWidget* picRecur = nullptr;
    QStackedWidget* tabRecur = nullptr; // pages: daily, weekly, monthly, yearly
    UpDownEdit* txtEveryDaily = nullptr;
    UpDownEdit* txtEveryWeekly = nullptr;
    UpDownEdit* txtMonths = nullptr;
    QComboBox* cboIfLate = nullptr;
    // "What to Remind"
    QPlainTextEdit* txtContents = nullptr;
    // "How to Remind"
    QCheckBox* chkPopupWindow = nullptr;
    QLineEdit* txtReminderSoundFile = nullptr;
    QPushButton* cmdReminderSoundBrowse = nullptr;
    QComboBox* cboReminderGesture = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace orvella
